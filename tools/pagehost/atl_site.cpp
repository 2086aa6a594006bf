#include "atl_site.h"

#include <comcat.h>
#include <ocidl.h>
#include <objsafe.h>

#include <cwctype>

#include "report.h"

namespace pagehost {
namespace {

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

// The two categories a browser looks for in the registry.
const CATID kSafeForScripting = {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
const CATID kSafeForInitializing = {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

bool InCategory(const CLSID& clsid, const CATID& category) {
  ax::ComPtr<ICatInformation> categories;
  if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatInformation,
                              categories.PutVoid()))) {
    return false;
  }
  CATID wanted[] = {category};
  // No required categories: 0, not the documented (ULONG)-1, which Wine's
  // manager takes for a count and reads past the (null) array.
  return categories->IsClassOfCategories(clsid, 1, wanted, 0, nullptr) == S_OK;
}

// Asks the control's own IObjectSafety for one kind of safety on one interface.
bool SafeBySelf(IObjectSafety* safety, REFIID iid, DWORD option) {
  DWORD supported = 0, enabled = 0;
  if (FAILED(safety->GetInterfaceSafetyOptions(iid, &supported, &enabled)) || !(supported & option)) return false;
  return SUCCEEDED(safety->SetInterfaceSafetyOptions(iid, option, option));
}

template <class F>
F Entry(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

std::wstring AtlHostWindowClass(const std::wstring& library) {
  std::wstring digits;
  const std::size_t slash = library.find_last_of(L"\\/");
  for (wchar_t c : library.substr(slash == std::wstring::npos ? 0 : slash + 1)) {
    if (c == L'.') break;
    if (std::iswdigit(c)) digits += c;
  }
  return L"AtlAxWin" + digits;
}

std::unique_ptr<AtlSite> AtlSite::Create(HWND page, const std::wstring& library, const std::wstring& progId) {
  std::unique_ptr<AtlSite> site(new AtlSite);
  site->progId_ = progId;
  site->library_ = LoadLibraryW(library.c_str());
  if (!site->library_) {
    Report::Failure(L"cannot load " + library);
    return nullptr;
  }
  const auto init = Entry<AtlAxWinInitFn>(site->library_, "AtlAxWinInit");
  const auto getControl = Entry<AtlAxGetControlFn>(site->library_, "AtlAxGetControl");
  // Wine's AtlAxWinInit fails once its class is registered: for the second
  // control of a page the class that is there is what counts.
  const std::wstring windowClass = AtlHostWindowClass(library);
  WNDCLASSEXW registered{};
  registered.cbSize = sizeof(registered);
  if (!init || !getControl || (!init() && !GetClassInfoExW(site->library_, windowClass.c_str(), &registered) &&
                               !GetClassInfoExW(nullptr, windowClass.c_str(), &registered))) {
    Report::Failure(library + L" offers no working AtlAxWinInit and AtlAxGetControl");
    return nullptr;
  }
  RECT client{};
  GetClientRect(page, &client);
  // The initial extent of a control on a page: 100 by 50 pixels.
  site->window_ = CreateWindowExW(0, windowClass.c_str(), progId.c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 10, 10, 100, 50, page, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
  if (!site->window_) {
    Report::Failure(L"the ATL host window for " + progId + L" was not created (error " +
                    std::to_wstring(GetLastError()) + L")");
    return nullptr;
  }
  const HRESULT hr = getControl(site->window_, site->control_.Put());
  if (FAILED(hr) || !site->control_) {
    Report::Failure(L"the ATL host window holds no control " + progId + L": " + Report::Hr(hr));
    return nullptr;
  }
  return site;
}

std::wstring AtlSite::MarkedSafe() const {
  if (!control_) return {};
  bool scripting = false, initializing = false;
  ax::ComPtr<IObjectSafety> safety;
  if (SUCCEEDED(control_.As(safety, IID_IObjectSafety))) {
    scripting = SafeBySelf(safety.Get(), IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER);
    initializing = SafeBySelf(safety.Get(), __uuidof(IPersistPropertyBag), INTERFACESAFE_FOR_UNTRUSTED_DATA);
  } else {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId_.c_str(), &clsid))) return {};
    scripting = InCategory(clsid, kSafeForScripting);
    initializing = InCategory(clsid, kSafeForInitializing);
  }
  std::wstring marks = scripting ? L"scripting" : L"";
  if (initializing) marks += marks.empty() ? L"initializing" : L" initializing";
  return marks;
}

void AtlSite::ReleaseControl() {
  if (window_) DestroyWindow(std::exchange(window_, nullptr));
  control_.Reset();
}

AtlSite::~AtlSite() {
  ReleaseControl();
  // The library's window class goes with it; nothing of it is in use now.
  if (library_) FreeLibrary(library_);
}

}  // namespace pagehost
