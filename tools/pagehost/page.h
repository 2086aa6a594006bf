#pragma once
// One page as a browser's page thread runs it: a page window, its controls
// each sited in a window of Wine's ATL host class, the JScript engine with
// the controls and the `host` object as named items, and the thread's message loop, which
// turns between script steps and whenever the script asks the host to wait.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "atl_site.h"
#include "axframework/com_ptr.h"
#include "page_dialogs.h"
#include "script_engine.h"
#include "script_steps.h"

namespace pagehost {

struct PageOptions {
  std::wstring atlLibrary = L"atl.dll";
  // The page's controls: the named item the script reaches each by, and
  // its ProgID, in the order the page holds them.
  struct Control {
    std::wstring item;
    std::wstring progId;
  };
  std::vector<Control> controls;
  // Where the control's temporary files go (TMP for the process).
  std::wstring tempDirectory;
  UINT dialogWatchdogMs = 15000;
};

class Page {
 public:
  explicit Page(PageOptions options);
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // Window, control, engine, and the prelude run (the host's script that
  // every page can use); false when any of them failed (reported).
  bool Open(IDispatch* hostObject, const std::wstring& prelude);
  // Runs the steps in turn with the message loop turning between them; stops
  // after the step in which the page released its controls.
  void Run(const std::vector<ScriptStep>& steps);
  // Ends the page: controls released, engine closed, the loop turned once
  // more so that whatever a control left behind runs into nothing.
  void Close();

  // What the `host` object offers the script.
  void Pump(DWORD ms);
  bool PumpUntilPages(unsigned pages, DWORD ms);
  // The page files 0.tif, 1.tif, ... present in the temporary directory
  // (counted up to the first missing one).
  unsigned PageFiles() const;
  const std::wstring& TempDirectory() const { return options_.tempDirectory; }
  // A path the script names, made full: relative to the directory the page
  // started in, which file dialogs do not move.
  std::wstring FullPath(const std::wstring& path) const;
  bool HoldOpen(const std::wstring& path);
  void CloseHeld();
  // The page lets go of its controls, as a page that closes does: the
  // container at once, from wherever it is called; the script engine's hold
  // once no script is running.
  void ReleaseControl();
  bool Released() const { return released_; }
  void SetTimeout(IDispatch* function, UINT ms);
  PageDialogs& Dialogs() { return dialogs_; }
  // The control of the named item, or null (no such item, or released).
  const AtlSite* Site(const std::wstring& item) const;
  // Runs a script function from the loop (a timer or a dialog's loop).
  void CallFromLoop(IDispatch* function);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static void CALLBACK OnTimeout(HWND, UINT, UINT_PTR timer, DWORD);
  void CloseEngineOutsideScript();

  PageOptions options_;
  std::wstring startDirectory_;
  HWND window_ = nullptr;
  PageDialogs dialogs_;
  std::unique_ptr<ScriptEngine> engine_;
  std::vector<std::unique_ptr<AtlSite>> sites_;
  std::vector<HANDLE> held_;
  std::map<UINT_PTR, ax::ComPtr<IDispatch>> timeouts_;
  bool released_ = false;
};

}  // namespace pagehost
