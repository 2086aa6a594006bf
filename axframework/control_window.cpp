#include "control_window.h"

#include "module.h"

namespace ax {
namespace {

constexpr wchar_t kWindowClass[] = L"AxFrameworkControlWindow";

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;  // the picture covers the whole client area
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      HDC dc = BeginPaint(window, &paint);
      auto* painter = reinterpret_cast<ControlWindowPainter*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      if (dc && painter) {
        RECT client{};
        GetClientRect(window, &client);
        // Nothing may unwind into the window manager.
        try {
          painter->PaintControl(dc, client);
        } catch (...) {
        }
      }
      EndPaint(window, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The class belongs to this module's instance, so two modules built on the
// framework never share (or unregister) each other's class.
bool RegisterControlWindowClass() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(Module::Instance(), kWindowClass, &existing)) return true;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = ControlWindowProc;
  windowClass.hInstance = Module::Instance();
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

HWND CreateControlWindow(HWND parent, const RECT& position, ControlWindowPainter& painter) {
  if (!parent || !IsWindow(parent) || !RegisterControlWindowClass()) return nullptr;
  return CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                         position.left, position.top, position.right - position.left, position.bottom - position.top,
                         parent, nullptr, Module::Instance(), &painter);
}

void DestroyControlWindow(HWND& window) {
  if (window && IsWindow(window)) DestroyWindow(window);
  window = nullptr;
}

}  // namespace ax
