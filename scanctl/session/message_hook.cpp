#include "session/message_hook.h"

#include <iterator>
#include <map>
#include <vector>

using folvane::HookClient;

namespace {

// One thread's hook, the controls using it and the sessions published on it
// (newest last).
struct ThreadHook {
  HHOOK hook = nullptr;
  int users = 0;
  std::vector<HookClient*> sessions;

  HookClient* Served() const { return sessions.empty() ? nullptr : sessions.back(); }
  bool Unused() const { return users == 0 && sessions.empty(); }
};

using ThreadHooks = std::map<DWORD, ThreadHook>;

// A slim lock: statically initialised, never throws; not recursive, and
// nothing that could call back into the hook runs while it is held.
SRWLOCK g_lock = SRWLOCK_INIT;
class Locked {
 public:
  Locked() { AcquireSRWLockExclusive(&g_lock); }
  ~Locked() { ReleaseSRWLockExclusive(&g_lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

// By thread id; only under the lock.
ThreadHooks& Threads() {
  static ThreadHooks threads;
  return threads;
}

// Forgets a thread with nothing left.
void ForgetIfUnused(ThreadHooks::iterator entry) {
  if (entry->second.Unused()) Threads().erase(entry);
}

void WithdrawLocked(const HookClient& session) {
  auto& threads = Threads();
  for (auto entry = threads.begin(); entry != threads.end();) {
    const auto next = std::next(entry);
    if (std::erase(entry->second.sessions, &session) > 0) ForgetIfUnused(entry);
    entry = next;
  }
}

struct HookTarget {
  HHOOK hook = nullptr;
  HookClient* session = nullptr;
};

HookTarget CurrentThreadTarget() {
  Locked lock;
  auto& threads = Threads();
  const auto entry = threads.find(GetCurrentThreadId());
  if (entry == threads.end()) return {};
  return {entry->second.hook, entry->second.Served()};
}

// Nothing may leave a Windows callback: a fault inside the transfer loop has
// already ended the source's transfers (see TransferImages); the message then
// counts as not claimed and goes on.
bool OfferToSession(HookClient& session, MSG* message) {
  try {
    return session.IsSourceEnabled() && session.HookMessage(message);
  } catch (...) {
    return false;
  }
}

}  // namespace

LRESULT CALLBACK TwainMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  const HookTarget target = CurrentThreadTarget();
  // The message goes on to its window whether the source claimed it or not;
  // a claimed one only skips the later hooks.
  if (code >= 0 && target.session && OfferToSession(*target.session, reinterpret_cast<MSG*>(lParam))) return 0;
  return CallNextHookEx(target.hook, code, wParam, lParam);
}

namespace folvane {

HookClient::~HookClient() { WithdrawHookSession(*this); }

bool AttachMessageHook(DWORD threadId) {
  Locked lock;
  ThreadHooks::iterator entry;
  try {
    entry = Threads().try_emplace(threadId).first;
  } catch (...) {
    return false;
  }
  ThreadHook& thread = entry->second;
  if (thread.users == 0) thread.hook = SetWindowsHookExA(WH_GETMESSAGE, TwainMessageHook, nullptr, threadId);
  const bool attached = thread.hook != nullptr;
  if (attached) ++thread.users;
  ForgetIfUnused(entry);
  return attached;
}

void DetachMessageHook(DWORD threadId) {
  Locked lock;
  const auto entry = Threads().find(threadId);
  if (entry == Threads().end() || entry->second.users == 0) return;
  ThreadHook& thread = entry->second;
  if (--thread.users == 0) {
    UnhookWindowsHookEx(thread.hook);
    thread.hook = nullptr;
  }
  ForgetIfUnused(entry);
}

bool PublishHookSession(HookClient& session) {
  Locked lock;
  WithdrawLocked(session);
  ThreadHooks::iterator entry;
  try {
    entry = Threads().try_emplace(GetCurrentThreadId()).first;
  } catch (...) {
    return false;
  }
  bool published = true;
  try {
    entry->second.sessions.push_back(&session);
  } catch (...) {
    published = false;
  }
  ForgetIfUnused(entry);
  return published;
}

void WithdrawHookSession(const HookClient& session) {
  Locked lock;
  WithdrawLocked(session);
}

}  // namespace folvane
