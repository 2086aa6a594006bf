#pragma once
// Every dialog the page's thread shows, answered the way the script said its
// user would: the next Save As dialog with a path, the next source selection
// with a source's name, the next dialog cancelled. Message boxes are read
// and closed with their one button, and their texts kept for the script; a
// question (the Save As dialog's "replace the file?") is answered yes.
// A dialog nobody expected is cancelled and fails the run; a dialog still
// open after the watchdog's time is closed and fails it too.
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/dialog_answerer.h"

namespace pagehost {

class PageDialogs {
 public:
  explicit PageDialogs(UINT watchdogMs);
  PageDialogs(const PageDialogs&) = delete;
  PageDialogs& operator=(const PageDialogs&) = delete;

  void ExpectSaveAs(std::wstring path);
  // An empty name takes the source the dialog offers first.
  void ExpectSelection(std::wstring source);
  void ExpectCancel();
  // Runs inside the modal loop of the next dialog of any kind, before it is
  // answered (as script that a page runs from a timer would).
  void AtNextDialog(std::function<void()> action);

  // Texts of the message boxes answered, in order.
  const std::vector<std::wstring>& Messages() const { return messages_; }
  // Captions of the other dialogs, in order.
  const std::vector<std::wstring>& Dialogs() const { return dialogs_; }
  void ClearRecords() {
    messages_.clear();
    dialogs_.clear();
  }
  // Expectations that no dialog has used yet.
  std::size_t Unused() const { return expected_.size(); }
  bool WatchdogFired() const { return answerer_.WatchdogFired(); }

 private:
  enum class Kind { kSaveAs, kSelection, kMessageBox };
  struct Expected {
    enum class Answer { kSaveAs, kSelection, kCancel } answer;
    std::wstring text;
  };
  static Kind Classify(HWND dialog);
  void Answer(HWND dialog);
  void AnswerMessageBox(HWND dialog);
  void AnswerSaveAs(HWND dialog, const std::wstring& path, const std::wstring& caption);
  void AnswerSelection(HWND dialog, const std::wstring& source, const std::wstring& caption);

  std::deque<Expected> expected_;
  std::vector<std::function<void()>> atNextDialog_;
  std::vector<std::wstring> messages_;
  std::vector<std::wstring> dialogs_;
  bidder::dialogs::DialogAnswerer answerer_;  // last: its hook reaches everything above
};

}  // namespace pagehost
