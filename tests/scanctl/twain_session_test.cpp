// The scan session against a scripted data source manager: the calls it
// makes, in order, and what it does with each answer.
#include "session/scan_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dialogs/dialog_answerer.h"
#include "fake_manager.h"
#include "session/scan_messages.h"
#include "win_test_support.h"

namespace folvane::test {
namespace {

using bidder::dialogs::DialogAnswerer;

using Calls = std::vector<std::string>;

class ScanSessionTest : public ::testing::Test {
 protected:
  MSG AnyMessage() const {
    MSG msg{};
    msg.hwnd = host.get();
    msg.message = WM_TIMER;
    return msg;
  }
  // Opens the manager and forgets its calls.
  void OpenManager(CScanSession& session) {
    ASSERT_TRUE(session.OpenWithHostWindow(host.get()));
    fake.Take();
  }
  // Opens the manager, starts a scan and forgets the calls up to here.
  void StartScan(CScanSession& session) {
    OpenManager(session);
    session.StartScan();
    ASSERT_TRUE(session.IsSourceEnabled());
    fake.Take();
  }

  PrivateTempDirectory temp;
  HostWindow host;
  FakeManager fake;
  DialogAnswerer dialogs;
};

TEST_F(ScanSessionTest, WholeScanAsSeenFromTheManager) {
  {
    CScanSession session(fake);
    EXPECT_EQ(session.WorkPrefix(), temp.Prefix());
    EXPECT_TRUE(fake.Calls().empty()) << "nothing is loaded before the host window is known";

    ASSERT_TRUE(session.OpenWithHostWindow(host.get()));
    EXPECT_TRUE(session.UserSelectSource());
    session.StartScan();
    EXPECT_EQ(fake.Take(), (Calls{"load", "DSM OPENDSM", "DSM GETDEFAULT", "DSM USERSELECT", "DSM OPENDS",
                                  "DS CAP SET 1 INT16 0000ffff", "DS ENABLEDS show"}));
    EXPECT_EQ(fake.openParent, host.get());
    EXPECT_EQ(fake.enableParent, host.get());
    EXPECT_EQ(session.SourceIdentity().ProductName, std::string("Chosen Source"));

    // The one-value container: GHND (moveable, zeroed), 6 bytes, -1 as
    // 0x0000FFFF with the signed item type.
    EXPECT_EQ(fake.lastSetContainer, (std::vector<std::uint8_t>{TWTY_INT16, 0, 0xFF, 0xFF, 0, 0}));

    // From the message loop: the source's "images ready", with two images.
    fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
    fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
    fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(0));
    MSG ready = AnyMessage();
    EXPECT_TRUE(session.HookMessage(&ready));
    EXPECT_EQ(fake.Take(), (Calls{"DS PROCESSEVENT", "DS IMAGEINFO", "DS NATIVEXFER", "DS STATUS", "DS ENDXFER",
                                  "DS IMAGEINFO", "DS NATIVEXFER", "DS STATUS", "DS ENDXFER"}));
    EXPECT_EQ(session.PageCount(), 2u);
    EXPECT_TRUE(temp.Exists("0.tif"));
    EXPECT_TRUE(temp.Exists("1.tif"));

    MSG plain = AnyMessage();
    EXPECT_FALSE(session.HookMessage(&plain));
    EXPECT_EQ(fake.Take(), (Calls{"DS PROCESSEVENT"})) << "no status request for an event not claimed";

    // The user closes the source's interface.
    fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_CLOSEDSREQ));
    EXPECT_TRUE(session.HookMessage(&plain));
    EXPECT_EQ(fake.Take(), (Calls{"DS PROCESSEVENT", "DS DISABLEDS", "DSM CLOSEDS"}));
    EXPECT_FALSE(session.IsSourceEnabled());
    EXPECT_FALSE(session.IsSourceOpen());
    EXPECT_TRUE(session.IsManagerOpen());

    // While no source is enabled the manager hears nothing of the messages.
    EXPECT_FALSE(session.HookMessage(&plain));
    EXPECT_TRUE(fake.Calls().empty());
  }
  EXPECT_EQ(fake.Take(), (Calls{"DSM CLOSEDSM", "unload"}));
  EXPECT_FALSE(temp.Exists("0.tif")) << "destroying the session deletes its pages";
  EXPECT_FALSE(temp.Exists("1.tif"));
  EXPECT_EQ(dialogs.Answered(), 0);
}

