#include "atl_site.h"

#include <cwctype>

#include "report.h"

namespace pagehost {
namespace {

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

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
