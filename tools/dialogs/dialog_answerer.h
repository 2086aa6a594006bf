#pragma once
// Answers the dialog boxes (class #32770) that the calling thread shows (a
// test's, or the page host's page thread), message boxes and the manager's
// Select Source dialog alike: a WH_CBT hook
// sees each one activated, and a short timer, which fires inside the dialog's
// modal loop, records its text and answers it: by pressing one button, or by
// whatever a handler of the caller's does with it. A watchdog closes any
// dialog still open after a while, so that an unanswered dialog fails a test
// or a page run instead of hanging it. Windows only; ships with no control.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace bidder::dialogs {

// Answers one dialog, called inside its modal loop once that runs.
using DialogHandler = std::function<void(HWND dialog)>;

class DialogAnswerer {
 public:
  // Presses `button` in every dialog (after selecting the first entry of a
  // list nothing is selected in).
  explicit DialogAnswerer(int button = IDOK, UINT watchdogMs = 20000);
  DialogAnswerer(DialogHandler handler, UINT watchdogMs);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // The texts of the message boxes answered (narrow, the ANSI code page).
  const std::vector<std::string>& Texts() const { return texts_; }
  const std::vector<std::string>& Captions() const { return captions_; }
  int Answered() const { return answered_; }
  bool WatchdogFired() const { return watchdogFired_; }
  void Clear() {
    texts_.clear();
    captions_.clear();
    answered_ = 0;
  }

 private:
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK OnAnswerTimer(HWND, UINT, UINT_PTR timer, DWORD);
  static void CALLBACK OnWatchdog(HWND, UINT, UINT_PTR, DWORD);
  void Answer(HWND dialog);

  int button_ = IDOK;
  DialogHandler handler_;
  HHOOK hook_ = nullptr;
  UINT_PTR watchdog_ = 0;
  std::vector<std::pair<UINT_PTR, HWND>> pending_;
  std::vector<std::string> texts_;
  std::vector<std::string> captions_;
  int answered_ = 0;
  bool watchdogFired_ = false;
};

// Helpers for handlers.
// Whether the window is a dialog box (class #32770).
bool IsDialogBox(HWND window);
// Presses a button of the dialog (posted: it acts once the handler returns).
void PressDialogButton(HWND dialog, int button);
// The first descendant window with this control id (any id with
// kAnyControlId) and class (any class when null), or null.
inline constexpr int kAnyControlId = -1;
HWND FindDescendant(HWND parent, int id, const char* className);

}  // namespace bidder::dialogs
