#include "page.h"

#include "report.h"
#include "text/codepage_win32.h"

namespace pagehost {
namespace {

Page* g_page = nullptr;  // for the timer callbacks
constexpr wchar_t kWindowClass[] = L"PageHostPage";
// Between two steps the loop turns this long, as a page's thread is idle
// between two events.
constexpr DWORD kBetweenStepsMs = 100;

}  // namespace

Page::Page(PageOptions options) : options_(std::move(options)), dialogs_(options_.dialogWatchdogMs) {
  g_page = this;
  wchar_t directory[MAX_PATH * 2] = {};
  const DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, directory);
  if (n > 0 && n < MAX_PATH * 2) startDirectory_.assign(directory, n);
}

Page::~Page() {
  Close();
  if (window_) DestroyWindow(window_);
  if (g_page == this) g_page = nullptr;
}

LRESULT CALLBACK Page::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

bool Page::Open(IDispatch* hostObject, const std::wstring& prelude) {
  // The control keeps its page files in the temporary directory it finds.
  if (!options_.tempDirectory.empty()) {
    if (options_.tempDirectory.back() != L'\\') options_.tempDirectory += L'\\';
    CreateDirectoryW(options_.tempDirectory.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", options_.tempDirectory.c_str());
    SetEnvironmentVariableW(L"TEMP", options_.tempDirectory.c_str());
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kWindowClass;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RegisterClassW(&wc);
  window_ = CreateWindowExW(0, kWindowClass, L"page", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480, nullptr,
                            nullptr, wc.hInstance, nullptr);
  if (!window_) return Report::Failure(L"no page window"), false;
  ShowWindow(window_, SW_SHOW);

  for (const PageOptions::Control& control : options_.controls) {
    auto site = AtlSite::Create(window_, options_.atlLibrary, control.progId);
    if (!site) return false;
    sites_.push_back(std::move(site));
  }
  engine_ = std::make_unique<ScriptEngine>(window_);
  if (!engine_->Start()) return false;
  if (!engine_->AddItem(L"host", hostObject)) return false;
  for (std::size_t i = 0; i < sites_.size(); ++i) {
    if (!engine_->AddItem(options_.controls[i].item, sites_[i]->Control())) return false;
  }
  if (prelude.empty()) return Report::Failure(L"the program carries no prelude"), false;
  return engine_->Run(prelude, 0, ScriptEngine::Source::kPrelude);
}

void Page::Run(const std::vector<ScriptStep>& steps) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (released_) {
      Report::Failure(L"the page released its controls; " + std::to_wstring(steps.size() - i) +
                      L" step(s) after that were not run");
      return;
    }
    const std::wstring text = bidder::CodePageToWide(steps[i].text, CP_UTF8).value_or(L"");
    if (text.empty()) {
      Report::Failure(L"step is not UTF-8 text: " + bidder::CodePageToWide(steps[i].name, CP_UTF8).value_or(L"?"));
      continue;
    }
    engine_->Run(text, steps[i].firstLine);
    CloseEngineOutsideScript();
    Pump(kBetweenStepsMs);
  }
}

void Page::Close() {
  for (const auto& [timer, function] : timeouts_) KillTimer(nullptr, timer);
  timeouts_.clear();
  ReleaseControl();
  Pump(kBetweenStepsMs);
  engine_.reset();
  sites_.clear();
  CloseHeld();
}

void Page::Pump(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
  }
}

bool Page::PumpUntilPages(unsigned pages, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  while (PageFiles() < pages) {
    if (GetTickCount64() >= deadline) return false;
    Pump(20);
  }
  return true;
}

unsigned Page::PageFiles() const {
  wchar_t prefix[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, prefix);
  if (n == 0 || n > MAX_PATH) return 0;
  unsigned count = 0;
  while (GetFileAttributesW((std::wstring(prefix) + std::to_wstring(count) + L".tif").c_str()) !=
         INVALID_FILE_ATTRIBUTES) {
    ++count;
  }
  return count;
}

std::wstring Page::FullPath(const std::wstring& path) const {
  const bool absolute = path.rfind(L"\\", 0) == 0 || path.rfind(L"/", 0) == 0 || (path.size() >= 2 && path[1] == L':');
  const std::wstring joined = absolute || startDirectory_.empty() ? path : startDirectory_ + L"\\" + path;
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameW(joined.c_str(), MAX_PATH * 2, full, nullptr);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : joined;
}

bool Page::HoldOpen(const std::wstring& path) {
  // As another program holding the file would: no sharing at all.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return Report::Failure(L"cannot hold open " + path), false;
  held_.push_back(file);
  return true;
}

void Page::CloseHeld() {
  for (HANDLE file : held_) CloseHandle(file);
  held_.clear();
}

void Page::ReleaseControl() {
  if (released_) return;
  released_ = true;
  Report::Line(L"the page lets go of its controls");
  // The container first: it closes each control and drops its references.
  for (const auto& site : sites_) site->ReleaseControl();
  // Then the script engine, which holds the named item. Wine's engine cannot
  // be closed under running script (it faults when the script goes on), and
  // a browser keeps an object alive across a script's call into it too: with
  // script on the stack the engine goes once the outermost script returns.
  CloseEngineOutsideScript();
}

void Page::CloseEngineOutsideScript() {
  if (released_ && engine_ && !engine_->InScript()) engine_->Close();
}

const AtlSite* Page::Site(const std::wstring& item) const {
  for (std::size_t i = 0; i < sites_.size(); ++i) {
    if (options_.controls[i].item == item) return sites_[i].get();
  }
  return nullptr;
}

void Page::SetTimeout(IDispatch* function, UINT ms) {
  const UINT_PTR timer = SetTimer(nullptr, 0, ms, OnTimeout);
  if (timer) timeouts_[timer] = ax::ComPtr<IDispatch>(function);
}

void CALLBACK Page::OnTimeout(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  if (!g_page) return;
  const auto it = g_page->timeouts_.find(timer);
  if (it == g_page->timeouts_.end()) return;
  const ax::ComPtr<IDispatch> function = std::move(it->second);
  g_page->timeouts_.erase(it);
  g_page->CallFromLoop(function.Get());
}

void Page::CallFromLoop(IDispatch* function) {
  if (!engine_ || engine_->IsClosed() || !function) return;
  engine_->CallFunction(function);
  CloseEngineOutsideScript();
}

}  // namespace pagehost
