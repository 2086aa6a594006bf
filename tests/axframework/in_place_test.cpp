// In-place activation of a framework control, windowless and windowed, inside
// a test container site that records what the control asked of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "axframework/com_object.h"
#include "axframework/com_ptr.h"
#include "axframework/control.h"
#include "support/client_site.h"

namespace {

const CLSID kSiteProbeClsid = {0x6f1c2a3e, 0x5b7d, 0x4e21, {0x9c, 0x0a, 0x1d, 0x2e, 0x3f, 0x40, 0x51, 0x70}};

class SiteProbe : public ax::Control<SiteProbe> {
 public:
  static const ax::InterfaceEntry kInterfaces[3];
  static constexpr DWORD kMiscStatus = OLEMISC_INVISIBLEATRUNTIME;
  SiteProbe() : ax::Control<SiteProbe>(SIZEL{2540, 2540}) {}
  static const CLSID& ClassId() { return kSiteProbeClsid; }
  static ax::TypeLibraryId TypeLibrary() { return {&GUID_NULL, 1, 0}; }
  static const IID* EventInterface() { return nullptr; }
  static std::span<const CLSID> PropertyPages() { return {}; }
  ~SiteProbe() { windowOutlivedTheControl = ControlData().window != nullptr; }
  void OnDraw(HDC, const RECT& bounds) { lastDraw = bounds; }
  static inline RECT lastDraw{};
  static inline bool windowOutlivedTheControl = false;
};

const ax::InterfaceEntry SiteProbe::kInterfaces[3] = {
    ax::Entry<SiteProbe, IOleObject>(IID_IOleObject),
    ax::Entry<SiteProbe, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless),
    ax::Entry<SiteProbe, IViewObject2, IViewObjectEx>(IID_IViewObject2),
};

// A container site that can hold windowless objects (or, with windowless
// false, only windowed ones). Its reference count is not its lifetime: it
// lives on the test's stack.
class Site final : public bidder::test::PlainClientSite, public IOleInPlaceSiteWindowless {
 public:
  explicit Site(bool windowless) : windowless_(windowless) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow)) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (windowless_ && (IsEqualIID(iid, IID_IOleInPlaceSiteEx) || IsEqualIID(iid, IID_IOleInPlaceSiteWindowless))) {
      *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = containerWindow;
    return containerWindow ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return Log("activate"); }
  STDMETHODIMP OnUIActivate() override { return Log("ui-activate"); }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *document = nullptr;
    *position = {10, 20, 110, 70};
    *clip = *position;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return Log("ui-deactivate"); }
  STDMETHODIMP OnInPlaceDeactivate() override { return Log("deactivate"); }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IOleInPlaceSiteEx
  STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
    if (noRedraw) *noRedraw = FALSE;
    return Log(flags == ACTIVATE_WINDOWLESS ? "activate-windowless" : "activate-ex");
  }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return Log("deactivate-ex"); }
  STDMETHODIMP RequestUIActivate() override { return S_OK; }
  // IOleInPlaceSiteWindowless
  STDMETHODIMP CanWindowlessActivate() override { return S_OK; }
  STDMETHODIMP GetCapture() override { return S_FALSE; }
  STDMETHODIMP SetCapture(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetFocus() override { return S_FALSE; }
  STDMETHODIMP SetFocus(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetDC(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
  STDMETHODIMP ReleaseDC(HDC) override { return E_NOTIMPL; }
  STDMETHODIMP InvalidateRect(LPCRECT, BOOL) override { return Log("invalidate"); }
  STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return Log("invalidate"); }
  STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP AdjustRect(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }

  std::vector<std::string> calls;
  ULONG refs = 1;
  HWND containerWindow = nullptr;  // a windowed container's window

 private:
  HRESULT Log(const char* what) {
    calls.emplace_back(what);
    return S_OK;
  }
  bool windowless_;
};

ax::ComPtr<IOleObject> NewProbe() {
  ax::ComPtr<IOleObject> object;
  EXPECT_EQ(ax::ComObject<SiteProbe>::Create(nullptr, IID_IOleObject, object.PutVoid()), S_OK);
  return object;
}

TEST(InPlace, ActivatesWindowlessAndDrawsAtItsPosition) {
  Site site(true);
  {
    ax::ComPtr<IOleObject> object = NewProbe();
    ASSERT_EQ(object->SetClientSite(&site), S_OK);
    ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(site.calls, std::vector<std::string>{"activate-windowless"});

    ax::ComPtr<IOleInPlaceObjectWindowless> inPlace;
    ASSERT_EQ(object.As(inPlace, IID_IOleInPlaceObjectWindowless), S_OK);
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);  // windowless: no window of its own
    EXPECT_EQ(window, nullptr);

    // Without bounds, an active windowless control draws at the position its site gave.
    ax::ComPtr<IViewObject2> view;
    ASSERT_EQ(object.As(view, IID_IViewObject2), S_OK);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(SiteProbe::lastDraw.left, 10);
    EXPECT_EQ(SiteProbe::lastDraw.bottom, 70);
    RECT moved{5, 5, 50, 50};
    ASSERT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(SiteProbe::lastDraw.right, 50);
    DeleteDC(dc);

    SIZEL size{1000, 1000};
    ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &size), S_OK);  // the container redraws it
    ASSERT_EQ(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, nullptr, nullptr), S_OK);
    ASSERT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"activate-windowless", "invalidate", "ui-activate",
                                                    "ui-deactivate", "deactivate-ex"}));
    ASSERT_EQ(object->SetClientSite(nullptr), S_OK);
  }
  EXPECT_EQ(site.refs, 1u);  // every reference to the site was given back
}

