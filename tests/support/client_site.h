#pragma once
// The client side of a test container's site, where the container offers
// nothing: no moniker, no container object, no saving; the object may show
// itself. A test's site derives from it and adds the in-place side it needs
// (and IUnknown, which every interface of the site shares).
#include <ole2.h>

namespace bidder::test {

class PlainClientSite : public IOleClientSite {
 public:
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
};

}  // namespace bidder::test
