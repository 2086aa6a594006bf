#pragma once
// Wine's JScript engine through the standard script hosting interfaces, as a
// browser's page thread drives it: the engine is created by its CLSID, given
// a site of ours, told the page's named items (every one visible to script),
// and fed one step of script text at a time. A script error is reported with
// its line and text and fails the run.
#include <windows.h>
#include <activscp.h>

#include <map>
#include <string>

#include "axframework/com_ptr.h"

namespace pagehost {

class ScriptEngine final : public IActiveScriptSite, public IActiveScriptSiteWindow {
 public:
  // The engine's site for the page shown in `pageWindow` (the window dialogs
  // started from script belong to).
  explicit ScriptEngine(HWND pageWindow);
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // Creates and initialises the engine; false with the reason printed.
  bool Start();
  // Adds a named item the script reaches by `name`.
  bool AddItem(const std::wstring& name, IUnknown* item);
  // Where script text comes from, so that an error names its file.
  enum class Source : DWORD { kPage = 0, kPrelude = 1 };
  // Runs one step (UTF-16 text starting on 0-based line `firstLine` of the
  // file); false when it did not parse or raised an error.
  bool Run(const std::wstring& text, unsigned firstLine, Source source = Source::kPage);
  // Calls a script function object with no arguments; false on an error.
  bool CallFunction(IDispatch* function);
  // Closes the engine: it lets go of every named item. Safe to call again.
  void Close();
  bool IsClosed() const { return !engine_; }
  // Whether script is running now (an engine call is on the stack).
  bool InScript() const { return depth_ > 0; }
  int Errors() const { return errors_; }

  // IUnknown. The object lives on the host's stack and outlives the engine,
  // which Close releases: references are not counted.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // IActiveScriptSite.
  HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override;
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override;
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override;
  HRESULT STDMETHODCALLTYPE OnEnterScript() override;
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override;
  // IActiveScriptSiteWindow.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

 private:
  HWND pageWindow_;
  ax::ComPtr<IActiveScript> engine_;
  ax::ComPtr<IActiveScriptParse> parse_;
  std::map<std::wstring, ax::ComPtr<IUnknown>> items_;
  int depth_ = 0;
  int errors_ = 0;
};

}  // namespace pagehost