TEST_F(ScanSessionTest, IdentitiesAndAddressesTheManagerSees) {
  CScanSession session(fake);
  StartScan(session);
  const TW_IDENTITY& app = fake.appIdentityAtOpen;
  EXPECT_EQ(app.Id, 0u);
  EXPECT_EQ(app.Version.MajorNum, 1);
  EXPECT_EQ(app.Version.MinorNum, 0);
  EXPECT_EQ(app.Version.Language, TWLG_USA);
  EXPECT_EQ(app.Version.Country, TWCY_USA);
  EXPECT_STREQ(app.Version.Info, "1.0");
  EXPECT_EQ(app.ProtocolMajor, 1);
  EXPECT_EQ(app.ProtocolMinor, 8);
  EXPECT_EQ(app.SupportedGroups, 3u);
  EXPECT_STREQ(app.Manufacturer, "Brenn");
  EXPECT_STREQ(app.ProductFamily, "Generic");
  EXPECT_STREQ(app.ProductName, "Quendle");
  // Unused bytes of the text fields are zero.
  EXPECT_EQ(app.ProductName[sizeof(app.ProductName) - 1], 0);
  EXPECT_EQ(app.Version.Info[4], 0);

  // Every call comes from the session's identity; calls to the source are
  // addressed with the identity the manager filled at MSG_OPENDS.
  for (const auto& call : fake.Addresses()) {
    EXPECT_EQ(call.origin, &session.AppIdentity());
    EXPECT_TRUE(call.destination == nullptr || call.destination == &session.SourceIdentity());
  }
}

TEST_F(ScanSessionTest, DestroyingWhileEnabledDisablesClosesAndUnloads) {
  {
    CScanSession session(fake);
    StartScan(session);
    fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
    MSG msg = AnyMessage();
    session.HookMessage(&msg);
    EXPECT_EQ(session.PageCount(), 1u);
    fake.Take();
  }
  EXPECT_EQ(fake.Take(), (Calls{"DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM", "unload"}));
  EXPECT_FALSE(temp.Exists("0.tif"));
}

TEST_F(ScanSessionTest, DefaultSourceIsLookedUpOnlyWhileNoneIsChosen) {
  CScanSession session(fake);
  OpenManager(session);
  EXPECT_TRUE(session.UserSelectSource());
  EXPECT_TRUE(session.UserSelectSource());
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DSM GETDEFAULT", "DSM USERSELECT", "DSM USERSELECT", "DSM OPENDS",
                                "DS CAP SET 1 INT16 0000ffff", "DS ENABLEDS show"}));
}

TEST_F(ScanSessionTest, NoDefaultSourceAndCancelledSelection) {
  CScanSession session(fake);
  OpenManager(session);
  fake.AnswerAlways(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, Returns(TWRC_FAILURE));
  fake.Answer(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, Returns(TWRC_CANCEL));
  EXPECT_FALSE(session.UserSelectSource());
  EXPECT_EQ(fake.Take(), (Calls{"DSM GETDEFAULT", "DSM STATUS", "DSM USERSELECT", "DSM STATUS"}));

  // Still nothing chosen: the scan looks for the default again, and asks to
  // open even without one, so that the manager names the failure.
  fake.Answer(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, Returns(TWRC_FAILURE));
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DSM GETDEFAULT", "DSM STATUS", "DSM OPENDS", "DSM STATUS"}));
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{msg::kInstallScanner}));
}

TEST_F(ScanSessionTest, CancelledSelectionKeepsAnEarlierChoice) {
  CScanSession session(fake);
  OpenManager(session);
  EXPECT_TRUE(session.UserSelectSource());
  fake.Answer(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, Returns(TWRC_CANCEL));
  EXPECT_TRUE(session.UserSelectSource());
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DSM GETDEFAULT", "DSM USERSELECT", "DSM USERSELECT", "DSM STATUS", "DSM OPENDS",
                                "DS CAP SET 1 INT16 0000ffff", "DS ENABLEDS show"}));
}

