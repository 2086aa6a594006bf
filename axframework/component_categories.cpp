#include "component_categories.h"

#include <comcat.h>

#include <cwchar>

#include "com_ptr.h"

namespace ax {
namespace {

HRESULT CategoryManager(ComPtr<ICatRegister>& out) {
  return CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                          out.PutVoid());
}

}  // namespace

HRESULT CreateComponentCategory(const GUID& category, LCID locale, const wchar_t* description) noexcept {
  ComPtr<ICatRegister> manager;
  HRESULT hr = CategoryManager(manager);
  if (FAILED(hr)) return hr;
  CATEGORYINFO info{};
  info.catid = category;
  info.lcid = locale;
  constexpr std::size_t kMax = 127;
  std::size_t n = description ? std::wcslen(description) : 0;
  if (n > kMax) n = kMax;
  if (n) std::wmemcpy(info.szDescription, description, n);
  info.szDescription[n] = L'\0';
  return manager->RegisterCategories(1, &info);
}

HRESULT RegisterClassInCategory(const CLSID& clsid, const GUID& category) noexcept {
  ComPtr<ICatRegister> manager;
  HRESULT hr = CategoryManager(manager);
  if (FAILED(hr)) return hr;
  CATID id = category;
  return manager->RegisterClassImplCategories(clsid, 1, &id);
}

}  // namespace ax
