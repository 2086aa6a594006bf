#pragma once
// The control sited in a container that is not ours: the ActiveX host window
// class of Wine's ATL library. A child window of that class whose window text
// is a ProgID creates the control, gives it a client site and activates it;
// AtlAxGetControl hands out the control. Destroying the window is the page
// letting go of the control: the container closes it and drops its
// references.
#include <windows.h>

#include <memory>
#include <string>

#include "axframework/com_ptr.h"

namespace pagehost {

class AtlSite {
 public:
  // `library` names the ATL library ("atl.dll", "atl100.dll", ...), whose host
  // window class is "AtlAxWin" followed by the library's version digits.
  // Null, with the reason reported, when the control cannot be sited.
  static std::unique_ptr<AtlSite> Create(HWND page, const std::wstring& library, const std::wstring& progId);
  ~AtlSite();
  AtlSite(const AtlSite&) = delete;
  AtlSite& operator=(const AtlSite&) = delete;

  // The control, or null once released.
  IUnknown* Control() const { return control_.Get(); }
  HWND Window() const { return window_; }
  // What a browser asks before it lets the page script or initialise the
  // control: "scripting", "initializing", both ("scripting initializing")
  // or "", from the control's IObjectSafety where it has one, else from the
  // component categories its class is registered in.
  std::wstring MarkedSafe() const;
  // Destroys the host window and drops our reference: what a page that
  // closes does to the control's site.
  void ReleaseControl();

 private:
  AtlSite() = default;

  std::wstring progId_;
  HMODULE library_ = nullptr;
  HWND window_ = nullptr;
  ax::ComPtr<IUnknown> control_;
};

// "AtlAxWin" for atl.dll, "AtlAxWin100" for atl100.dll.
std::wstring AtlHostWindowClass(const std::wstring& library);

}  // namespace pagehost
