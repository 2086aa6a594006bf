// The control object inside the test program, over a scripted TWAIN manager
// and a scripted user interface: the order of its construction and
// destruction, a page releasing it from inside its own calls, a failed
// construction, and what its two outputs show the user.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "axframework/com_object.h"
#include "axframework/module.h"
#include "control/control_services.h"
#include "control/folvane_ctrl.h"
#include "dialogs/dialog_answerer.h"
#include "output/pdf_messages.h"
#include "output/png_messages.h"
#include "scanctl/fake_manager.h"
#include "scanctl/win_test_support.h"
#include "session/message_hook.h"
#include "session/scan_messages.h"
#include "support/client_site.h"

// Allocation failure on demand: while g_allocationsLeft is not negative,
// each allocation uses one up and the one after the last fails.
namespace {
int g_allocationsLeft = -1;
}
void* operator new(std::size_t size) {
  if (g_allocationsLeft == 0) throw std::bad_alloc();
  if (g_allocationsLeft > 0) --g_allocationsLeft;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// malloc and free on both sides (GCC cannot see that the pair matches).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace folvane::test {
namespace {

using bidder::dialogs::DialogAnswerer;

// The user as the test plays it: records what it was shown, answers the
// Save As dialog with `path` (or cancels when it is empty).
class ScriptedUi final : public SessionUi {
 public:
  void ShowMessage(const char* text) override { messages.emplace_back(text); }
  bool AskSavePath(const SaveAsDialog& dialog, HWND owner, std::string& chosen) override {
    dialogs.push_back({dialog.title, std::string(dialog.filter), dialog.defaultExtension, owner});
    if (path.empty()) return false;
    chosen = path;
    return true;
  }
  struct Shown {
    std::string title, filter, extension;
    HWND owner;
  };
  std::string path;
  std::vector<std::string> messages;
  std::vector<Shown> dialogs;
};

constexpr UINT kProbe = WM_APP + 23;

class FolvaneControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(OleInitialize(nullptr));
    saved_ = NewControlServices();
    NewControlServices() = {&fake, &ui};
    // A control without a site opens the manager with the active window.
    ShowWindow(host.get(), SW_SHOW);
    SetActiveWindow(host.get());
  }
  void TearDown() override {
    NewControlServices() = saved_;
    OleUninitialize();
  }
  IDispatch* NewControl() {
    IDispatch* d = nullptr;
    EXPECT_EQ(ax::ComObject<CFolvaneCtrl>::Create(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    return d;
  }
  static HRESULT Call(IDispatch* d, DISPID id, std::vector<VARIANT> args = {}) {
    DISPPARAMS p{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    const HRESULT hr = d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr);
    for (VARIANT& v : args) VariantClear(&v);
    return hr;
  }
  static VARIANT Text(const std::wstring& s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return v;
  }
  // ScanNewDocument, then the source's XFERREADY on the next message: the
  // scripted source hands over `pages` pages from inside the hook.
  void Scan(IDispatch* d, TW_UINT16 pages) {
    ASSERT_EQ(Call(d, 4), S_OK);
    fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
    for (TW_UINT16 left = static_cast<TW_UINT16>(pages - 1); left > 0; --left)
      fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(left));
    PumpThrough();
  }
  void PumpThrough() {
    const int before = host.Received(kProbe);
    PostMessageA(host.get(), kProbe, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return host.Received(kProbe) > before; }, 5000));
  }

  PrivateTempDirectory temp;
  HostWindow host;
  FakeManager fake;
  ScriptedUi ui;
  ControlServices saved_{};
};

