#pragma once
// The thread message hook that feeds the enabled source: every message the
// control's thread retrieves passes TwainMessageHook, which offers it to the
// published session.
//
// One hook serves all scanning controls of the module: the first control to
// attach installs it, the last to detach removes it, so no control leaves a
// hook behind that outlives the sessions it reads. The served session is the
// most recently published one still alive; a session withdraws itself when it
// is destroyed, and the one published before it is served again, so the hook
// never reaches a destroyed session.
#include "twain/twain_api.h"

class CScanSession;

extern HHOOK g_hMessageHook;
extern CScanSession* g_pHookSession;

LRESULT CALLBACK TwainMessageHook(int code, WPARAM wParam, LPARAM lParam);

namespace folvane {

// WH_GETMESSAGE hook for the control's thread, shared by every control of the
// module. Returns whether the hook is installed; a control that attached
// successfully detaches once, before its session is destroyed.
bool AttachMessageHook(DWORD threadId);
void DetachMessageHook();

void PublishHookSession(CScanSession& session);
// Safe for a session that was never published or is already withdrawn.
void WithdrawHookSession(const CScanSession& session);

}  // namespace folvane
