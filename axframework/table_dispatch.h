#pragma once
// IDispatch served from a control's own table of methods: the DISPID of a
// method is its position in the table (1, 2, 3, ...), so the table order is
// part of the interface. Every parameter is a string (BSTR). Names are looked
// up in the registered type library when the caller names a locale and the
// library can be loaded, else in the table, case-insensitively. Calls always
// go through the table.
//
// The derived class supplies
//   static std::span<const ax::DispatchMethod<Derived>> DispatchTable();
//   static ax::TypeLibraryId TypeLibrary();
// and is handed to the constructor the IID of its dispatch interface.
//
// Every call holds the object and the module (call_guard.h). Nothing thrown
// leaves Invoke.
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>

#include <new>
#include <span>

#include "call_guard.h"
#include "com_ptr.h"
#include "type_library.h"

namespace ax {

template <class Derived>
struct DispatchMethod {
  const wchar_t* name;
  UINT parameterCount;
  // The arguments in declaration order, each already a BSTR.
  void (Derived::*call)(std::span<const BSTR> arguments);
};

template <class Derived, class Interface>
class TableDispatch : public Interface {
 public:
  explicit TableDispatch(const IID& iid) : iid_(iid) {}

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return LoadRegisteredTypeInfo(locale, out);
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    if (!InlineIsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    if (locale != 0) {
      ComPtr<ITypeInfo> info;
      if (SUCCEEDED(LoadRegisteredTypeInfo(locale, info.Put()))) return DispGetIDsOfNames(info.Get(), names, count, ids);
    }
    // The table knows only member names; parameters have none.
    const auto table = Derived::DispatchTable();
    ids[0] = DISPID_UNKNOWN;
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (names[0] && CompareStringOrdinal(names[0], -1, table[i].name, -1, TRUE) == CSTR_EQUAL) {
        ids[0] = static_cast<DISPID>(i + 1);
        break;
      }
    }
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return ids[0] != DISPID_UNKNOWN && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT* argError) override {
    if (!InlineIsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (result) VariantInit(result);  // no method returns a value
    const auto table = Derived::DispatchTable();
    if (id < 1 || static_cast<std::size_t>(id) > table.size()) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    const DispatchMethod<Derived>& method = table[static_cast<std::size_t>(id - 1)];
    DISPPARAMS none{};
    if (!params) params = &none;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != method.parameterCount) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs > kMaxParameters) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;

    // Arguments arrive last first.
    VARIANT converted[kMaxParameters];
    BSTR arguments[kMaxParameters] = {};
    const UINT n = params->cArgs;
    for (UINT i = 0; i < n; ++i) VariantInit(&converted[i]);
    HRESULT hr = S_OK;
    for (UINT i = 0; i < n && SUCCEEDED(hr); ++i) {
      const UINT position = n - 1 - i;
      hr = VariantChangeType(&converted[i], &params->rgvarg[position], 0, VT_BSTR);
      if (FAILED(hr)) {
        if (argError) *argError = position;
        hr = hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
      } else {
        arguments[i] = converted[i].bstrVal;
      }
    }
    if (SUCCEEDED(hr)) {
      IUnknown* self = static_cast<Interface*>(this);
      CallGuard alive(self);
      try {
        (static_cast<Derived*>(this)->*method.call)(std::span<const BSTR>(arguments, n));
      } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
      } catch (...) {
        hr = E_UNEXPECTED;
      }
    }
    for (UINT i = 0; i < n; ++i) VariantClear(&converted[i]);
    return hr;
  }

 private:
  static constexpr UINT kMaxParameters = 16;

  // From the registered type library only: the control's type information
  // needs the module registered, as COM's clients expect it.
  HRESULT LoadRegisteredTypeInfo(LCID locale, ITypeInfo** out) {
    const TypeLibraryId id = Derived::TypeLibrary();
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadRegTypeLib(*id.libid, id.major, id.minor, locale, lib.Put());
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(iid_, out);
  }

  const IID& iid_;
};

}  // namespace ax
