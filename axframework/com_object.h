#pragma once
// COM objects from a class T that derives from its interfaces and lists them
// in a table:
//
//   static constexpr ax::InterfaceEntry kInterfaces[] = {
//       ax::Entry<T, IFoo>(IID_IFoo),
//       ax::Entry<T, IPersist, IPersistStreamInit>(IID_IPersist),  // via a path
//   };
//
// QueryInterface answers from the table in its order (IUnknown is the first
// entry's object identity). ComObject<T> supplies IUnknown: a plain object
// counts its own references; an aggregated one delegates to the outer object
// and offers a separate non-delegating IUnknown. Every live object holds one
// module lock. T may define `HRESULT FinalConstruct()`, run after construction,
// and `void FinalRelease()`, run when the last reference goes, while the whole
// object (T's own part too) is still alive.
#include <windows.h>
#include <ole2.h>
#include <unknwn.h>

#include <new>
#include <span>

#include "module.h"

namespace ax {

struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*cast)(void* self);
};

template <class T, class Interface, class Path = Interface>
constexpr InterfaceEntry Entry(const IID& iid) {
  return {&iid, [](void* self) -> IUnknown* {
            return static_cast<Interface*>(static_cast<Path*>(static_cast<T*>(self)));
          }};
}

// The table lookup shared by every object; AddRefs what it hands out.
inline HRESULT QueryFromTable(void* self, std::span<const InterfaceEntry> table, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const InterfaceEntry& e : table) {
    if (InlineIsEqualGUID(iid, *e.iid)) {
      IUnknown* p = e.cast(self);
      p->AddRef();
      *out = p;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

template <class T>
class ComObject final : public T {
 public:
  explicit ComObject(IUnknown* outer) : inner_(this), outer_(outer ? outer : &inner_) { Module::Lock(); }
  ~ComObject() { Module::Unlock(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // Creates an object (aggregated when outer is given) and queries it for iid.
  // With an outer object only IUnknown may be asked for.
  static HRESULT Create(IUnknown* outer, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !InlineIsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    // A constructor that runs out of memory (or fails otherwise) is a class
    // that could not be created, never an exception in the caller.
    ComObject* object = nullptr;
    try {
      object = new (std::nothrow) ComObject(outer);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
    if (!object) return E_OUTOFMEMORY;
    IUnknown* inner = &object->inner_;
    inner->AddRef();  // keeps the object alive through FinalConstruct and the query
    HRESULT hr = object->RunFinalConstruct();
    if (SUCCEEDED(hr)) hr = inner->QueryInterface(iid, out);
    inner->Release();
    return hr;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return outer_->QueryInterface(iid, out); }
  STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

 private:
  HRESULT RunFinalConstruct() {
    if constexpr (requires(T& t) { t.FinalConstruct(); }) {
      try {
        return this->FinalConstruct();
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      } catch (...) {
        return E_UNEXPECTED;
      }
    } else {
      return S_OK;
    }
  }

  void RunFinalRelease() noexcept {
    if constexpr (requires(T& t) { t.FinalRelease(); }) {
      try {
        this->FinalRelease();
      } catch (...) {  // nothing leaves Release
      }
    }
  }

  // The object's own identity: never delegates.
  class Inner final : public IUnknown {
   public:
    explicit Inner(ComObject* owner) : owner_(owner) {}
    virtual ~Inner() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
      if (!out) return E_POINTER;
      if (InlineIsEqualGUID(iid, IID_IUnknown)) {
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      return QueryFromTable(static_cast<T*>(owner_), T::kInterfaces, iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
      ULONG left = --refs_;
      if (left == 0) {
        refs_ = 1;  // what FinalRelease does with references cannot delete the object twice
        owner_->RunFinalRelease();
        delete owner_;
      }
      return left;
    }

   private:
    ComObject* owner_;
    ULONG refs_ = 0;  // apartment-threaded objects: a plain counter
  };

  Inner inner_;
  IUnknown* outer_;
};

}  // namespace ax
