#include "module_exports.h"

#include <new>

namespace {

// Registration code is the server's own: whatever it throws ends here as a
// failure, never in the caller (regsvr32, an installer).
HRESULT RunRegistration(HRESULT (*step)()) noexcept {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) return ax::Module::Init(instance) ? TRUE : FALSE;
  if (reason == DLL_PROCESS_DETACH) ax::Module::Term();
  return TRUE;
}

STDAPI DllCanUnloadNow() { return ax::Module::CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return ax::GetClassObject(ax::ThisModule().classes, clsid, iid, out);
}

STDAPI DllRegisterServer() { return RunRegistration(ax::ThisModule().registerServer); }

STDAPI DllUnregisterServer() { return RunRegistration(ax::ThisModule().unregisterServer); }

// "user" (in any case) registers or unregisters for the current user only. A
// registration that fails part way is undone.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  const ax::ModuleDefinition& module = ax::ThisModule();
  const bool perUser = commandLine && CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) == CSTR_EQUAL;
  ax::PerUserRegistrationScope scope(perUser || ax::Module::PerUserRegistration());
  if (!install) return RunRegistration(module.unregisterServer);
  const HRESULT hr = RunRegistration(module.registerServer);
  if (FAILED(hr)) RunRegistration(module.unregisterServer);
  return hr;
}
