// Folvane.OCX: the module of the scanning control. The application object,
// the class table (the control and its property page) and self-registration:
// the type library first, then the classes, then the two component
// categories that mark the control safe for pages. The framework's exports
// (axframework/module_exports.h) serve them.
#include <windows.h>
#include <olectl.h>

#include <array>

#include "axframework/class_factory.h"
#include "axframework/class_registration.h"
#include "axframework/component_categories.h"
#include "axframework/module_exports.h"
#include "axframework/type_library.h"
#include "control/folvane_ctrl.h"
#include "module/folvane_prop_page.h"
#include "module/resource.h"

namespace folvane {
namespace {

// {7DD95801-9882-11CF-9FA9-00AA006C42C4}, {7DD95802-9882-11CF-9FA9-00AA006C42C4}
constexpr GUID kSafeForScripting = {0x7dd95801, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}};
constexpr GUID kSafeForInitializing = {0x7dd95802, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}};
constexpr LCID kCategoryLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
constexpr const wchar_t* kControlProgId = L"VORLA.FolvaneCtrl.1";

}  // namespace

// The application object: it records the thread that loaded the module. The
// control's hook is installed for the thread that creates the control (the
// same thread when a page's thread loads the module and creates the control,
// and the right one when another thread creates a second control).
class CFolvaneApp {
 public:
  CFolvaneApp() : m_loadingThread(GetCurrentThreadId()) {}
  DWORD LoadingThread() const { return m_loadingThread; }

 private:
  DWORD m_loadingThread;
};

class CFolvaneModule {
 public:
  static HRESULT RegisterServer() noexcept {
    if (FAILED(ax::RegisterModuleTypeLibrary(CFolvaneCtrl::TypeLibrary()))) return SELFREG_E_TYPELIB;
    if (!ax::RegisterPropertyPageClass(kFolvanePropPageClsid, IDS_FOLVANE_PPG)) return SELFREG_E_CLASS;
    if (!RegisterControl()) return SELFREG_E_CLASS;
    return S_OK;
  }

  static HRESULT UnregisterServer() noexcept {
    if (FAILED(ax::UnregisterModuleTypeLibrary(false))) return SELFREG_E_TYPELIB;
    if (!ax::UnregisterClass(kFolvanePropPageClsid, nullptr)) return SELFREG_E_CLASS;
    if (!ax::UnregisterClass(CLSID_Folvane, kControlProgId)) return SELFREG_E_CLASS;
    return S_OK;
  }

 private:
  // The class entries, then the categories; a category that cannot be made
  // leaves the control without that mark and is not reported.
  static bool RegisterControl() noexcept {
    const ax::TypeLibraryId library = CFolvaneCtrl::TypeLibrary();
    const ax::ControlClassInfo info{&CLSID_Folvane, kControlProgId, IDS_FOLVANE, IDB_FOLVANE, true,
                                    CFolvaneCtrl::kMiscStatus, library.libid, library.major, library.minor};
    const bool registered = ax::RegisterControlClass(info);
    if (SUCCEEDED(ax::CreateComponentCategory(kSafeForScripting, kCategoryLocale, L"Controls that are safely scriptable")))
      ax::RegisterClassInCategory(CLSID_Folvane, kSafeForScripting);
    if (SUCCEEDED(ax::CreateComponentCategory(kSafeForInitializing, kCategoryLocale,
                                              L"Controls safely initializable from persistent data")))
      ax::RegisterClassInCategory(CLSID_Folvane, kSafeForInitializing);
    return registered;
  }

  static inline std::array<ax::ClassEntry, 2> classes_{ax::Creatable<CFolvaneCtrl>(CLSID_Folvane),
                                                       ax::Creatable<CFolvanePropPage>(kFolvanePropPageClsid)};

 public:
  // What the framework's exports serve.
  static inline const ax::ModuleDefinition kDefinition{classes_, &RegisterServer, &UnregisterServer};
};

CFolvaneApp theApp;

}  // namespace folvane

const ax::ModuleDefinition& ax::ThisModule() noexcept { return folvane::CFolvaneModule::kDefinition; }
