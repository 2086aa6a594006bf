#include "property_page.h"

#include <cwchar>
#include <new>
#include <vector>

#include "module.h"

namespace ax {
namespace {

INT_PTR CALLBACK PageDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

HWND CreatePageDialog(UINT dialogId, HWND parent) {
  return CreateDialogParamW(Module::Instance(), MAKEINTRESOURCEW(dialogId), parent, PageDialogProc, 0);
}

// A string resource of the module as task memory, for a caller to free.
LPOLESTR LoadTaskString(UINT id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(Module::Instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return nullptr;
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((static_cast<std::size_t>(length) + 1) * sizeof(wchar_t)));
  if (!copy) return nullptr;
  std::wmemcpy(copy, text, static_cast<std::size_t>(length));
  copy[length] = L'\0';
  return copy;
}

}  // namespace

PropertyPage::~PropertyPage() {
  if (window_) DestroyWindow(window_);
}

STDMETHODIMP PropertyPage::SetPageSite(IPropertyPageSite* site) {
  site_ = ComPtr<IPropertyPageSite>(site);
  return S_OK;
}

STDMETHODIMP PropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (window_) return E_UNEXPECTED;
  window_ = CreatePageDialog(dialogId_, parent);
  if (!window_) return E_OUTOFMEMORY;
  if (rect) MoveWindow(window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

STDMETHODIMP PropertyPage::Deactivate() {
  if (!window_) return E_UNEXPECTED;
  DestroyWindow(window_);
  window_ = nullptr;
  return S_OK;
}

// The dialog's size as the system lays it out (dialog units through the
// template's font): measured on a hidden copy, since a child dialog needs a
// parent.
HRESULT PropertyPage::DialogSize(SIZE& size) const {
  HWND holder = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, Module::Instance(), nullptr);
  if (!holder) return E_OUTOFMEMORY;
  HWND dialog = CreatePageDialog(dialogId_, holder);
  HRESULT hr = E_FAIL;
  RECT r{};
  if (dialog && GetWindowRect(dialog, &r)) {
    size = {r.right - r.left, r.bottom - r.top};
    hr = S_OK;
  }
  if (dialog) DestroyWindow(dialog);
  DestroyWindow(holder);
  return hr;
}

STDMETHODIMP PropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  SIZE size{};
  HRESULT hr = DialogSize(size);
  if (FAILED(hr)) return hr;
  LPOLESTR title = LoadTaskString(captionId_);
  if (!title) return E_OUTOFMEMORY;
  info->cb = sizeof *info;
  info->pszTitle = title;
  info->size = size;
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

STDMETHODIMP PropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count && !objects) return E_POINTER;
  try {
    std::vector<ComPtr<IUnknown>> held;
    for (ULONG i = 0; i < count; ++i) held.emplace_back(objects[i]);
    objects_ = std::move(held);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP PropertyPage::Show(UINT command) {
  if (!window_) return E_UNEXPECTED;
  ShowWindow(window_, static_cast<int>(command));
  return S_OK;
}

STDMETHODIMP PropertyPage::Move(LPCRECT rect) {
  if (!rect) return E_POINTER;
  if (!window_) return E_UNEXPECTED;
  MoveWindow(window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

STDMETHODIMP PropertyPage::TranslateAccelerator(MSG* message) {
  if (!message) return E_POINTER;
  return window_ && IsDialogMessageW(window_, message) ? S_OK : S_FALSE;
}

}  // namespace ax
