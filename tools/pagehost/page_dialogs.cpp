#include "page_dialogs.h"

#include "report.h"

namespace pagehost {
namespace {

using bidder::dialogs::FindDescendant;
using bidder::dialogs::PressDialogButton;

// The file name box of the Save As dialog (cmb13/edt1): in Wine's dialog an
// edit nested in a ComboBoxEx32 and a ComboBox, all with this id.
constexpr int kFileNameId = 1148;
constexpr int kMessageTextId = 0xFFFF;

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

HWND FindByClass(HWND dialog, const char* className) {
  return FindDescendant(dialog, bidder::dialogs::kAnyControlId, className);
}

}  // namespace

PageDialogs::PageDialogs(UINT watchdogMs) : answerer_([this](HWND dialog) { Answer(dialog); }, watchdogMs) {}

void PageDialogs::ExpectSaveAs(std::wstring path) { expected_.push_back({Expected::Answer::kSaveAs, std::move(path)}); }

void PageDialogs::ExpectSelection(std::wstring source) {
  expected_.push_back({Expected::Answer::kSelection, std::move(source)});
}

void PageDialogs::ExpectCancel() { expected_.push_back({Expected::Answer::kCancel, {}}); }

void PageDialogs::AtNextDialog(std::function<void()> action) { atNextDialog_.push_back(std::move(action)); }

PageDialogs::Kind PageDialogs::Classify(HWND dialog) {
  if (FindDescendant(dialog, kFileNameId, nullptr)) return Kind::kSaveAs;
  if (FindByClass(dialog, "ListBox")) return Kind::kSelection;
  return Kind::kMessageBox;
}

void PageDialogs::Answer(HWND dialog) {
  // What the page runs in the loop comes first; it may close the dialog.
  std::vector<std::function<void()>> actions;
  actions.swap(atNextDialog_);
  for (auto& action : actions) action();
  if (!IsWindow(dialog)) return;

  const Kind kind = Classify(dialog);
  if (kind == Kind::kMessageBox) return AnswerMessageBox(dialog);

  const std::wstring caption = WindowText(dialog);
  dialogs_.push_back(caption);
  if (expected_.empty()) {
    Report::Failure(L"a dialog nobody expected: \"" + caption + L"\" (cancelled)");
    return PressDialogButton(dialog, IDCANCEL);
  }
  const Expected next = expected_.front();
  expected_.pop_front();
  switch (next.answer) {
    case Expected::Answer::kCancel:
      Report::Line(L"dialog \"" + caption + L"\": cancelled");
      return PressDialogButton(dialog, IDCANCEL);
    case Expected::Answer::kSaveAs:
      if (kind == Kind::kSaveAs) return AnswerSaveAs(dialog, next.text, caption);
      break;
    case Expected::Answer::kSelection:
      if (kind == Kind::kSelection) return AnswerSelection(dialog, next.text, caption);
      break;
  }
  Report::Failure(L"dialog \"" + caption + L"\" is not the " +
                  (next.answer == Expected::Answer::kSaveAs ? L"Save As" : L"source selection") +
                  L" dialog expected (cancelled)");
  PressDialogButton(dialog, IDCANCEL);
}

void PageDialogs::AnswerMessageBox(HWND dialog) {
  HWND textWindow = GetDlgItem(dialog, kMessageTextId);
  const std::wstring text = textWindow ? WindowText(textWindow) : std::wstring();
  if (!GetDlgItem(dialog, IDOK) && GetDlgItem(dialog, IDYES)) {
    // The controls' own message boxes have only OK. A question is the Save
    // As dialog's (replace the existing file?): the user confirms it, and it
    // counts with the dialogs.
    const std::wstring entry = L"question \"" + WindowText(dialog) + L"\": " + text;
    dialogs_.push_back(entry);
    Report::Line(entry + L" (yes)");
    return PressDialogButton(dialog, IDYES);
  }
  messages_.push_back(text);
  Report::Line(L"message box: " + text);
  PressDialogButton(dialog, GetDlgItem(dialog, IDOK) ? IDOK : IDCANCEL);
}

void PageDialogs::AnswerSaveAs(HWND dialog, const std::wstring& path, const std::wstring& caption) {
  HWND box = FindDescendant(dialog, kFileNameId, "Edit");
  if (!box) box = FindDescendant(dialog, kFileNameId, nullptr);
  SetWindowTextW(box, path.c_str());
  Report::Line(L"dialog \"" + caption + L"\": " + path);
  PressDialogButton(dialog, IDOK);
}

void PageDialogs::AnswerSelection(HWND dialog, const std::wstring& source, const std::wstring& caption) {
  HWND list = FindByClass(dialog, "ListBox");
  LRESULT index = 0;
  if (!source.empty()) {
    index = SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(source.c_str()));
    if (index == LB_ERR) {
      Report::Failure(L"dialog \"" + caption + L"\" offers no source \"" + source + L"\" (cancelled)");
      return PressDialogButton(dialog, IDCANCEL);
    }
  }
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  // The dialog reads the selection when OK is pressed; tell it as a click would.
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  Report::Line(L"dialog \"" + caption + L"\": " + (source.empty() ? L"OK" : source));
  PressDialogButton(dialog, IDOK);
}

}  // namespace pagehost
