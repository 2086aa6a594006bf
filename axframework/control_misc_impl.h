#pragma once
// The smaller control interfaces: quick activation, property pages (none
// unless the control lists some), data transfer (advise only: the control
// offers no data formats) and class information from the type library.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <span>

#include "control_state.h"
#include "type_library.h"

namespace ax {

template <class Derived>
class QuickActivateImpl : public IQuickActivate {
 public:
  STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override {
    if (!container || !control) return E_POINTER;
    if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
    Derived& self = *static_cast<Derived*>(this);
    self.SetClientSite(container->pClientSite);
    if (container->pAdviseSink) self.SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    const ULONG size = control->cbSize;
    ZeroMemory(control, size);
    control->cbSize = size;
    self.GetMiscStatus(DVASPECT_CONTENT, &control->dwMiscStatus);
    self.GetViewStatus(&control->dwViewStatus);
    return S_OK;
  }
  STDMETHODIMP SetContentExtent(LPSIZEL size) override {
    return static_cast<IOleObject*>(static_cast<Derived*>(this))->SetExtent(DVASPECT_CONTENT, size);
  }
  STDMETHODIMP GetContentExtent(LPSIZEL size) override {
    return static_cast<IOleObject*>(static_cast<Derived*>(this))->GetExtent(DVASPECT_CONTENT, size);
  }
};

template <class Derived>
class SpecifyPropertyPagesImpl : public ISpecifyPropertyPages {
 public:
  STDMETHODIMP GetPages(CAUUID* pages) override {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    std::span<const CLSID> list = Derived::PropertyPages();
    if (list.empty()) return S_OK;
    auto* elems = static_cast<GUID*>(CoTaskMemAlloc(list.size() * sizeof(GUID)));
    if (!elems) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < list.size(); ++i) elems[i] = list[i];
    pages->cElems = static_cast<ULONG>(list.size());
    pages->pElems = elems;
    return S_OK;
  }
};

template <class Derived>
class DataObjectImpl : public IDataObject {
 public:
  STDMETHODIMP GetData(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
  STDMETHODIMP QueryGetData(FORMATETC*) override { return DV_E_FORMATETC; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie) override {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    ControlState& s = static_cast<Derived*>(this)->ControlData();
    if (!s.dataAdviseHolder) {
      HRESULT hr = CreateDataAdviseHolder(s.dataAdviseHolder.Put());
      if (FAILED(hr)) return hr;
    }
    return s.dataAdviseHolder->Advise(this, format, flags, sink, cookie);
  }
  STDMETHODIMP DUnadvise(DWORD cookie) override {
    ControlState& s = static_cast<Derived*>(this)->ControlData();
    return s.dataAdviseHolder ? s.dataAdviseHolder->Unadvise(cookie) : OLE_E_NOCONNECTION;
  }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    ControlState& s = static_cast<Derived*>(this)->ControlData();
    return s.dataAdviseHolder ? s.dataAdviseHolder->EnumAdvise(out) : E_FAIL;
  }
};

// The coclass description from the module's type library. A control without
// an event interface answers GetGUID with E_FAIL and GUID_NULL.
template <class Derived>
class ProvideClassInfoImpl : public IProvideClassInfo2 {
 public:
  STDMETHODIMP GetClassInfo(ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<ITypeInfo> info;
    HRESULT hr = LoadModuleTypeInfo(Derived::TypeLibrary(), Derived::ClassId(), info);
    return FAILED(hr) ? hr : info.CopyTo(out);
  }
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
    if (!guid) return E_POINTER;
    const IID* events = Derived::EventInterface();
    if (kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID && events) {
      *guid = *events;
      return S_OK;
    }
    *guid = GUID_NULL;
    return E_FAIL;
  }
};

}  // namespace ax
