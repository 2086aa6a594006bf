#pragma once
// What the scan session shows the user: its message boxes and the Save As
// dialog of the two outputs. The system's (MessageBoxA, GetSaveFileNameA) by
// default; tests put their own behind it to drive every ending.
#include <windows.h>

#include <string>
#include <string_view>

namespace folvane {

// The Save As dialog of one output. The filter holds its NUL separators.
struct SaveAsDialog {
  const char* title;
  std::string_view filter;
  const char* defaultExtension;
};

class SessionUi {
 public:
  // A message box owned by the active window, no caption, only OK.
  virtual void ShowMessage(const char* text) = 0;
  // The modal Save As dialog owned by `owner` (may be null); true with the
  // chosen full path when it ended with OK, false for any other ending.
  virtual bool AskSavePath(const SaveAsDialog& dialog, HWND owner, std::string& path) = 0;

 protected:
  ~SessionUi() = default;
};

SessionUi& SystemSessionUi();

}  // namespace folvane