TEST(InPlace, AContainerWithoutWindowlessSupportStillHearsOfTheActivation) {
  Site site(false);
  {
    ax::ComPtr<IOleObject> object = NewProbe();
    ASSERT_EQ(object->SetClientSite(&site), S_OK);
    ASSERT_EQ(object->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, nullptr, nullptr), S_OK);
    ax::ComPtr<IOleInPlaceObjectWindowless> inPlace;
    ASSERT_EQ(object.As(inPlace, IID_IOleInPlaceObjectWindowless), S_OK);
    ASSERT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    ASSERT_EQ(inPlace->InPlaceDeactivate(), S_OK);  // once is enough
    EXPECT_EQ(site.calls, (std::vector<std::string>{"activate", "deactivate"}));
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(site.refs, 1u);
}

RECT RectInParent(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST(InPlace, AWindowedContainerGetsAChildWindowThatShowsThePicture) {
  HWND container = CreateWindowExW(0, L"STATIC", L"container", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                                   nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(container, nullptr);
  Site site(false);
  site.containerWindow = container;
  HWND window = nullptr;
  {
    ax::ComPtr<IOleObject> object = NewProbe();
    ASSERT_EQ(object->SetClientSite(&site), S_OK);
    ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, nullptr, nullptr), S_OK);
    ax::ComPtr<IOleInPlaceObjectWindowless> inPlace;
    ASSERT_EQ(object.As(inPlace, IID_IOleInPlaceObjectWindowless), S_OK);
    ASSERT_EQ(inPlace->GetWindow(&window), S_OK);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(GetParent(window), container);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    const LONG_PTR expected = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    EXPECT_EQ(style & expected, expected);
    RECT r = RectInParent(window);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right, 110);
    EXPECT_EQ(r.bottom, 70);

    RECT moved{5, 5, 50, 60};
    ASSERT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    r = RectInParent(window);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.bottom, 60);

    // The window paints the control's picture over its client area.
    SiteProbe::lastDraw = {};
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(SiteProbe::lastDraw.right, 45);
    EXPECT_EQ(SiteProbe::lastDraw.bottom, 55);

    ASSERT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"activate", "deactivate"}));

    // Released while active, without being closed: the window goes with it.
    ax::ComPtr<IOleObject> second = NewProbe();
    ASSERT_EQ(second->SetClientSite(&site), S_OK);
    ASSERT_EQ(second->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, nullptr, nullptr), S_OK);
    ax::ComPtr<IOleInPlaceObjectWindowless> secondInPlace;
    ASSERT_EQ(second.As(secondInPlace, IID_IOleInPlaceObjectWindowless), S_OK);
    ASSERT_EQ(secondInPlace->GetWindow(&window), S_OK);
    secondInPlace.Reset();
    second.Reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(SiteProbe::windowOutlivedTheControl) << "gone before the control class was destroyed";
    object->SetClientSite(nullptr);
  }
  EXPECT_EQ(site.refs, 1u);
  DestroyWindow(container);
}

}  // namespace