TEST_F(ScanSessionTest, TransferCountRefusedWithCheckStatusIsReadBackAndConfirmed) {
  CScanSession session(fake);
  OpenManager(session);
  fake.Answer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, Returns(TWRC_CHECKSTATUS));
  fake.Answer(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CapabilityValue(TWTY_INT16, 3));
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DSM GETDEFAULT", "DSM OPENDS", "DS CAP SET 1 INT16 0000ffff", "DS STATUS",
                                "DS CAP GET 1 con=ffff", "DS CAP SET 1 UINT16 00000003", "DS ENABLEDS show"}));
  EXPECT_TRUE(session.IsSourceEnabled());
  EXPECT_EQ(dialogs.Answered(), 0);
}

TEST_F(ScanSessionTest, TransferCountRefusedOtherwiseShowsTheMessageAndKeepsTheSourceOpen) {
  CScanSession session(fake);
  OpenManager(session);
  fake.Answer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, Returns(TWRC_FAILURE));
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DSM GETDEFAULT", "DSM OPENDS", "DS CAP SET 1 INT16 0000ffff", "DS STATUS"}));
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{msg::kInstallScanner}));
  EXPECT_TRUE(session.IsSourceOpen());

  // The next attempt uses the source that is still open.
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DS CAP SET 1 INT16 0000ffff", "DS ENABLEDS show"}));
  EXPECT_EQ(dialogs.Answered(), 1);
}

TEST_F(ScanSessionTest, ReadingBackTheTransferCountCanFailToo) {
  CScanSession session(fake);
  OpenManager(session);
  fake.Answer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, Returns(TWRC_CHECKSTATUS));
  fake.Answer(DG_CONTROL, DAT_CAPABILITY, MSG_GET, Returns(TWRC_FAILURE));
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DSM GETDEFAULT", "DSM OPENDS", "DS CAP SET 1 INT16 0000ffff", "DS STATUS",
                                "DS CAP GET 1 con=ffff", "DS STATUS"}));
  EXPECT_EQ(dialogs.Answered(), 1);
}

TEST_F(ScanSessionTest, SecondScanWhileEnabledIsRefusedButPagesKeepArriving) {
  CScanSession session(fake);
  StartScan(session);
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DS CAP SET 1 INT16 0000ffff"})) << "enabling twice is refused without a call";
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{msg::kInstallScanner}));
  EXPECT_TRUE(dialogs.Captions().at(0).size() > 0) << "the system's default title";
  EXPECT_TRUE(session.IsSourceEnabled());

  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
  MSG msg = AnyMessage();
  EXPECT_TRUE(session.HookMessage(&msg));
  EXPECT_EQ(session.PageCount(), 1u);
}

TEST_F(ScanSessionTest, CloseRequestBeforeScanningClosesTheSourceWithoutPages) {
  CScanSession session(fake);
  StartScan(session);
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_CLOSEDSREQ));
  MSG msg = AnyMessage();
  EXPECT_TRUE(session.HookMessage(&msg));
  EXPECT_EQ(fake.Take(), (Calls{"DS PROCESSEVENT", "DS DISABLEDS", "DSM CLOSEDS"}));
  EXPECT_EQ(session.PageCount(), 0u);
  EXPECT_EQ(dialogs.Answered(), 0);

  // The next scan opens the source again; numbering goes on from the count.
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DSM OPENDS", "DS CAP SET 1 INT16 0000ffff", "DS ENABLEDS show"}));
}

