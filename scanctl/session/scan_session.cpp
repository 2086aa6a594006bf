#include "session/scan_session.h"

#include "session/scan_messages.h"
#include "session/twain/global_memory.h"

namespace {

// The user's temporary directory, ending with a backslash. When it cannot be
// determined the pages go to the current directory (empty prefix).
std::string TempDirectoryPrefix() {
  char buffer[1024] = {};
  const DWORD length = GetTempPathA(sizeof(buffer), buffer);
  if (length == 0 || length >= sizeof(buffer)) return {};
  return std::string(buffer, length);
}

}  // namespace

CScanSession::CScanSession(const folvane::TwainManagerLibrary& library, folvane::SessionUi& ui)
    : CTwainSession(nullptr, library), m_pages(TempDirectoryPrefix()), m_ui(ui) {}

CScanSession::~CScanSession() {
  DeletePages();
  ReleaseManager();
}

void CScanSession::OnImageReceived(HANDLE dib, const TW_IMAGEINFO&) {
  if (!dib) return;
  folvane::GlobalLockGuard lock(dib);
  // A delivered handle uses up a number even when its bitmap is unreadable.
  if (!lock || lock.size() == 0) {
    m_pages.AddUnreadablePage();
    return;
  }
  m_pages.AddPage(lock.bytes());
}

bool CScanSession::IsSourceEnabled() { return m_sourceEnabled; }

bool CScanSession::HookMessage(MSG* message) {
  MSG copy = *message;
  return ProcessEvent(copy);
}

bool CScanSession::OpenWithHostWindow(HWND hostMainWindow) {
  HWND window = hostMainWindow ? hostMainWindow : GetActiveWindow();
  return OpenManager(window);
}

void CScanSession::StartScan() {
  if (!Acquire(-1)) m_ui.ShowMessage(folvane::msg::kInstallScanner);
}
