#include "dialogs/dialog_answerer.h"

#include <algorithm>

namespace bidder::dialogs {
namespace {

DialogAnswerer* g_answerer = nullptr;

BOOL CALLBACK SelectFirstListItem(HWND child, LPARAM) {
  char name[32] = {};
  GetClassNameA(child, name, sizeof(name));
  if (lstrcmpiA(name, "ListBox") == 0 && SendMessageA(child, LB_GETCURSEL, 0, 0) == LB_ERR &&
      SendMessageA(child, LB_GETCOUNT, 0, 0) > 0) {
    SendMessageA(child, LB_SETCURSEL, 0, 0);
  }
  return TRUE;
}

BOOL CALLBACK CloseDialog(HWND window, LPARAM fired) {
  if (IsDialogBox(window) && IsWindowVisible(window)) {
    *reinterpret_cast<bool*>(fired) = true;
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  }
  return TRUE;
}

struct DescendantSearch {
  int id;
  const char* className;
  HWND found;
};

BOOL CALLBACK MatchDescendant(HWND child, LPARAM param) {
  auto* search = reinterpret_cast<DescendantSearch*>(param);
  if (search->id != kAnyControlId && GetDlgCtrlID(child) != search->id) return TRUE;
  char name[64] = {};
  GetClassNameA(child, name, sizeof(name));
  if (search->className && lstrcmpiA(name, search->className) != 0) return TRUE;
  search->found = child;
  return FALSE;
}

}  // namespace

bool IsDialogBox(HWND window) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof(name));
  return std::string(name) == "#32770";
}

void PressDialogButton(HWND dialog, int button) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

HWND FindDescendant(HWND parent, int id, const char* className) {
  DescendantSearch search{id, className, nullptr};
  EnumChildWindows(parent, MatchDescendant, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DialogAnswerer::DialogAnswerer(int button, UINT watchdogMs) : button_(button) {
  g_answerer = this;
  hook_ = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
  watchdog_ = SetTimer(nullptr, 0, watchdogMs, OnWatchdog);
}

DialogAnswerer::DialogAnswerer(DialogHandler handler, UINT watchdogMs) : DialogAnswerer(IDOK, watchdogMs) {
  handler_ = std::move(handler);
}

DialogAnswerer::~DialogAnswerer() {
  if (hook_) UnhookWindowsHookEx(hook_);
  if (watchdog_) KillTimer(nullptr, watchdog_);
  for (const auto& [timer, dialog] : pending_) KillTimer(nullptr, timer);
  if (g_answerer == this) g_answerer = nullptr;
}

LRESULT CALLBACK DialogAnswerer::OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_answerer) {
    HWND window = reinterpret_cast<HWND>(wParam);
    const bool known = std::any_of(g_answerer->pending_.begin(), g_answerer->pending_.end(),
                                   [&](const auto& p) { return p.second == window; });
    if (IsDialogBox(window) && !known) {
      const UINT_PTR timer = SetTimer(nullptr, 0, 30, OnAnswerTimer);
      g_answerer->pending_.emplace_back(timer, window);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK DialogAnswerer::OnAnswerTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  if (!g_answerer) return;
  auto& pending = g_answerer->pending_;
  const auto it = std::find_if(pending.begin(), pending.end(), [&](const auto& p) { return p.first == timer; });
  if (it == pending.end()) return;
  HWND dialog = it->second;
  pending.erase(it);
  if (IsWindow(dialog)) g_answerer->Answer(dialog);
}

void DialogAnswerer::Answer(HWND dialog) {
  char text[1024] = {};
  char caption[256] = {};
  GetDlgItemTextA(dialog, 0xFFFF, text, sizeof(text));  // a message box's text
  GetWindowTextA(dialog, caption, sizeof(caption));
  texts_.push_back(text);
  captions_.push_back(caption);
  ++answered_;
  if (handler_) {
    handler_(dialog);
    return;
  }
  EnumChildWindows(dialog, SelectFirstListItem, 0);
  PressDialogButton(dialog, button_);
}

void CALLBACK DialogAnswerer::OnWatchdog(HWND, UINT, UINT_PTR, DWORD) {
  if (!g_answerer) return;
  bool fired = false;
  EnumThreadWindows(GetCurrentThreadId(), CloseDialog, reinterpret_cast<LPARAM>(&fired));
  if (fired) g_answerer->watchdogFired_ = true;
}

}  // namespace bidder::dialogs
