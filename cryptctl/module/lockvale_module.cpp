// Lockvale.dll: the module of the encryption control. Its exports, its class
// table and its self-registration (machine-wide, or per user through
// DllInstall with "user").
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "axframework/class_factory.h"
#include "axframework/module.h"
#include "axframework/registry_script.h"
#include "axframework/thread_locale.h"
#include "axframework/type_library.h"
#include "control/en_or_decrypt.h"
#include "module/resource.h"

namespace lockvale {

class CLockvaleModule {
 public:
  static constexpr const wchar_t* kAppId = L"{2745315A-825E-4CBF-86FE-C787C480DE6A}";

  static HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return ax::GetClassObject(classes_, clsid, iid, out);
  }

  // Script 101 (the AppID), script 103 (the control class), then the type library.
  static HRESULT RegisterServer() {
    ax::ThreadLocaleScope locale(LOCALE_SYSTEM_DEFAULT);
    std::vector<ax::ScriptReplacement> values;
    HRESULT hr = Replacements(values);
    if (FAILED(hr)) return hr;
    const bool perUser = ax::Module::PerUserRegistration();
    if (FAILED(hr = ax::RunRegistryScriptResource(IDR_LOCKVALE, values, true, perUser))) return hr;
    if (FAILED(hr = ax::RunRegistryScriptResource(IDR_ENORDECRYPT, values, true, perUser))) return hr;
    return ax::RegisterModuleTypeLibrary(perUser);
  }

  // The reverse order: the control class, the type library, the AppID.
  static HRESULT UnregisterServer() {
    ax::ThreadLocaleScope locale(LOCALE_SYSTEM_DEFAULT);
    std::vector<ax::ScriptReplacement> values;
    HRESULT hr = Replacements(values);
    if (FAILED(hr)) return hr;
    const bool perUser = ax::Module::PerUserRegistration();
    if (FAILED(hr = ax::RunRegistryScriptResource(IDR_ENORDECRYPT, values, false, perUser))) return hr;
    if (FAILED(hr = ax::UnregisterModuleTypeLibrary(perUser))) return hr;
    return ax::RunRegistryScriptResource(IDR_LOCKVALE, values, false, perUser);
  }

 private:
  static HRESULT Replacements(std::vector<ax::ScriptReplacement>& values) {
    try {
      const std::wstring path = ax::Module::FilePath();
      if (path.empty() || path.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
      values = {{L"MODULE", ax::QuoteForScript(path)},
                {L"APPID", kAppId},
                {L"OLEMISC", std::to_wstring(CEnOrDecrypt::kMiscStatus)}};
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  static inline std::array<ax::ClassEntry, 1> classes_{ax::Creatable<CEnOrDecrypt>(CLSID_EnOrDecrypt)};
};

}  // namespace lockvale

using lockvale::CLockvaleModule;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) return ax::Module::Init(instance) ? TRUE : FALSE;
  if (reason == DLL_PROCESS_DETACH) ax::Module::Term();
  return TRUE;
}

STDAPI DllCanUnloadNow() { return ax::Module::CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return CLockvaleModule::GetClassObject(clsid, iid, out);
}

STDAPI DllRegisterServer() { return CLockvaleModule::RegisterServer(); }

STDAPI DllUnregisterServer() { return CLockvaleModule::UnregisterServer(); }

// "user" (in any case) registers or unregisters for the current user only.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  const bool perUser = commandLine && CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) == CSTR_EQUAL;
  ax::PerUserRegistrationScope scope(perUser || ax::Module::PerUserRegistration());
  if (!install) return CLockvaleModule::UnregisterServer();
  HRESULT hr = CLockvaleModule::RegisterServer();
  if (FAILED(hr)) CLockvaleModule::UnregisterServer();
  return hr;
}
