#pragma once
// The state of one in-process COM server module: its instance handle, the
// lock count that DllCanUnloadNow reads (live objects and LockServer locks),
// the critical section that guards one-time creations, and the registration
// mode. One per DLL (or test program) linking the framework.
#include <windows.h>

#include <string>

namespace ax {

class Module {
 public:
  // From DllMain's process attachment. False when the critical section can't
  // be set up; the module must then refuse to load.
  static bool Init(HINSTANCE instance);
  // From DllMain's process detachment: releases what the module cached.
  static void Term();

  static HINSTANCE Instance();
  // The module file's full path; empty when it can't be had (also when memory
  // runs out: COM methods and exports reach it, and nothing may escape them).
  static std::wstring FilePath() noexcept;

  static LONG Lock();
  static LONG Unlock();
  static LONG LockCount();
  // S_OK when nothing holds the module, else S_FALSE.
  static HRESULT CanUnloadNow();

  // Registration writes under HKEY_CURRENT_USER\Software\Classes instead of
  // HKEY_CLASSES_ROOT while this is set.
  static bool PerUserRegistration();
  static void SetPerUserRegistration(bool perUser);

  // Something to release at Term, registered once (the cached class factories).
  using Cleanup = void (*)();
  static void AtTerm(Cleanup cleanup);

  friend class ModuleGuard;

 private:
  static CRITICAL_SECTION& Section();
};

// Holds the module's critical section for a scope.
class ModuleGuard {
 public:
  ModuleGuard() { EnterCriticalSection(&Module::Section()); }
  ~ModuleGuard() { LeaveCriticalSection(&Module::Section()); }
  ModuleGuard(const ModuleGuard&) = delete;
  ModuleGuard& operator=(const ModuleGuard&) = delete;
};

// Per-user registration for one scope (DllInstall "user").
class PerUserRegistrationScope {
 public:
  explicit PerUserRegistrationScope(bool perUser) : saved_(Module::PerUserRegistration()) {
    Module::SetPerUserRegistration(perUser);
  }
  ~PerUserRegistrationScope() { Module::SetPerUserRegistration(saved_); }
  PerUserRegistrationScope(const PerUserRegistrationScope&) = delete;
  PerUserRegistrationScope& operator=(const PerUserRegistrationScope&) = delete;

 private:
  bool saved_;
};

}  // namespace ax
