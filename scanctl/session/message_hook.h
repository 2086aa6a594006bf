#pragma once
// The thread message hook that feeds the enabled source: every message a
// control's thread retrieves passes TwainMessageHook, which offers it to the
// session published on that thread.
//
// Controls may live on several threads of one process (a browser running its
// tabs on threads of their own). Each thread that has attached controls gets
// its own hook: the first control of a thread to attach installs it, the last
// to detach removes it. A thread's hook serves the newest live session
// published on that thread and no other, so TWAIN is only ever called on the
// thread that owns the session. A session withdraws itself when it is
// destroyed (from whichever thread), and the one published before it on its
// thread is served again, so no hook ever reaches a destroyed session.
//
// The bookkeeping behind this is shared by all threads and kept under a lock;
// the hook takes the lock only to look its session up, never while the
// session works, since a source may run a message loop of its own inside a
// transfer and so re-enter the hook.
//
// The hook knows only what it serves, a HookClient: the scan session
// implements it, and the control decides what to publish and when.
#include <windows.h>

namespace folvane {

// What the hook hands its messages to. A client is withdrawn at the latest
// when it is destroyed, so no hook ever reaches a dead one.
class HookClient {
 public:
  HookClient() = default;
  HookClient(const HookClient&) = delete;
  HookClient& operator=(const HookClient&) = delete;

  // Whether there is an enabled source to offer messages to.
  virtual bool IsSourceEnabled() = 0;
  // Offers the message to the enabled source; true when the source claimed it.
  virtual bool HookMessage(MSG* message) = 0;

 protected:
  ~HookClient();
};

}  // namespace folvane

// Sessions are published, served and destroyed on the thread that owns them,
// as COM's apartments have it: a session is never withdrawn from another
// thread while its own thread is inside the hook.
LRESULT CALLBACK TwainMessageHook(int code, WPARAM wParam, LPARAM lParam);

namespace folvane {

// The WH_GETMESSAGE hook for `threadId`, shared by every control of that
// thread. Returns whether the hook is installed; a control that attached
// successfully detaches once, with the same thread, before its session is
// destroyed.
bool AttachMessageHook(DWORD threadId);
void DetachMessageHook(DWORD threadId);

// Publishes the client on the calling thread, the thread that owns it;
// false when it could not be recorded (out of memory), and is not served.
bool PublishHookSession(HookClient& client);
// Safe for a client that was never published or is already withdrawn.
void WithdrawHookSession(const HookClient& client);

}  // namespace folvane
