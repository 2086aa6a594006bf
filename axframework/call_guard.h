#pragma once
// Keeps a COM object and its module alive for the length of a call into it:
// a caller that releases the object from inside the call (a script run from a
// message loop the call turns) destroys it only when the outermost call has
// returned, and DllCanUnloadNow says no while any such call is on the stack.
#include <windows.h>
#include <unknwn.h>

#include "module.h"

namespace ax {

class CallGuard {
 public:
  explicit CallGuard(IUnknown* object) : object_(object) {
    Module::Lock();
    object_->AddRef();
  }
  ~CallGuard() {
    object_->Release();
    Module::Unlock();
  }
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;

 private:
  IUnknown* object_;
};

}  // namespace ax