TEST_F(FolvaneControlTest, ConstructionOpensTheManagerAndDestructionRemovesHookAndPages) {
  IDispatch* d = NewControl();
  ASSERT_NE(d, nullptr);
  const std::vector<std::string> calls = fake.Take();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "load");
  EXPECT_EQ(calls[1], "DSM OPENDSM");
  Scan(d, 2);
  EXPECT_TRUE(temp.Exists("0.tif"));
  EXPECT_TRUE(temp.Exists("1.tif"));
  fake.Take();
  d->Release();
  EXPECT_FALSE(temp.Exists("0.tif")) << "the document's page files go with the control";
  EXPECT_FALSE(temp.Exists("1.tif"));
  const std::vector<std::string> after = fake.Take();
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.back(), "unload") << "the manager's library is the last to go";
  EXPECT_EQ(ax::Module::CanUnloadNow(), S_OK);
  PumpThrough();
  EXPECT_TRUE(fake.Take().empty()) << "no message reaches the manager after the control";
}

// Made while no window was active, the control opens the manager when it is
// first asked to scan.
TEST_F(FolvaneControlTest, AManagerNotOpenedAtCreationIsOpenedForTheFirstScan) {
  SetActiveWindow(nullptr);
  ASSERT_EQ(GetActiveWindow(), nullptr);
  IDispatch* d = NewControl();
  EXPECT_TRUE(fake.Take().empty());
  SetActiveWindow(host.get());
  Scan(d, 1);
  const std::vector<std::string> calls = fake.Take();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], "load");
  EXPECT_EQ(fake.openParent, host.get());
  EXPECT_TRUE(temp.Exists("0.tif"));
  d->Release();
}

// The page closes while the scanner's own loop runs inside the hook: the
// last reference goes from inside the source's event processing. The
// transfer that follows still finds its session; the control goes when the
// hook call returns.
TEST_F(FolvaneControlTest, ReleasedFromInsideItsOwnHookCallGoesWhenTheCallReturns) {
  IDispatch* d = NewControl();
  ASSERT_EQ(Call(d, 4), S_OK);
  bool heldDuringCall = false;
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, [&](TW_MEMREF data) {
    d->Release();  // the page's last reference
    heldDuringCall = ax::Module::CanUnloadNow() == S_FALSE;
    auto* event = static_cast<pTW_EVENT>(data);
    event->TWMessage = MSG_XFERREADY;
    return static_cast<TW_UINT16>(TWRC_DSEVENT);
  });
  fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
  PumpThrough();
  EXPECT_TRUE(heldDuringCall) << "neither the control nor the module may go under the call";
  const std::vector<std::string> calls = fake.Take();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "DS NATIVEXFER"), 2) << "the transfers ran after the release";
  EXPECT_EQ(calls.back(), "unload");
  EXPECT_EQ(ax::Module::CanUnloadNow(), S_OK);
  EXPECT_FALSE(temp.Exists("0.tif"));
  EXPECT_FALSE(temp.Exists("1.tif"));
}

// A script run from inside the selection dialog's loop releases the control.
TEST_F(FolvaneControlTest, ReleasedFromInsideADispatchCallGoesWhenTheCallReturns) {
  IDispatch* d = NewControl();
  bool heldDuringCall = false;
  fake.Answer(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, [&](TW_MEMREF) {
    d->Release();
    heldDuringCall = ax::Module::CanUnloadNow() == S_FALSE;
    return static_cast<TW_UINT16>(TWRC_SUCCESS);
  });
  EXPECT_EQ(Call(d, 3), S_OK);
  EXPECT_TRUE(heldDuringCall);
  EXPECT_EQ(fake.Take().back(), "unload");
  EXPECT_EQ(ax::Module::CanUnloadNow(), S_OK);
}

