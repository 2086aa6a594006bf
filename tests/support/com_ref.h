#pragma once
// A minimal owning interface pointer for tests that see a COM object from
// outside: they must not lean on the smart pointers of the code under test.
#include <unknwn.h>

namespace bidder::test {

template <class T>
struct Ref {
  T* p = nullptr;

  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { reset(); }

  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  // For an out parameter: whatever was held is released first, so a holder
  // can be filled again without leaking.
  T** put() {
    reset();
    return &p;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  T* operator->() const { return p; }
};

}  // namespace bidder::test
