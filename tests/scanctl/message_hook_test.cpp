// The thread message hook as the control's thread runs it: installed for the
// thread, fed by the thread's own message loop.
#include "message_hook.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dialog_answerer.h"
#include "fake_manager.h"
#include "scan_session.h"
#include "win_test_support.h"

namespace folvane::test {
namespace {

using Calls = std::vector<std::string>;

constexpr UINT kProbe = WM_APP + 17;

// A hook installed before the session's, so called after it: it sees what the
// session's hook passes on.
int g_spySaw = 0;
HHOOK g_spy = nullptr;
LRESULT CALLBACK Spy(int code, WPARAM wParam, LPARAM lParam) {
  if (code >= 0 && reinterpret_cast<const MSG*>(lParam)->message == kProbe) ++g_spySaw;
  return CallNextHookEx(g_spy, code, wParam, lParam);
}

// The message number the source was offered, taken from the event record.
FakeManager::Reply RecordOffered(std::vector<UINT>& offered, TW_UINT16 rc, TW_UINT16 twainMessage = MSG_NULL) {
  return [&offered, rc, twainMessage](TW_MEMREF data) {
    auto* event = static_cast<pTW_EVENT>(data);
    offered.push_back(static_cast<const MSG*>(event->pEvent)->message);
    event->TWMessage = twainMessage;
    return rc;
  };
}

class MessageHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_spySaw = 0;
    g_spy = SetWindowsHookExA(WH_GETMESSAGE, Spy, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(g_spy);
    ASSERT_TRUE(AttachMessageHook(GetCurrentThreadId()));
  }
  void TearDown() override {
    DetachMessageHook();
    UnhookWindowsHookEx(g_spy);
    EXPECT_EQ(g_hMessageHook, nullptr);
  }
  // Posts the probe to the host window and runs the loop until it has been
  // dispatched.
  void SendProbeThroughTheLoop() {
    const int before = host.Received(kProbe);
    PostMessageA(host.get(), kProbe, 1, 2);
    ASSERT_TRUE(PumpUntil([&] { return host.Received(kProbe) > before; }, 5000));
  }
  std::unique_ptr<CScanSession> EnabledSession() {
    auto session = std::make_unique<CScanSession>(fake);
    EXPECT_TRUE(session->OpenWithHostWindow(host.get()));
    session->StartScan();
    EXPECT_TRUE(session->IsSourceEnabled());
    fake.Take();
    return session;
  }

  PrivateTempDirectory temp;
  HostWindow host;
  FakeManager fake;
  DialogAnswerer dialogs;
};

TEST_F(MessageHookTest, ClaimedMessageStillReachesItsWindow) {
  auto session = EnabledSession();
  PublishHookSession(*session);
  std::vector<UINT> offered;
  fake.AnswerAlways(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, RecordOffered(offered, TWRC_DSEVENT));
  SendProbeThroughTheLoop();
  EXPECT_NE(std::find(offered.begin(), offered.end(), kProbe), offered.end());
  EXPECT_EQ(host.Received(kProbe), 1);
  EXPECT_EQ(g_spySaw, 0) << "a claimed message skips the later hooks";
}

TEST_F(MessageHookTest, UnclaimedMessagePassesOn) {
  auto session = EnabledSession();
  PublishHookSession(*session);
  std::vector<UINT> offered;
  fake.AnswerAlways(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, RecordOffered(offered, TWRC_NOTDSEVENT));
  SendProbeThroughTheLoop();
  EXPECT_NE(std::find(offered.begin(), offered.end(), kProbe), offered.end());
  EXPECT_EQ(g_spySaw, 1);
}

TEST_F(MessageHookTest, PagesArriveFromInsideTheMessageLoop) {
  auto session = EnabledSession();
  PublishHookSession(*session);
  std::vector<UINT> offered;
  fake.Answer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, RecordOffered(offered, TWRC_DSEVENT, MSG_XFERREADY));
  fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
  SendProbeThroughTheLoop();
  EXPECT_EQ(session->PageCount(), 2u);
  EXPECT_TRUE(temp.Exists("1.tif"));
}

TEST_F(MessageHookTest, NegativeCodeIsPassedOnUntouched) {
  auto session = EnabledSession();
  PublishHookSession(*session);
  MSG msg{};
  msg.hwnd = host.get();
  msg.message = kProbe;
  TwainMessageHook(-1, PM_REMOVE, reinterpret_cast<LPARAM>(&msg));
  EXPECT_TRUE(fake.Calls().empty()) << "the source is not offered the message";
  EXPECT_EQ(msg.message, kProbe);
}

TEST_F(MessageHookTest, NothingReachesTheManagerWithoutAnEnabledPublishedSession) {
  // Not published.
  auto session = EnabledSession();
  SendProbeThroughTheLoop();
  EXPECT_TRUE(fake.Calls().empty());
  EXPECT_EQ(g_spySaw, 1);

  // Published, but its source closed.
  PublishHookSession(*session);
  session->CloseSource();
  fake.Take();
  SendProbeThroughTheLoop();
  EXPECT_TRUE(fake.Calls().empty());
  EXPECT_EQ(g_spySaw, 2);
}

TEST_F(MessageHookTest, DestroyedSessionsAreNeverServed) {
  auto first = std::make_unique<CScanSession>(fake);
  auto second = std::make_unique<CScanSession>(fake);
  PublishHookSession(*first);
  PublishHookSession(*second);
  EXPECT_EQ(g_pHookSession, second.get());
  // A second control attaching shares the one hook.
  const HHOOK hook = g_hMessageHook;
  ASSERT_TRUE(AttachMessageHook(GetCurrentThreadId()));
  EXPECT_EQ(g_hMessageHook, hook);

  second.reset();
  DetachMessageHook();
  EXPECT_EQ(g_pHookSession, first.get()) << "the earlier control is served again";
  EXPECT_EQ(g_hMessageHook, hook) << "the hook stays while a control uses it";

  // Withdrawing one that is not served changes nothing; destroying the last
  // leaves no session at all.
  auto third = std::make_unique<CScanSession>(fake);
  WithdrawHookSession(*third);
  EXPECT_EQ(g_pHookSession, first.get());
  first.reset();
  EXPECT_EQ(g_pHookSession, nullptr);
  SendProbeThroughTheLoop();
  EXPECT_EQ(g_spySaw, 1);
}

}  // namespace
}  // namespace folvane::test