// The source's flags follow what the manager confirmed: a source that will
// not be disabled or closed is still there, is still fed, and the next close
// (here the destructor's) tries again.
TEST_F(ScanSessionTest, SourceRefusingToBeDisabledOrClosedIsClosedLater) {
  struct Case {
    const char* name;
    TW_UINT16 disable, close;
    bool enabled, open;
    Calls closeCalls, nextScan;
  };
  // A manager refuses MSG_CLOSEDS while the source is still enabled.
  for (const Case& c : {Case{"disable_refused", TWRC_FAILURE, TWRC_FAILURE, true, true,
                             {"DS DISABLEDS", "DS STATUS", "DSM CLOSEDS", "DSM STATUS"},
                             {"DS CAP SET 1 INT16 0000ffff"}},
                        Case{"close_refused", TWRC_SUCCESS, TWRC_FAILURE, false, true,
                             {"DS DISABLEDS", "DSM CLOSEDS", "DSM STATUS"},
                             {"DS CAP SET 1 INT16 0000ffff", "DS ENABLEDS show"}},
                        Case{"closed_although_not_disabled", TWRC_FAILURE, TWRC_SUCCESS, false, false,
                             {"DS DISABLEDS", "DS STATUS", "DSM CLOSEDS"},
                             {"DSM OPENDS", "DS CAP SET 1 INT16 0000ffff", "DS ENABLEDS show"}}}) {
    SCOPED_TRACE(c.name);
    dialogs.Clear();
    {
      CScanSession session(fake);
      StartScan(session);
      fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_CLOSEDSREQ));
      fake.Answer(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, Returns(c.disable));
      fake.Answer(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, Returns(c.close));
      MSG msg = AnyMessage();
      session.HookMessage(&msg);
      Calls expected{"DS PROCESSEVENT"};
      expected.insert(expected.end(), c.closeCalls.begin(), c.closeCalls.end());
      EXPECT_EQ(fake.Take(), expected);
      EXPECT_EQ(session.IsSourceEnabled(), c.enabled);
      EXPECT_EQ(session.IsSourceOpen(), c.open);

      MSG later = AnyMessage();
      session.HookMessage(&later);
      EXPECT_EQ(fake.Take(), c.enabled ? Calls{"DS PROCESSEVENT"} : Calls{}) << "an enabled source is still fed";

      // The next scan uses the source as it really is: one still enabled
      // refuses a second enabling, as while its interface is open.
      session.StartScan();
      EXPECT_EQ(fake.Take(), c.nextScan);
      EXPECT_EQ(dialogs.Answered(), c.enabled ? 1 : 0);
    }
    EXPECT_EQ(fake.Take(), (Calls{"DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM", "unload"}));
  }
}

// A reply that names the source identity sent with it.
FakeManager::Reply NameSource(const char* name) {
  return [name](TW_MEMREF data) {
    std::strcpy(static_cast<pTW_IDENTITY>(data)->ProductName, name);
    return static_cast<TW_UINT16>(TWRC_SUCCESS);
  };
}
// A reply that records the name of the source identity sent with it.
FakeManager::Reply RecordSource(std::string& name) {
  return [&name](TW_MEMREF data) {
    name = static_cast<pTW_IDENTITY>(data)->ProductName;
    return static_cast<TW_UINT16>(TWRC_SUCCESS);
  };
}

TEST_F(ScanSessionTest, SelectingWhileASourceIsOpenChoosesTheNextSource) {
  CScanSession session(fake);
  StartScan(session);
  fake.Answer(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, NameSource("Other Source"));
  EXPECT_TRUE(session.UserSelectSource());
  EXPECT_EQ(fake.Take(), (Calls{"DSM USERSELECT"}));
  EXPECT_STREQ(session.SourceIdentity().ProductName, "Default Source") << "still addressing the open source";

  // The open source is still fed, and its close request closes it.
  std::string closed;
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_CLOSEDSREQ));
  fake.Answer(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, RecordSource(closed));
  MSG msg = AnyMessage();
  session.HookMessage(&msg);
  session.HookMessage(&msg);
  EXPECT_EQ(session.PageCount(), 1u);
  EXPECT_EQ(closed, "Default Source");
  EXPECT_FALSE(session.IsSourceOpen());

  // The next scan opens the source chosen meanwhile.
  std::string opened;
  fake.Answer(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, RecordSource(opened));
  fake.Take();
  session.StartScan();
  EXPECT_EQ(fake.Take(), (Calls{"DSM OPENDS", "DS CAP SET 1 INT16 0000ffff", "DS ENABLEDS show"}));
  EXPECT_EQ(opened, "Other Source");
  EXPECT_STREQ(session.SourceIdentity().ProductName, "Other Source");
}

