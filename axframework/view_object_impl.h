#pragma once
// IViewObjectEx: the control draws its content aspect when the container
// asks (Derived::OnDraw(HDC, const RECT&)); the container's view sink hears
// of changes. Opaque, solid background, hit everywhere inside its bounds.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include "control_state.h"

namespace ax {

template <class Derived>
class ViewObjectImpl : public IViewObjectEx {
 public:
  // IViewObject
  STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                    BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
    if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE && aspect != DVASPECT_TRANSPARENT) {
      return DV_E_DVASPECT;
    }
    if (!dc) return E_INVALIDARG;
    RECT r;
    if (bounds) {
      r = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    } else if (State().inPlaceActive && State().windowless) {
      r = State().position;
    } else {
      return E_INVALIDARG;
    }
    try {
      static_cast<Derived*>(this)->OnDraw(dc, r);
    } catch (...) {
      return E_FAIL;
    }
    return S_OK;
  }
  STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override {
    State().viewSink = ComPtr<IAdviseSink>(sink);
    State().viewAspects = aspects;
    State().viewAdviseFlags = flags;
    return S_OK;
  }
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override {
    if (aspects) *aspects = State().viewAspects;
    if (flags) *flags = State().viewAdviseFlags;
    if (sink) State().viewSink.CopyTo(sink);
    return S_OK;
  }

  // IViewObject2
  STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = State().extent;
    return S_OK;
  }

  // IViewObjectEx
  STDMETHODIMP GetRect(DWORD aspect, LPRECTL rect) override {
    if (!rect) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *rect = {0, 0, State().extent.cx, State().extent.cy};
    return S_OK;
  }
  STDMETHODIMP GetViewStatus(DWORD* status) override {
    if (!status) return E_POINTER;
    *status = VIEWSTATUS_SOLIDBKGND | VIEWSTATUS_OPAQUE;
    return S_OK;
  }
  STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT point, LONG, DWORD* result) override {
    if (!bounds || !result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *result = PtInRect(bounds, point) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
  }
  STDMETHODIMP QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT rect, LONG, DWORD* result) override {
    if (!bounds || !rect || !result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    RECT overlap;
    *result = IntersectRect(&overlap, bounds, rect) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
  }
  STDMETHODIMP GetNaturalExtent(DWORD aspect, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO* info, LPSIZEL size) override {
    if (!info || !size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT || info->dwExtentMode != DVEXTENT_CONTENT) return E_NOTIMPL;
    *size = State().extent;
    return S_OK;
  }

 private:
  ControlState& State() { return static_cast<Derived*>(this)->ControlData(); }
};

}  // namespace ax
