#pragma once
// An outer object as a client that aggregates a COM object builds one: it
// answers IUnknown itself and hands every other request to the inner object.
// It lives on the test's stack; `refs` counts the references the test and
// the inner object's delegating interfaces hold on it.
#include <unknwn.h>

namespace bidder::test {

class OuterObject final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    if (!inner) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return inner->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }

  // The inner object's own IUnknown, as the class factory handed it out
  // (owned by the test, which releases it).
  IUnknown* inner = nullptr;
  ULONG refs = 1;
};

}  // namespace bidder::test
