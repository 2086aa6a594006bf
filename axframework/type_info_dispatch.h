#pragma once
// IDispatch for a dual interface, served from the module's type library:
// names through DispGetIDsOfNames, calls through ITypeInfo::Invoke onto the
// interface's own vtable. The description is loaded on first use.
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>

#include "com_ptr.h"
#include "type_library.h"

namespace ax {

template <class Interface>
class TypeInfoDispatch : public Interface {
 public:
  TypeInfoDispatch(const IID& iid, const TypeLibraryId& library) : iid_(iid), library_(library) {}

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT hr = EnsureTypeInfo();
    return FAILED(hr) ? hr : typeInfo_.CopyTo(out);
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!InlineIsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = EnsureTypeInfo();
    return FAILED(hr) ? hr : DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    if (!InlineIsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = EnsureTypeInfo();
    if (FAILED(hr)) return hr;
    return typeInfo_->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception, argError);
  }

 private:
  HRESULT EnsureTypeInfo() {
    if (typeInfo_) return S_OK;
    return LoadModuleTypeInfo(library_, iid_, typeInfo_);
  }

  const IID& iid_;
  TypeLibraryId library_;
  ComPtr<ITypeInfo> typeInfo_;
};

}  // namespace ax
