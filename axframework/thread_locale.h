#pragma once
// Sets the thread locale for a scope and restores it afterwards. Registration
// runs under the system default locale, so that what the system's
// registration calls derive from the locale doesn't depend on the caller.
#include <windows.h>

namespace ax {

class ThreadLocaleScope {
 public:
  explicit ThreadLocaleScope(LCID locale) : saved_(GetThreadLocale()) { SetThreadLocale(locale); }
  ~ThreadLocaleScope() { SetThreadLocale(saved_); }
  ThreadLocaleScope(const ThreadLocaleScope&) = delete;
  ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;

 private:
  LCID saved_;
};

}  // namespace ax
