// pagehost: runs a page script against controls the way a browser's page
// thread does (see page.h and host_object.h).
//
//   pagehost [--atl LIBRARY] [--temp DIR] [--timeout SECONDS] NAME=PROGID... SCRIPT
//
// Each NAME=PROGID is a control on the page, which the script reaches as the
// named item NAME (e.g. scanner=VORLA.FolvaneCtrl.1). The host's prelude
// (prelude.js) runs before SCRIPT: its functions serve every page.
// LIBRARY: the ATL library whose host window sites the controls (atl.dll).
// DIR: the temporary directory for the run (default: "pages" in the current
// directory), where a scanning control keeps its page files.
// Exit 0 with "PASS: SCRIPT" when the script ran without an error and every
// check held; 1 when anything failed; 2 on a usage error; 3 when the run
// outlived its time and was stopped; 4 when the process faulted.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_object.h"
#include "page.h"
#include "prelude.h"
#include "report.h"
#include "script_steps.h"
#include "text/codepage_win32.h"

namespace {

using pagehost::Report;

DWORD g_timeoutMs = 120000;

// Whatever hangs (a modal loop nobody answers, a loop that never ends), the
// run ends: a thread of its own stops the process when the time is up.
DWORD WINAPI Watchdog(void*) {
  Sleep(g_timeoutMs);
  Report::Failure(L"the run took longer than " + std::to_wstring(g_timeoutMs / 1000) + L" s: stopped");
  TerminateProcess(GetCurrentProcess(), 3);
  return 0;
}

// A fault anywhere in the process (the control's, the engine's, ours) fails
// the run at once instead of waiting in Wine's debugger.
LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  wchar_t text[96] = {};
  swprintf(text, 96, L"crash: exception 0x%08lx at %p", static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
           info->ExceptionRecord->ExceptionAddress);
  Report::Failure(text);
  TerminateProcess(GetCurrentProcess(), 4);
  return EXCEPTION_EXECUTE_HANDLER;
}

int Usage() {
  std::fputs("usage: pagehost [--atl LIBRARY] [--temp DIR] [--timeout SECONDS] NAME=PROGID... SCRIPT\n", stderr);
  return 2;
}

bool ReadFile(const std::wstring& path, std::string& text) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// A COM apartment for the page thread, with OLE for in-place activation.
class OleApartment {
 public:
  OleApartment() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleApartment() {
    if (ok_) OleUninitialize();
  }
  OleApartment(const OleApartment&) = delete;
  OleApartment& operator=(const OleApartment&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

int Run(int argc, wchar_t** argv) {
  pagehost::PageOptions options;
  options.tempDirectory = L"pages";
  std::vector<std::wstring> positional;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--atl" && hasValue) {
      options.atlLibrary = argv[++i];
    } else if (arg == L"--temp" && hasValue) {
      options.tempDirectory = argv[++i];
    } else if (arg == L"--timeout" && hasValue) {
      const long seconds = std::wcstol(argv[++i], nullptr, 10);
      if (seconds < 1 || seconds > 3600) return Usage();
      g_timeoutMs = static_cast<DWORD>(seconds) * 1000;
    } else if (arg.rfind(L"--", 0) == 0) {
      return Usage();
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() < 2) return Usage();
  const std::wstring scriptPath = positional.back();
  positional.pop_back();
  for (const std::wstring& control : positional) {
    const std::size_t equals = control.find(L'=');
    if (equals == 0 || equals == std::wstring::npos || equals + 1 == control.size()) return Usage();
    options.controls.push_back({control.substr(0, equals), control.substr(equals + 1)});
  }
  wchar_t full[MAX_PATH * 2] = {};
  if (GetFullPathNameW(options.tempDirectory.c_str(), MAX_PATH * 2, full, nullptr)) options.tempDirectory = full;

  std::string script;
  if (!ReadFile(scriptPath, script)) {
    Report::Failure(L"cannot read " + scriptPath);
    return 1;
  }
  SetUnhandledExceptionFilter(OnCrash);
  if (HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr)) CloseHandle(watchdog);

  const OleApartment apartment;
  if (!apartment.ok()) {
    Report::Failure(L"OleInitialize failed");
    return 1;
  }
  {
    pagehost::Page page(options);
    pagehost::HostObject host(page);
    if (page.Open(&host, pagehost::Prelude())) page.Run(pagehost::SplitSteps(script));
    page.Close();
    if (page.Dialogs().Unused() > 0) {
      Report::Failure(std::to_wstring(page.Dialogs().Unused()) + L" expected dialog(s) never came");
    }
    if (page.Dialogs().WatchdogFired()) Report::Failure(L"a dialog stayed open until the watchdog closed it");
  }
  if (Report::Failures() > 0) {
    Report::Line(L"FAIL: " + std::to_wstring(Report::Failures()) + L" failure(s) in " + scriptPath);
    return 1;
  }
  Report::Line(L"PASS: " + scriptPath);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