// One run of the transfer loop, scripted per call.
struct TransferCase {
  const char* name;
  std::vector<TW_UINT16> infoResults;    // DAT_IMAGEINFO, in order (then success)
  std::vector<TW_UINT16> nativeResults;  // DAT_IMAGENATIVEXFER, in order (then XFERDONE)
  std::vector<TW_UINT16> pendingCounts;  // MSG_ENDXFER answers, in order (then 0)
  std::uint32_t pages;
  Calls calls;
};

class TransferLoopTest : public ScanSessionTest, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(TransferLoopTest, RunsUntilNothingIsPending) {
  const TransferCase& c = GetParam();
  CScanSession session(fake);
  StartScan(session);
  for (TW_UINT16 rc : c.infoResults) fake.Answer(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, Returns(rc));
  // XFERDONE stands for the ordinary answer: an image delivered.
  for (TW_UINT16 rc : c.nativeResults) {
    fake.Answer(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, rc == TWRC_XFERDONE ? FakeManager::Reply{} : Returns(rc));
  }
  for (TW_UINT16 count : c.pendingCounts) fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(count));
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
  MSG msg = AnyMessage();
  EXPECT_TRUE(session.HookMessage(&msg));
  EXPECT_EQ(fake.Take(), c.calls);
  EXPECT_EQ(session.PageCount(), c.pages);
  EXPECT_TRUE(session.IsSourceEnabled()) << "the source stays enabled for the next scan in its interface";
}

Calls Image() { return {"DS IMAGEINFO", "DS NATIVEXFER", "DS STATUS", "DS ENDXFER"}; }
Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
const Calls kEvent{"DS PROCESSEVENT"};

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferLoopTest,
    ::testing::Values(
        TransferCase{"one_image", {}, {}, {}, 1, Join({kEvent, Image()})},
        TransferCase{"unknown_count_until_the_last", {}, {}, {0xFFFF, 0xFFFF, 0}, 3,
                     Join({kEvent, Image(), Image(), Image()})},
        // A cancelled transfer writes no page and the loop goes on.
        TransferCase{"cancel", {}, {TWRC_XFERDONE, TWRC_CANCEL, TWRC_XFERDONE}, {2, 1, 0}, 2,
                     Join({kEvent, Image(), Image(), Image()})},
        // A failed transfer resets what is pending and ends the loop.
        TransferCase{"failure", {}, {TWRC_XFERDONE, TWRC_FAILURE}, {2}, 1,
                     Join({kEvent, Image(), {"DS IMAGEINFO", "DS NATIVEXFER", "DS STATUS", "DS RESET"}})},
        // Image information that cannot be obtained ends the loop the same
        // way, instead of asking again for ever.
        TransferCase{"image_info_fails", {TWRC_SUCCESS, TWRC_FAILURE}, {}, {1}, 1,
                     Join({kEvent, Image(), {"DS IMAGEINFO", "DS STATUS", "DS RESET"}})}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ScanSessionTest, FailedEndOfTransferEndsTheLoop) {
  CScanSession session(fake);
  StartScan(session);
  fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Returns(TWRC_FAILURE));
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
  MSG msg = AnyMessage();
  session.HookMessage(&msg);
  EXPECT_EQ(fake.Take(), (Calls{"DS PROCESSEVENT", "DS IMAGEINFO", "DS NATIVEXFER", "DS STATUS", "DS ENDXFER",
                                "DS STATUS"}));
  EXPECT_EQ(session.PageCount(), 1u);
}

// A native transfer answered with this code and this handle.
FakeManager::Reply HandsOver(HGLOBAL handle, TW_UINT16 code) {
  return [handle, code](TW_MEMREF data) {
    *static_cast<TW_HANDLE*>(data) = handle;
    return code;
  };
}
bool IsLiveHandle(HGLOBAL handle) { return GlobalFlags(handle) != GMEM_INVALID_HANDLE; }

