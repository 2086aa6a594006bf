#pragma once
// Persistence of the control's extent through a stream (IPersistStreamInit)
// and through a storage (IPersistStorage, stream "Contents"); the format is
// in extent_stream.h. A control that defines
//   static constexpr DWORD kPersistedVersion;
// stores that version word first and reads older ones (converted) too.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include "control_state.h"
#include "extent_stream.h"

namespace ax {

template <class Derived>
class PersistenceImpl : public IPersistStreamInit, public IPersistStorage {
 public:
  // IPersist (both interfaces)
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = Derived::ClassId();
    return S_OK;
  }

  // IPersistStreamInit
  STDMETHODIMP IsDirty() override { return State().dirty ? S_OK : S_FALSE; }
  STDMETHODIMP Load(LPSTREAM stream) override {
    if (!stream) return E_POINTER;
    if constexpr (Versioned()) {
      if (HRESULT hr = LoadControlVersion(stream, Derived::kPersistedVersion); FAILED(hr)) return hr;
    }
    HRESULT hr = LoadExtent(stream, State().extent);
    if (SUCCEEDED(hr)) {
      State().dirty = false;
      static_cast<Derived*>(this)->FireViewChange();
    }
    return hr;
  }
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override {
    if (!stream) return E_POINTER;
    if constexpr (Versioned()) {
      if (HRESULT hr = SaveControlVersion(stream, Derived::kPersistedVersion); FAILED(hr)) return hr;
    }
    HRESULT hr = SaveExtent(stream, State().extent);
    if (SUCCEEDED(hr) && clearDirty) State().dirty = false;
    return hr;
  }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
    if (!size) return E_POINTER;
    size->QuadPart = kExtentStreamSize + (Versioned() ? sizeof(DWORD) : 0);
    return S_OK;
  }
  STDMETHODIMP InitNew() override {
    State().extent = State().defaultExtent;
    State().dirty = false;
    return S_OK;
  }

  // IPersistStorage
  STDMETHODIMP InitNew(IStorage*) override { return InitNew(); }
  STDMETHODIMP Load(IStorage* storage) override {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr = storage->OpenStream(kContents, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put());
    return FAILED(hr) ? hr : Load(stream.Get());
  }
  STDMETHODIMP Save(IStorage* storage, BOOL) override {
    if (!storage) return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr = storage->CreateStream(kContents, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0,
                                       stream.Put());
    return FAILED(hr) ? hr : Save(stream.Get(), TRUE);
  }
  STDMETHODIMP SaveCompleted(IStorage*) override { return S_OK; }
  STDMETHODIMP HandsOffStorage() override { return S_OK; }

 private:
  static constexpr bool Versioned() { return requires { Derived::kPersistedVersion; }; }
  static constexpr const wchar_t* kContents = L"Contents";
  ControlState& State() { return static_cast<Derived*>(this)->ControlData(); }
};

}  // namespace ax
