#pragma once
// The class factory and the module's cache of class objects behind
// DllGetClassObject.
#include <windows.h>
#include <ole2.h>
#include <unknwn.h>

#include <new>
#include <span>

#include "com_object.h"
#include "module.h"

namespace ax {

// Creates ComObject<T> instances. Its own references don't hold the module;
// LockServer does.
template <class T>
class ClassFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return ComObject<T>::Create(outer, iid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      Module::Lock();
    } else {
      Module::Unlock();
    }
    return S_OK;
  }

  static HRESULT Make(IClassFactory** out) noexcept {
    auto* factory = new (std::nothrow) ClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    *out = factory;
    return S_OK;
  }

 private:
  ClassFactory() = default;
  ~ClassFactory() = default;
  LONG refs_ = 0;
};

// One creatable class of the module. The factory is made on the first
// request, under the module's critical section, and kept until the module
// ends.
struct ClassEntry {
  const CLSID* clsid;
  HRESULT (*makeFactory)(IClassFactory** out);
  IClassFactory* cached;
};

template <class T>
constexpr ClassEntry Creatable(const CLSID& clsid) {
  return {&clsid, &ClassFactory<T>::Make, nullptr};
}

// DllGetClassObject over the module's table of classes.
HRESULT GetClassObject(std::span<ClassEntry> classes, REFCLSID clsid, REFIID iid, void** out) noexcept;

}  // namespace ax
