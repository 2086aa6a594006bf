#pragma once
// The window of a control activated in a container that cannot hold windowless
// objects: a child of the container's window (child, visible, clip siblings,
// clip children) that shows the control's picture. Windowless containers never
// see one.
#include <windows.h>

namespace ax {

// What the window asks of its control. The control outlives its window: it
// destroys the window when it leaves the in-place active state or goes away.
class ControlWindowPainter {
 public:
  virtual void PaintControl(HDC dc, const RECT& bounds) = 0;

 protected:
  ~ControlWindowPainter() = default;
};

// nullptr when the window cannot be created (no parent, no window class).
HWND CreateControlWindow(HWND parent, const RECT& position, ControlWindowPainter& painter);
// Destroys the window (if any) and clears the handle.
void DestroyControlWindow(HWND& window);

}  // namespace ax
