#pragma once
// An OLE property page on a dialog template of the module: the page's window
// is the dialog, created as a child of the frame's window; its caption is a
// string resource. The page binds no property: applying changes nothing and
// the page is never dirty. A page class derives from PropertyPage, passes its
// template and caption, and lists IPropertyPage in its kInterfaces table.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <vector>

#include "com_ptr.h"

namespace ax {

class PropertyPage : public IPropertyPage {
 public:
  PropertyPage(UINT dialogId, UINT captionId) : dialogId_(dialogId), captionId_(captionId) {}
  PropertyPage(const PropertyPage&) = delete;
  PropertyPage& operator=(const PropertyPage&) = delete;
  virtual ~PropertyPage();

  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT command) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  STDMETHODIMP IsPageDirty() override { return S_FALSE; }
  STDMETHODIMP Apply() override { return S_OK; }
  STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG* message) override;

 private:
  HRESULT DialogSize(SIZE& size) const;

  UINT dialogId_;
  UINT captionId_;
  ComPtr<IPropertyPageSite> site_;
  std::vector<ComPtr<IUnknown>> objects_;
  HWND window_ = nullptr;
};

}  // namespace ax
