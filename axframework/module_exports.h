#pragma once
// The exports of an in-process server built on the framework, written once
// (module_exports.cpp, the object library axframework_module_exports that
// each DLL links): DllMain, DllCanUnloadNow, DllGetClassObject,
// DllRegisterServer, DllUnregisterServer and DllInstall. The DLL supplies
// what differs between servers by defining ax::ThisModule(), and its .def
// file names the exports it offers (a server without per-user registration
// leaves DllInstall out).
#include <windows.h>

#include <span>

#include "class_factory.h"

namespace ax {

struct ModuleDefinition {
  // DllGetClassObject's classes (their factories are cached in the entries).
  std::span<ClassEntry> classes;
  // DllRegisterServer and DllUnregisterServer; DllInstall runs them with
  // per-user registration on for "user".
  HRESULT (*registerServer)();
  HRESULT (*unregisterServer)();
};

// Defined by the DLL, once.
const ModuleDefinition& ThisModule() noexcept;

}  // namespace ax
