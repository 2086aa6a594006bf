#include "connection_point.h"

#include <new>

#include "module.h"

namespace ax {
namespace {

// An enumerator over a fixed list: IEnumConnections or IEnumConnectionPoints.
// It keeps the control alive through `owner` and holds a reference to every
// interface in its list.
template <class Enum, class Item, const IID& kIid>
class SnapshotEnum final : public Enum {
 public:
  SnapshotEnum(IUnknown* owner, std::vector<Item> items, ULONG position = 0)
      : owner_(owner), items_(std::move(items)), position_(position) {
    Module::Lock();
    for (Item& item : items_) AddItemRef(item);
  }
  ~SnapshotEnum() {
    for (Item& item : items_) ReleaseItem(item);
    Module::Unlock();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, kIid)) {
      *out = static_cast<Enum*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    if (count != 1 && !fetched) return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && position_ < items_.size()) {
      out[n] = items_[position_++];
      AddItemRef(out[n]);
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const ULONG left = static_cast<ULONG>(items_.size()) - position_;
    position_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Enum** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      auto* copy = new SnapshotEnum(owner_.Get(), items_, position_);
      copy->AddRef();
      *out = copy;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  static void AddItemRef(CONNECTDATA& item) { item.pUnk->AddRef(); }
  static void ReleaseItem(CONNECTDATA& item) { item.pUnk->Release(); }
  static void AddItemRef(IConnectionPoint*& item) { item->AddRef(); }
  static void ReleaseItem(IConnectionPoint*& item) { item->Release(); }

  ComPtr<IUnknown> owner_;
  std::vector<Item> items_;
  ULONG position_;
  ULONG refs_ = 0;
};

using ConnectionsEnum = SnapshotEnum<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;
using PointsEnum = SnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;

template <class Enumerator, class Enum, class Item>
HRESULT MakeEnum(IUnknown* owner, std::vector<Item> items, Enum** out) noexcept {
  try {
    auto* e = new Enumerator(owner, std::move(items));
    e->AddRef();
    *out = e;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IConnectionPoint)) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  if (!iid_) return E_UNEXPECTED;
  *iid = *iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  owner_->AddRef();
  *out = owner_;
  return S_OK;
}

// A sink answers the outgoing interface, or (as a script's sink does for a
// dispatch interface) IDispatch.
STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  if (!iid_) return CONNECT_E_CANNOTCONNECT;
  ComPtr<IUnknown> held;
  if (FAILED(sink->QueryInterface(*iid_, held.PutVoid())) &&
      FAILED(sink->QueryInterface(IID_IDispatch, held.PutVoid()))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    sinks_.push_back({nextCookie_, std::move(held)});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie == cookie) {
      ComPtr<IUnknown> released = std::move(it->sink);  // released after the list is consistent
      sinks_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    std::vector<CONNECTDATA> items;
    for (const Sink& s : sinks_) items.push_back({s.sink.Get(), s.cookie});
    return MakeEnum<ConnectionsEnum>(owner_, std::move(items), out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT EnumerateConnectionPoints(ConnectionPoint& point, IEnumConnectionPoints** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  IConnectionPointContainer* owner = nullptr;
  point.GetConnectionPointContainer(&owner);
  ComPtr<IConnectionPointContainer> container = ComPtr<IConnectionPointContainer>::Adopt(owner);
  try {
    std::vector<IConnectionPoint*> items;
    if (point.Offered()) items.push_back(&point);
    return MakeEnum<PointsEnum>(container.Get(), std::move(items), out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace ax
