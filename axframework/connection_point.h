#pragma once
// Connection points of a control: the container (IConnectionPointContainer)
// over the control's one outgoing interface, and that connection point with
// its sinks. A control without events answers FindConnectionPoint with
// CONNECT_E_NOCONNECTION and enumerates no point.
//
// The connection point belongs to the control and lives exactly as long: its
// references are the control's. The enumerators are objects of their own
// holding a snapshot and a reference to the control.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <vector>

#include "com_ptr.h"

namespace ax {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `owner` is the control's identity; `iid` null for a control without events.
  ConnectionPoint(IConnectionPointContainer* owner, const IID* iid) : owner_(owner), iid_(iid) {}
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;
  virtual ~ConnectionPoint() = default;

  bool Offered() const { return iid_ != nullptr; }
  // Drops every sink (the control is going).
  void Clear() { sinks_.clear(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) override;

 private:
  struct Sink {
    DWORD cookie;
    ComPtr<IUnknown> sink;
  };
  IConnectionPointContainer* owner_;
  const IID* iid_;
  std::vector<Sink> sinks_;
  DWORD nextCookie_ = 1;
};

// An enumerator over the points of a container (none or this one).
HRESULT EnumerateConnectionPoints(ConnectionPoint& point, IEnumConnectionPoints** out) noexcept;

template <class Derived>
class ConnectionPointContainerImpl : public IConnectionPointContainer {
 public:
  ConnectionPointContainerImpl() : point_(this, Derived::EventInterface()) {}

  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
    return EnumerateConnectionPoints(point_, out);
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    const IID* events = Derived::EventInterface();
    if (!events || !InlineIsEqualGUID(iid, *events)) return CONNECT_E_NOCONNECTION;
    point_.AddRef();
    *out = &point_;
    return S_OK;
  }

 protected:
  ConnectionPoint& EventPoint() { return point_; }

 private:
  ConnectionPoint point_;
};

}  // namespace ax
