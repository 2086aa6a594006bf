#include "type_library.h"

#include <string>

#include "bstr.h"
#include "module.h"

namespace ax {
namespace {

// Not declared by every SDK's headers; present in oleaut32 since Vista.
using RegisterForUserFn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
using UnregisterForUserFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

template <class Fn>
Fn OleAutFunction(const char* name) {
  HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
  if (!oleaut) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(oleaut, name)));
}

HRESULT LoadOwnLibrary(std::wstring& path, ComPtr<ITypeLib>& lib) {
  path = Module::FilePath();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_INVALID_HANDLE);
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Put());
}

// Frees a TLIBATTR with the library that handed it out.
class LibAttr {
 public:
  explicit LibAttr(ITypeLib* lib) : lib_(lib) {}
  ~LibAttr() {
    if (attr_) lib_->ReleaseTLibAttr(attr_);
  }
  LibAttr(const LibAttr&) = delete;
  LibAttr& operator=(const LibAttr&) = delete;
  HRESULT Load() { return lib_->GetLibAttr(&attr_); }
  const TLIBATTR* operator->() const { return attr_; }

 private:
  ITypeLib* lib_;
  TLIBATTR* attr_ = nullptr;
};

}  // namespace

HRESULT LoadModuleTypeLibrary(const TypeLibraryId& id, ComPtr<ITypeLib>& out) {
  std::wstring path;
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadOwnLibrary(path, lib);
  if (FAILED(hr)) return hr;
  LibAttr attr(lib.Get());
  if (FAILED(hr = attr.Load())) return hr;
  if (!InlineIsEqualGUID(attr->guid, *id.libid) || attr->wMajorVerNum != id.major) return TYPE_E_LIBNOTREGISTERED;
  out = std::move(lib);
  return S_OK;
}

HRESULT LoadModuleTypeInfo(const TypeLibraryId& id, REFGUID guid, ComPtr<ITypeInfo>& out) {
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadModuleTypeLibrary(id, lib);
  if (FAILED(hr)) return hr;
  return lib->GetTypeInfoOfGuid(guid, out.Put());
}

HRESULT RegisterModuleTypeLibrary(bool perUser) {
  std::wstring path;
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadOwnLibrary(path, lib);
  if (FAILED(hr)) return hr;
  if (perUser) {
    if (auto fn = OleAutFunction<RegisterForUserFn>("RegisterTypeLibForUser")) return fn(lib.Get(), path.data(), nullptr);
  }
  return RegisterTypeLib(lib.Get(), path.data(), nullptr);
}

HRESULT RegisterModuleTypeLibrary(const TypeLibraryId& id) {
  std::wstring path;
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadOwnLibrary(path, lib);
  if (FAILED(hr)) return hr;
  {
    LibAttr attr(lib.Get());
    if (FAILED(hr = attr.Load())) return hr;
    if (!InlineIsEqualGUID(attr->guid, *id.libid)) return TYPE_E_LIBNOTREGISTERED;
  }
  return RegisterTypeLib(lib.Get(), path.data(), nullptr);
}

HRESULT UnregisterModuleTypeLibrary(bool perUser) {
  std::wstring path;
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadOwnLibrary(path, lib);
  if (FAILED(hr)) return hr;
  LibAttr attr(lib.Get());
  if (FAILED(hr = attr.Load())) return hr;
  // A registration that is already gone counts as removed; one that cannot
  // be read (the registry refuses access) is a failure like any other.
  Bstr registeredPath;
  hr = QueryPathOfRegTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, registeredPath.Put());
  if (hr == TYPE_E_LIBNOTREGISTERED) return S_OK;
  if (FAILED(hr)) return hr;
  if (perUser) {
    if (auto fn = OleAutFunction<UnregisterForUserFn>("UnRegisterTypeLibForUser")) {
      hr = fn(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    } else {
      hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    }
  } else {
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
  }
  // Only a library that is not there counts as removed: TYPE_E_REGISTRYACCESS
  // (refused for lack of rights) leaves it registered, so it is a failure.
  if (hr == TYPE_E_LIBNOTREGISTERED) return S_OK;
  return hr;
}

}  // namespace ax