TEST_F(FolvaneControlTest, FailedConstructionIsOutOfMemoryAndLeavesNothing) {
  for (int allowed : {0, 1, 2, 3}) {
    SCOPED_TRACE(allowed);
    void* out = reinterpret_cast<void*>(1);
    g_allocationsLeft = allowed;
    const HRESULT hr = ax::ComObject<CFolvaneCtrl>::Create(nullptr, IID_IDispatch, &out);
    g_allocationsLeft = -1;
    if (hr == S_OK) {  // enough memory after all: a whole control
      static_cast<IDispatch*>(out)->Release();
      continue;
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ax::Module::CanUnloadNow(), S_OK);
  }
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(FolvaneControlTest, OutputsAskForPagesFirstAndKeepThemWhenTheDialogIsCancelled) {
  IDispatch* d = NewControl();
  std::vector<VARIANT> strings;
  for (int i = 0; i < 4; ++i) strings.push_back(Text(L"x"));
  ASSERT_EQ(Call(d, 1, strings), S_OK);
  ASSERT_EQ(Call(d, 5), S_OK);
  EXPECT_EQ(ui.messages, (std::vector<std::string>{msg::kScanFirst, msg::kScanFirst}));
  EXPECT_TRUE(ui.dialogs.empty()) << "no dialog without pages";

  Scan(d, 2);
  ui.messages.clear();
  ui.path.clear();  // the user cancels
  strings.clear();
  for (int i = 0; i < 4; ++i) strings.push_back(Text(L"x"));
  ASSERT_EQ(Call(d, 1, strings), S_OK);
  ASSERT_EQ(Call(d, 5), S_OK);
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[0].title, "Save As PDF");
  EXPECT_EQ(ui.dialogs[0].filter, std::string("Portable Document Format (*.pdf)\0*.pdf\0", 39));
  EXPECT_EQ(ui.dialogs[0].extension, "pdf");
  EXPECT_EQ(ui.dialogs[1].title, "Save As PNG");
  EXPECT_EQ(ui.dialogs[1].filter, std::string("PNG Format (*.png)\0*.png\0", 25));
  EXPECT_EQ(ui.dialogs[1].extension, "png");
  EXPECT_EQ(ui.dialogs[0].owner, nullptr) << "a control without a site knows no host window";
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(temp.Exists("0.tif"));
  EXPECT_TRUE(temp.Exists("1.tif"));

  // ReStart empties the document.
  ASSERT_EQ(Call(d, 6), S_OK);
  EXPECT_FALSE(temp.Exists("0.tif"));
  d->Release();
}

// The four strings reach the PDF as the script gave them, characters no
// ANSI code page holds included; afterwards the pages are gone.
TEST_F(FolvaneControlTest, PdfCarriesTheCallersUnicodeText) {
  IDispatch* d = NewControl();
  Scan(d, 2);
  ui.path = temp.Prefix() + "out.pdf";
  const std::wstring title = L"\u62db\u6807\u4db5\U00020000\U0002A6D6";  // 招标, U+4DB5, two of CJK Extension B
  std::vector<VARIANT> args = {Text(L"subject"), Text(title), Text(L"\u00e9\u20ac"), Text(L"")};  // last first
  ASSERT_EQ(Call(d, 1, args), S_OK);
  EXPECT_TRUE(ui.messages.empty());
  const std::string pdf = FileBytes(ui.path);
  EXPECT_NE(pdf.find("/Creator <FEFF>"), std::string::npos);
  EXPECT_NE(pdf.find("/Author <FEFF00E920AC>"), std::string::npos);
  EXPECT_NE(pdf.find("/Title <FEFF62DB68074DB5D840DC00D869DED6>"), std::string::npos) << pdf.substr(0, 400);
  EXPECT_NE(pdf.find("/Subject <FEFF007300750062006A006500630074>"), std::string::npos);
  EXPECT_FALSE(temp.Exists("0.tif"));
  d->Release();
}

