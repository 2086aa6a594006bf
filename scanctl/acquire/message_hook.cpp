#include "message_hook.h"

#include <algorithm>
#include <vector>

#include "scan_session.h"

HHOOK g_hMessageHook = nullptr;
CScanSession* g_pHookSession = nullptr;

namespace {

// All on the control's thread, like the hook itself: no lock.
int g_hookUsers = 0;
std::vector<CScanSession*>& PublishedSessions() {
  static std::vector<CScanSession*> sessions;
  return sessions;
}

void ServeNewest() {
  const auto& sessions = PublishedSessions();
  g_pHookSession = sessions.empty() ? nullptr : sessions.back();
}

}  // namespace

LRESULT CALLBACK TwainMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code < 0) return CallNextHookEx(g_hMessageHook, code, wParam, lParam);
  // The message goes on to its window whether the source claimed it or not;
  // a claimed one only skips the later hooks.
  if (g_pHookSession && g_pHookSession->IsSourceEnabled() &&
      g_pHookSession->HookMessage(reinterpret_cast<MSG*>(lParam))) {
    return 0;
  }
  return CallNextHookEx(g_hMessageHook, code, wParam, lParam);
}

namespace folvane {

bool AttachMessageHook(DWORD threadId) {
  if (g_hookUsers == 0) {
    g_hMessageHook = SetWindowsHookExA(WH_GETMESSAGE, TwainMessageHook, nullptr, threadId);
    if (!g_hMessageHook) return false;
  }
  ++g_hookUsers;
  return true;
}

void DetachMessageHook() {
  if (g_hookUsers == 0) return;
  if (--g_hookUsers == 0) {
    UnhookWindowsHookEx(g_hMessageHook);
    g_hMessageHook = nullptr;
  }
}

void PublishHookSession(CScanSession& session) {
  auto& sessions = PublishedSessions();
  std::erase(sessions, &session);
  sessions.push_back(&session);
  ServeNewest();
}

void WithdrawHookSession(const CScanSession& session) {
  std::erase(PublishedSessions(), &session);
  ServeNewest();
}

}  // namespace folvane
