// The virtual scanner's user interface: a small window that never blocks.
// Scan starts a scan, Close (or closing the window) asks the application to
// close the source; with autoscan the scan starts by itself.
#include <cstdio>

#include "virtual_source.h"

namespace vscan {
namespace {

constexpr UINT kStartScan = WM_APP + 1;
constexpr UINT kCloseRequest = WM_APP + 2;
constexpr int kScanButton = 101;
constexpr int kCloseButton = 102;
constexpr wchar_t kClassName[] = L"FolvaneVirtualScannerWindow";

VirtualSource* SourceOf(HWND window) {
  return reinterpret_cast<VirtualSource*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case kStartScan:
      if (VirtualSource* source = SourceOf(window)) source->StartScan();
      return 0;
    case kCloseRequest:
      if (VirtualSource* source = SourceOf(window)) source->RequestClose();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kScanButton) PostMessageW(window, kStartScan, 0, 0);
      if (LOWORD(wParam) == kCloseButton) PostMessageW(window, kCloseRequest, 0, 0);
      return 0;
    case WM_CLOSE:
      // The application decides: it disables the source, which destroys us.
      PostMessageW(window, kCloseRequest, 0, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND CreateSourceWindow(HMODULE module, HWND parent, VirtualSource& source) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = module;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassW(&wc);  // fails harmlessly when already registered

  HWND window = CreateWindowExW(0, kClassName, L"Folvane Virtual Scanner", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, 360, 150, parent, nullptr, module, &source);
  if (!window) return nullptr;
  const Settings& s = source.CurrentSettings();
  wchar_t text[160];
  std::swprintf(text, 160, L"%d page(s), %u x %u, %u dpi", s.pages, s.format.width, s.format.height, s.format.dpi);
  CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE, 12, 12, 330, 20, window, nullptr, module, nullptr);
  CreateWindowExW(0, L"BUTTON", L"Scan", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 12, 60, 100, 28, window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kScanButton)), module, nullptr);
  CreateWindowExW(0, L"BUTTON", L"Close", WS_CHILD | WS_VISIBLE, 124, 60, 100, 28, window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseButton)), module, nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

void PostStartScan(HWND window) {
  if (window) PostMessageW(window, kStartScan, 0, 0);
}

void PostCloseRequest(HWND window) {
  if (window) PostMessageW(window, kCloseRequest, 0, 0);
}

void DestroySourceWindow(HWND window) {
  if (window) DestroyWindow(window);
}

}  // namespace vscan
