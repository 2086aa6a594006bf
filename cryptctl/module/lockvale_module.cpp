// Lockvale.dll: the module of the encryption control. Its class table and
// its self-registration (machine-wide, or per user through DllInstall with
// "user"); the framework's exports (axframework/module_exports.h) serve them.
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "axframework/class_factory.h"
#include "axframework/module.h"
#include "axframework/module_exports.h"
#include "axframework/registry_script.h"
#include "axframework/thread_locale.h"
#include "axframework/type_library.h"
#include "control/en_or_decrypt.h"
#include "module/resource.h"

namespace lockvale {

class CLockvaleModule {
 public:
  static constexpr const wchar_t* kAppId = L"{2745315A-825E-4CBF-86FE-C787C480DE6A}";

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

 public:
  // What the framework's exports serve.
  static inline const ax::ModuleDefinition kDefinition{classes_, &RegisterServer, &UnregisterServer};
};

}  // namespace lockvale

const ax::ModuleDefinition& ax::ThisModule() noexcept { return lockvale::CLockvaleModule::kDefinition; }