TEST_F(FolvaneControlTest, EveryFailureTheCoreReportsIsShown) {
  IDispatch* d = NewControl();
  Scan(d, 2);
  ui.path = temp.Prefix() + "no such directory\\out.pdf";
  std::ostringstream console;
  std::streambuf* saved = std::cout.rdbuf(console.rdbuf());
  std::vector<VARIANT> args;
  for (int i = 0; i < 4; ++i) args.push_back(Text(L"x"));
  ASSERT_EQ(Call(d, 1, args), S_OK);
  std::cout.rdbuf(saved);
  EXPECT_EQ(ui.messages, std::vector<std::string>{msg::kPdfCannotCreate});
  EXPECT_EQ(console.str(), msg::kPdfCannotCreateConsole);
  EXPECT_TRUE(temp.Exists("0.tif")) << "the pages stay for another attempt";

  ui.messages.clear();
  ui.path = temp.Prefix() + "no such directory\\out.png";
  ASSERT_EQ(Call(d, 5), S_OK);
  EXPECT_EQ(ui.messages, std::vector<std::string>{msg::kPngSaveFailed});
  EXPECT_TRUE(temp.Exists("1.tif"));

  // A page file gone missing: the PNG export reports it and writes the other.
  ui.messages.clear();
  ASSERT_TRUE(DeleteFileA((temp.Prefix() + "0.tif").c_str()));
  ui.path = temp.Prefix() + "pages.png";
  ASSERT_EQ(Call(d, 5), S_OK);
  EXPECT_EQ(ui.messages, std::vector<std::string>{msg::kPngPageUnreadable});
  EXPECT_TRUE(temp.Exists("pages_1.PNG"));
  EXPECT_FALSE(temp.Exists("1.tif"));
  d->Release();
}

// A client site whose in-place side knows a window: a child of the test's
// host window, as a page's view is a child of the browser's frame.
class WindowSite final : public bidder::test::PlainClientSite, public IOleInPlaceSite {
 public:
  explicit WindowSite(HWND window) : window_(window) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow)) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  // IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = window_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return E_NOTIMPL; }
  STDMETHODIMP OnUIActivate() override { return E_NOTIMPL; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame**, IOleInPlaceUIWindow**, LPRECT, LPRECT,
                                LPOLEINPLACEFRAMEINFO) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnInPlaceDeactivate() override { return E_NOTIMPL; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }
  ULONG refs = 1;

 private:
  HWND window_;
};

TEST_F(FolvaneControlTest, TheSaveAsDialogBelongsToTheContainersMainWindow) {
  HWND view = CreateWindowExA(0, "STATIC", "view", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, host.get(), nullptr, nullptr,
                              nullptr);
  ASSERT_NE(view, nullptr);
  WindowSite site(view);
  IDispatch* d = NewControl();
  IOleObject* ole = nullptr;
  ASSERT_EQ(d->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)), S_OK);
  ASSERT_EQ(ole->SetClientSite(&site), S_OK);
  Scan(d, 1);
  ASSERT_EQ(Call(d, 5), S_OK);
  ASSERT_EQ(Call(d, 1, {Text(L""), Text(L""), Text(L""), Text(L"")}), S_OK);
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[0].owner, host.get());
  EXPECT_EQ(ui.dialogs[1].owner, host.get());
  ole->SetClientSite(nullptr);
  ole->Release();
  d->Release();
  EXPECT_EQ(site.refs, 1u);
  DestroyWindow(view);
}

// The system's own Save As dialog, answered by the test: its title shows
// and cancelling it keeps the document.
TEST_F(FolvaneControlTest, TheSystemDialogIsShownAndItsCancelKeepsThePages) {
  NewControlServices() = {&fake, &SystemSessionUi()};
  IDispatch* d = NewControl();
  Scan(d, 1);
  {
    DialogAnswerer dialogs(IDCANCEL);
    std::vector<VARIANT> args;
    for (int i = 0; i < 4; ++i) args.push_back(Text(L"x"));
    ASSERT_EQ(Call(d, 1, args), S_OK);
    ASSERT_EQ(Call(d, 5), S_OK);
    EXPECT_EQ(dialogs.Answered(), 2);
    EXPECT_EQ(dialogs.Captions(), (std::vector<std::string>{"Save As PDF", "Save As PNG"}));
    EXPECT_FALSE(dialogs.WatchdogFired());
  }
  EXPECT_TRUE(temp.Exists("0.tif"));
  {
    DialogAnswerer dialogs;
    ASSERT_EQ(Call(d, 6), S_OK);
    std::vector<VARIANT> args;
    for (int i = 0; i < 4; ++i) args.push_back(Text(L"x"));
    ASSERT_EQ(Call(d, 1, args), S_OK);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{msg::kScanFirst});
    EXPECT_EQ(dialogs.Captions().size(), 1u);
  }
  d->Release();
}

}  // namespace
}  // namespace folvane::test
