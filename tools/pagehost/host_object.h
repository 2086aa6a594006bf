#pragma once
// The `host` named item: what a browser and its user do between and during
// the page's script steps, offered to the script as methods (late bound by
// name; the DISPID of a method is its position in the table, from 1). The
// host's prelude (prelude.js) builds the steps pages share from these:
// useVirtualScanner, chooseScanner, scanPages.
//
//   log(text)                      a line on standard output
//   check(condition, what)         a failed condition fails the run
//   pump(ms)                       turns the message loop for ms
//   pumpUntilPages(n, ms)          ... until n page files exist; true if so
//   pageFiles()                    page files now in the temporary directory
//   tempDirectory()                that directory, with its trailing '\'
//   fullPath(path)                 a path made full: relative ones from the directory
//                                  the page started in (a file dialog moves the current one)
//   fileExists(path)
//   answerSaveAs(path)             the next Save As dialog gets this name and OK
//   answerSelection(name)          the next source selection: this source ("" any), OK
//   cancelNextDialog()             the next dialog is cancelled
//   atNextDialog(function)         runs inside the next dialog's modal loop
//   setTimeout(function, ms)       runs from the message loop after ms
//   messages()                     texts of the message boxes answered, '\n' between
//   dialogs()                      captions of the other dialogs, '\n' between
//   clearRecords()                 forgets both
//   holdOpen(path)                 opens the file as another program would, no sharing
//   closeHeld()                    closes every file held open
//   setScanner(key, value)         VSCAN_<KEY> for the virtual scanner's next opening
//   markedSafe(name)               "scripting initializing", either or "": what the control
//                                  of that item is marked safe for, as a browser asks it
//   release()                      the page lets go of its controls (the page closes)
#include <windows.h>
#include <oaidl.h>

namespace pagehost {

class Page;

class HostObject final : public IDispatch {
 public:
  explicit HostObject(Page& page) : page_(page) {}
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  // IUnknown. Lives on the host's stack and outlives the engine: references
  // are not counted.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // IDispatch, without type information.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT* argError) override;

 private:
  Page& page_;
};

}  // namespace pagehost
