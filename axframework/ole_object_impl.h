#pragma once
// IOleObject and IOleControl with the ordinary behaviour of a control that
// has no properties, no mnemonics and no verbs of its own: the container's
// site, advise sinks, extent and the standard verbs (which activate it in
// place, windowless: see in_place_impl.h); the Properties verb shows the
// control's property pages, when it lists any, in the system's frame.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <span>

#include "control_state.h"
#include "module.h"

namespace ax {

template <class Derived>
class OleObjectImpl : public IOleObject, public IOleControl {
 public:
  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    State().clientSite = ComPtr<IOleClientSite>(site);
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** site) override { return State().clientSite.CopyTo(site); }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override {
    Self().InPlaceDeactivate();
    if (State().oleAdviseHolder) State().oleAdviseHolder->SendOnClose();
    return S_OK;
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) override {
    if (site && !State().clientSite) State().clientSite = ComPtr<IOleClientSite>(site);
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE:
      case OLEIVERB_UIACTIVATE: {
        HRESULT hr = Self().ActivateInPlace(verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY);
        if (SUCCEEDED(hr) && position) State().position = *position;
        return hr;
      }
      case OLEIVERB_HIDE:
        return Self().UIDeactivate();
      case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
      case OLEIVERB_PROPERTIES:
        return ShowPropertyPages(parent);
      default:
        return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
    }
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override { return OleRegEnumVerbs(Derived::ClassId(), out); }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = Derived::ClassId();
    return S_OK;
  }
  // From the registry; a control that names a string resource with its
  // type name (static constexpr UINT kUserTypeNameId) answers with that when
  // the registry has none.
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override {
    HRESULT hr = OleRegGetUserType(Derived::ClassId(), form, type);
    if constexpr (requires { Derived::kUserTypeNameId; }) {
      if (FAILED(hr) && type) hr = LoadUserTypeName(Derived::kUserTypeNameId, type);
    }
    return hr;
  }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
    if (size->cx != State().extent.cx || size->cy != State().extent.cy) {
      State().extent = *size;
      State().dirty = true;
      Self().FireViewChange();
    }
    return S_OK;
  }
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = State().extent;
    return S_OK;
  }
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    if (!State().oleAdviseHolder) {
      HRESULT hr = CreateOleAdviseHolder(State().oleAdviseHolder.Put());
      if (FAILED(hr)) return hr;
    }
    return State().oleAdviseHolder->Advise(sink, cookie);
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    return State().oleAdviseHolder ? State().oleAdviseHolder->Unadvise(cookie) : OLE_E_NOCONNECTION;
  }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return State().oleAdviseHolder ? State().oleAdviseHolder->EnumAdvise(out) : E_FAIL;
  }
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override {
    if (!status) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? Derived::kMiscStatus : 0;
    return S_OK;
  }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override {
    if (!info) return E_POINTER;
    return E_NOTIMPL;  // no mnemonics
  }
  STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL freeze) override {
    State().freezeCount += freeze ? 1 : (State().freezeCount > 0 ? -1 : 0);
    return S_OK;
  }

 private:
  static HRESULT LoadUserTypeName(UINT id, LPOLESTR* type) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(Module::Instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return REGDB_E_KEYMISSING;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((static_cast<std::size_t>(length) + 1) * sizeof(wchar_t)));
    if (!copy) return E_OUTOFMEMORY;
    for (int i = 0; i < length; ++i) copy[i] = text[i];
    copy[length] = L'\0';
    *type = copy;
    return S_OK;
  }

  // The modal property frame over this control, captioned with its short
  // type name.
  HRESULT ShowPropertyPages(HWND parent) {
    std::span<const CLSID> pages = Derived::PropertyPages();
    if (pages.empty()) return E_NOTIMPL;
    LPOLESTR name = nullptr;
    if (FAILED(OleRegGetUserType(Derived::ClassId(), USERCLASSTYPE_SHORT, &name))) name = nullptr;
    IUnknown* object = static_cast<IOleObject*>(this);
    HRESULT hr = OleCreatePropertyFrame(parent, 0, 0, name ? name : const_cast<LPOLESTR>(L""), 1, &object,
                                        static_cast<ULONG>(pages.size()), const_cast<CLSID*>(pages.data()),
                                        LOCALE_USER_DEFAULT, 0, nullptr);
    CoTaskMemFree(name);
    return hr;
  }

  Derived& Self() { return *static_cast<Derived*>(this); }
  ControlState& State() { return Self().ControlData(); }
};

}  // namespace ax
