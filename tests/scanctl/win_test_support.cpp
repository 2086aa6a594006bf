#include "win_test_support.h"

#include <map>

namespace folvane::test {
namespace {

std::map<UINT, int>& Counts() {
  static std::map<UINT, int> counts;
  return counts;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ++Counts()[message];
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HostWindow::HostWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "FolvaneTestHost";
  RegisterClassA(&wc);
  Counts().clear();
  window_ = CreateWindowExA(0, "FolvaneTestHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                            wc.hInstance, nullptr);
}

HostWindow::~HostWindow() {
  if (window_) DestroyWindow(window_);
}

int HostWindow::Received(UINT message) const {
  const auto it = Counts().find(message);
  return it == Counts().end() ? 0 : it->second;
}

PrivateTempDirectory::PrivateTempDirectory() {
  char saved[2048] = {};
  const DWORD n = GetEnvironmentVariableA("TMP", saved, sizeof(saved));
  hadTmp_ = n > 0 && n < sizeof(saved);
  if (hadTmp_) savedTmp_ = saved;
  prefix_ = dir_.path().string();
  if (prefix_.back() != '\\') prefix_ += '\\';
  SetEnvironmentVariableA("TMP", prefix_.c_str());
}

PrivateTempDirectory::~PrivateTempDirectory() {
  SetEnvironmentVariableA("TMP", hadTmp_ ? savedTmp_.c_str() : nullptr);
}

bool PrivateTempDirectory::Exists(const std::string& name) const {
  return GetFileAttributesA((prefix_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (done()) return true;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

}  // namespace folvane::test
