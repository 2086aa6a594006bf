#pragma once
// In-place activation (IOleInPlaceObjectWindowless, IOleInPlaceActiveObject).
// In a container that can hold windowless objects the control has no window:
// the container draws it through IViewObject. Otherwise the control shows its
// picture in a child window of the container's window (control_window.h),
// created on activation and destroyed on deactivation; if the container gives
// no window, the control is active without one (it is invisible at run time)
// and GetWindow fails.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include "control_state.h"
#include "control_window.h"

namespace ax {

template <class Derived>
class InPlaceImpl : public IOleInPlaceObjectWindowless, public IOleInPlaceActiveObject, private ControlWindowPainter {
 public:
  // IOleWindow (both interfaces)
  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = State().window;
    return *window ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceObject
  STDMETHODIMP InPlaceDeactivate() override {
    ControlState& s = State();
    if (!s.inPlaceActive) return S_OK;
    UIDeactivate();
    DestroyControlWindow(s.window);
    s.inPlaceActive = false;
    if (ComPtr<IOleInPlaceSite> site = s.inPlaceSite) {
      ComPtr<IOleInPlaceSiteEx> siteEx;
      if (s.windowless && SUCCEEDED(site.As(siteEx, IID_IOleInPlaceSiteEx))) {
        siteEx->OnInPlaceDeactivateEx(TRUE);
      } else {
        site->OnInPlaceDeactivate();
      }
    }
    s.inPlaceSite.Reset();
    s.frame.Reset();
    s.document.Reset();
    s.windowless = false;
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override {
    ControlState& s = State();
    if (!s.uiActive) return S_OK;
    s.uiActive = false;
    if (s.document) s.document->SetActiveObject(nullptr, nullptr);
    if (s.frame) s.frame->SetActiveObject(nullptr, nullptr);
    if (s.inPlaceSite) s.inPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
  }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override {
    if (!position) return E_POINTER;
    ControlState& s = State();
    s.position = *position;
    if (s.window) {
      SetWindowPos(s.window, nullptr, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

  // IOleInPlaceObjectWindowless
  STDMETHODIMP OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) override {
    if (result) *result = 0;
    return S_FALSE;
  }
  STDMETHODIMP GetDropTarget(IDropTarget** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return E_NOTIMPL;
  }

  // IOleInPlaceActiveObject
  STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // Called by DoVerb: activates in place through the client site, and makes
  // the control UI-active when asked.
  HRESULT ActivateInPlace(bool uiActivate) {
    ControlState& s = State();
    if (!s.clientSite) return E_UNEXPECTED;
    if (!s.inPlaceActive) {
      ComPtr<IOleInPlaceSite> site;
      HRESULT hr = s.clientSite.As(site, IID_IOleInPlaceSite);
      if (FAILED(hr)) return hr;
      if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
      ComPtr<IOleInPlaceSiteWindowless> windowless;
      bool isWindowless = SUCCEEDED(site.As(windowless, IID_IOleInPlaceSiteWindowless)) &&
                          windowless->CanWindowlessActivate() == S_OK;
      if (isWindowless) {
        BOOL noRedraw = FALSE;
        hr = windowless->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
      } else {
        hr = site->OnInPlaceActivate();
      }
      if (FAILED(hr)) return hr;
      s.inPlaceSite = site;
      s.windowless = isWindowless;
      s.inPlaceActive = true;
      ComPtr<IOleInPlaceFrame> frame;
      ComPtr<IOleInPlaceUIWindow> document;
      RECT position{}, clip{};
      OLEINPLACEFRAMEINFO frameInfo{};
      frameInfo.cb = sizeof frameInfo;
      if (SUCCEEDED(site->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &frameInfo))) {
        s.position = position;
        s.frame = frame;
        s.document = document;
      }
      HWND parent = nullptr;
      if (!isWindowless && SUCCEEDED(site->GetWindow(&parent))) {
        s.window = CreateControlWindow(parent, s.position, *this);
      }
    }
    if (uiActivate && !s.uiActive) {
      s.uiActive = true;
      s.inPlaceSite->OnUIActivate();
      auto* active = static_cast<IOleInPlaceActiveObject*>(this);
      if (s.frame) s.frame->SetActiveObject(active, nullptr);
      if (s.document) s.document->SetActiveObject(active, nullptr);
    }
    return S_OK;
  }

 private:
  ControlState& State() { return static_cast<Derived*>(this)->ControlData(); }
  void PaintControl(HDC dc, const RECT& bounds) override { static_cast<Derived*>(this)->OnDraw(dc, bounds); }
};

}  // namespace ax