// Every handle a source hands over is freed, whatever came with it, and a
// delivered handle always uses up a page number.
TEST_F(ScanSessionTest, DeliveredHandlesAreFreedAndCounted) {
  CScanSession session(fake);
  StartScan(session);
  MSG msg = AnyMessage();

  // A faulty source: a block together with a failure.
  const HGLOBAL withFailure = GlobalAlloc(GHND, 64);
  ASSERT_TRUE(IsLiveHandle(withFailure));
  fake.Answer(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, HandsOver(withFailure, TWRC_FAILURE));
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
  session.HookMessage(&msg);
  EXPECT_FALSE(IsLiveHandle(withFailure));
  EXPECT_EQ(session.PageCount(), 0u);

  // A handle whose bitmap cannot be reached (a discarded block): its number
  // is used, and no file of an earlier document stays under it.
  std::FILE* stale = std::fopen((temp.Prefix() + "0.tif").c_str(), "wb");
  ASSERT_TRUE(stale);
  std::fclose(stale);
  const HGLOBAL unreadable = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_TRUE(unreadable);
  fake.Answer(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, HandsOver(unreadable, TWRC_XFERDONE));
  fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
  fake.Take();
  session.HookMessage(&msg);
  EXPECT_EQ(fake.Take(), Join({kEvent, Image(), Image()}));
  EXPECT_EQ(session.PageCount(), 2u);
  EXPECT_FALSE(temp.Exists("0.tif"));
  EXPECT_TRUE(temp.Exists("1.tif"));
}

TEST_F(ScanSessionTest, PagesOfLaterScansContinueTheNumbering) {
  CScanSession session(fake);
  StartScan(session);
  MSG msg = AnyMessage();
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
  session.HookMessage(&msg);
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_CLOSEDSREQ));
  session.HookMessage(&msg);
  session.StartScan();
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, SourceEvent(MSG_XFERREADY));
  fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
  session.HookMessage(&msg);
  EXPECT_EQ(session.PageCount(), 3u);
  EXPECT_EQ(session.PageFileName(2), temp.Prefix() + "2.tif");
  EXPECT_TRUE(temp.Exists("2.tif"));

  session.DeletePages();
  EXPECT_EQ(session.PageCount(), 0u);
  for (const char* name : {"0.tif", "1.tif", "2.tif"}) EXPECT_FALSE(temp.Exists(name)) << name;
}

// No manager at all: no TWAIN_32.DLL, a library without ordinal 1, or no
// window to give the manager.
TEST_F(ScanSessionTest, WithoutAManagerEveryScanShowsTheInstallMessage) {
  struct Case {
    const char* name;
    bool library, entryPoint, window;
    Calls calls;
  };
  for (const Case& c : {Case{"no_library", false, true, true, {"load"}},
                        Case{"no_entry_point", true, false, true, {"load", "unload"}},
                        Case{"no_window", true, true, false, {}}}) {
    SCOPED_TRACE(c.name);
    fake.hasLibrary = c.library;
    fake.hasEntryPoint = c.entryPoint;
    dialogs.Clear();
    {
      CScanSession session(fake);
      EXPECT_FALSE(session.OpenWithHostWindow(c.window ? host.get() : nullptr));
      EXPECT_FALSE(session.IsManagerLoaded());
      EXPECT_FALSE(session.UserSelectSource());
      session.StartScan();
      session.StartScan();
      MSG msg = AnyMessage();
      EXPECT_FALSE(session.HookMessage(&msg));
      EXPECT_EQ(session.LastResult(), TWRC_FAILURE);
    }
    EXPECT_EQ(fake.Take(), c.calls);
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{msg::kInstallScanner, msg::kInstallScanner}));
  }
}

TEST_F(ScanSessionTest, ManagerThatWillNotOpenStaysLoaded) {
  fake.Answer(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, Returns(TWRC_FAILURE));
  {
    CScanSession session(fake);
    EXPECT_TRUE(session.OpenWithHostWindow(host.get()));
    EXPECT_TRUE(session.IsManagerLoaded());
    EXPECT_FALSE(session.IsManagerOpen());
    EXPECT_TRUE(session.OpenWithHostWindow(host.get())) << "no second attempt while loaded";
    session.StartScan();
    EXPECT_EQ(dialogs.Answered(), 1);
  }
  EXPECT_EQ(fake.Take(), (Calls{"load", "DSM OPENDSM", "DSM STATUS", "unload"}));
}

}  // namespace
}  // namespace folvane::test
