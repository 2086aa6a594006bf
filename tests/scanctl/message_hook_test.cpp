// The thread message hook as the control's thread runs it: installed for the
// thread, fed by the thread's own message loop.
#include "session/message_hook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dialogs/dialog_answerer.h"
#include "fake_manager.h"
#include "session/scan_session.h"
#include "win_test_support.h"

namespace folvane::test {
namespace {

using bidder::dialogs::DialogAnswerer;

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
    DetachMessageHook(GetCurrentThreadId());
    UnhookWindowsHookEx(g_spy);
  }
  // Posts the probe to the host window and runs the loop until it has been
  // dispatched.
  void SendProbeThroughTheLoop() {
    const int before = host.Received(kProbe);
    PostMessageA(host.get(), kProbe, 1, 2);
    ASSERT_TRUE(PumpUntil([&] { return host.Received(kProbe) > before; }, 5000));
  }
  // The sessions that the loop's messages were offered to while the probe
  // went through, by the application identity their calls carry.
  using Identities = std::set<const void*>;
  static const void* Id(const CScanSession& session) { return &session.AppIdentity(); }
  Identities Offered() {
    const std::size_t before = fake.Addresses().size();
    SendProbeThroughTheLoop();
    Identities origins;
    for (std::size_t i = before; i < fake.Addresses().size(); ++i) origins.insert(fake.Addresses()[i].origin);
    fake.Take();
    return origins;
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

TEST_F(MessageHookTest, TheNewestLiveSessionIsServedThroughOneHookPerThread) {
  auto first = EnabledSession();
  auto second = EnabledSession();
  PublishHookSession(*first);
  PublishHookSession(*second);
  EXPECT_EQ(Offered(), Identities{Id(*second)});
  // A second control attaching shares the one hook, which stays while a
  // control uses it.
  ASSERT_TRUE(AttachMessageHook(GetCurrentThreadId()));
  second.reset();
  DetachMessageHook(GetCurrentThreadId());
  EXPECT_EQ(Offered(), Identities{Id(*first)}) << "the earlier control is served again";

  // Withdrawing one that is not served changes nothing; destroying the last
  // leaves no session at all.
  auto third = std::make_unique<CScanSession>(fake);
  WithdrawHookSession(*third);
  EXPECT_EQ(Offered(), Identities{Id(*first)});
  first.reset();
  fake.Take();
  g_spySaw = 0;
  EXPECT_TRUE(Offered().empty());
  EXPECT_EQ(g_spySaw, 1);
}

TEST_F(MessageHookTest, TheLastDetachRemovesTheHook) {
  auto session = EnabledSession();
  PublishHookSession(*session);
  DetachMessageHook(GetCurrentThreadId());
  EXPECT_TRUE(Offered().empty()) << "a published, enabled session but no hook to offer it messages";
  ASSERT_TRUE(AttachMessageHook(GetCurrentThreadId()));  // as TearDown expects
  EXPECT_EQ(Offered(), Identities{Id(*session)});
}

// A session whose own steps fail with an exception, as page capture may when
// memory runs out.
class FaultySession : public CScanSession {
 public:
  FaultySession(const TwainManagerLibrary& library, bool failDecision)
      : CScanSession(library), failDecision_(failDecision) {}
  int DecideTransfer(const TW_IMAGEINFO& info) override {
    if (failDecision_) throw std::bad_alloc();
    return CScanSession::DecideTransfer(info);
  }
  void OnImageReceived(HANDLE, const TW_IMAGEINFO&) override { throw std::bad_alloc(); }

 private:
  bool failDecision_;
};

// Nothing leaves the hook: the transfers are ended at the source (state 5
// again), and the message goes on as one not claimed.
TEST_F(MessageHookTest, FaultInsideTheTransferLoopEndsTheTransfersAndPassesTheMessageOn) {
  struct Case {
    const char* name;
    bool failDecision;
    Calls calls;
  };
  for (const Case& c : {Case{"deciding", true, {"DS IMAGEINFO", "DS RESET"}},
                        Case{"capturing_the_page", false,
                             {"DS IMAGEINFO", "DS NATIVEXFER", "DS STATUS", "DS ENDXFER", "DS RESET"}}}) {
    SCOPED_TRACE(c.name);
    FaultySession session(fake, c.failDecision);
    ASSERT_TRUE(session.OpenWithHostWindow(host.get()));
    session.StartScan();
    ASSERT_TRUE(session.IsSourceEnabled());
    PublishHookSession(session);
    fake.AnswerAlways(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, [](TW_MEMREF data) {
      auto* event = static_cast<pTW_EVENT>(data);
      const bool probe = static_cast<const MSG*>(event->pEvent)->message == kProbe;
      event->TWMessage = probe ? MSG_XFERREADY : MSG_NULL;
      return static_cast<TW_UINT16>(probe ? TWRC_DSEVENT : TWRC_NOTDSEVENT);
    });
    if (!c.failDecision) fake.Answer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(2));
    fake.Take();
    g_spySaw = 0;

    SendProbeThroughTheLoop();
    // Only the probe makes the source act; the loop's other messages are offered too.
    Calls calls = fake.Take();
    std::erase(calls, "DS PROCESSEVENT");
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(g_spySaw, 1) << "passed on to the next hook";
    EXPECT_TRUE(session.IsSourceEnabled());
    EXPECT_EQ(session.PageCount(), 0u);
  }
}

// Holds each of `count` threads until all have arrived.
class Rendezvous {
 public:
  explicit Rendezvous(int count) : waiting_(count) {}
  void ArriveAndWait() {
    std::unique_lock lock(mutex_);
    if (--waiting_ == 0) all_.notify_all();
    all_.wait(lock, [this] { return waiting_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable all_;
  int waiting_;
};

// Controls on two threads of one process, each thread with its own message
// loop: each thread's hook feeds its own session, on its own thread.
TEST_F(MessageHookTest, EachThreadFeedsItsOwnSession) {
  struct ControlThread {
    DWORD thread = 0;
    std::uintptr_t appIdentity = 0;  // the session's, as its calls carry it
    bool probeRetrieved = false;
  };
  ControlThread controls[2];
  std::vector<DWORD> offeredOn;  // written under the fake's lock
  fake.AnswerAlways(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, [&offeredOn](TW_MEMREF data) {
    if (static_cast<const MSG*>(static_cast<pTW_EVENT>(data)->pEvent)->message == kProbe) {
      offeredOn.push_back(GetCurrentThreadId());
    }
    return static_cast<TW_UINT16>(TWRC_NOTDSEVENT);
  });
  Rendezvous published(2), finished(2);
  auto run = [&](ControlThread& control) {
    control.thread = GetCurrentThreadId();
    const HWND window = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                        nullptr, nullptr);
    {
      CScanSession session(fake);
      control.appIdentity = reinterpret_cast<std::uintptr_t>(&session.AppIdentity());
      session.OpenWithHostWindow(window);
      session.StartScan();
      const bool attached = AttachMessageHook(control.thread);
      PublishHookSession(session);
      // Both controls live before either thread runs its loop.
      published.ArriveAndWait();
      PostThreadMessageA(control.thread, kProbe, 0, 0);
      const ULONGLONG deadline = GetTickCount64() + 5000;
      while (!control.probeRetrieved && GetTickCount64() < deadline) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
          control.probeRetrieved = msg.message == kProbe;
          DispatchMessageA(&msg);
        } else {
          MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
      }
      finished.ArriveAndWait();
      if (attached) DetachMessageHook(control.thread);
    }
    DestroyWindow(window);
  };
  std::thread first(run, std::ref(controls[0]));
  std::thread second(run, std::ref(controls[1]));
  first.join();
  second.join();

  for (const ControlThread& control : controls) {
    EXPECT_TRUE(control.probeRetrieved);
    EXPECT_EQ(std::count(offeredOn.begin(), offeredOn.end(), control.thread), 1) << "its probe, on its thread";
  }
  for (const auto& call : fake.Addresses()) {
    const ControlThread& caller = call.thread == controls[0].thread ? controls[0] : controls[1];
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(call.origin), caller.appIdentity) << "a session called on another thread";
  }
}

}  // namespace
}  // namespace folvane::test
