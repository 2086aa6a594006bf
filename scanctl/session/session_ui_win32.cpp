#include "session/session_ui.h"

#include <commdlg.h>

namespace folvane {
namespace {

constexpr DWORD kSaveAsFlags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_CREATEPROMPT | OFN_EXPLORER |
                               OFN_LONGNAMES | OFN_ENABLESIZING;

class SystemUi final : public SessionUi {
 public:
  void ShowMessage(const char* text) override { MessageBoxA(GetActiveWindow(), text, nullptr, MB_OK); }

  bool AskSavePath(const SaveAsDialog& dialog, HWND owner, std::string& path) override {
    char file[MAX_PATH] = {};
    // The filter as the dialog wants it: its entries, then one more NUL.
    std::string filter(dialog.filter);
    filter.push_back('\0');
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = "";
    ofn.lpstrTitle = dialog.title;
    ofn.lpstrDefExt = dialog.defaultExtension;
    ofn.Flags = kSaveAsFlags;
    if (!GetSaveFileNameA(&ofn)) return false;
    path = file;
    return true;
  }
};

}  // namespace

SessionUi& SystemSessionUi() {
  static SystemUi ui;
  return ui;
}

}  // namespace folvane
