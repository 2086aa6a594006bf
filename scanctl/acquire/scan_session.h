#pragma once
// The scanning control's session: the TWAIN session that turns every
// transferred bitmap into the next page file, and the entry points that the
// control's dispatch methods and the thread message hook use.
#include <cstdint>
#include <string>

#include "acquire/page_store.h"
#include "twain/twain_session.h"

class CScanSession : public CTwainSession {
 public:
  // The manager is not loaded yet: the control opens it with its host window.
  explicit CScanSession(const folvane::TwainManagerLibrary& library = folvane::SystemTwainManagerLibrary());
  // Withdraws the session from the hook, deletes the page files, then releases
  // the manager (the source disabled and closed first).
  ~CScanSession() override;

  void OnImageReceived(HANDLE dib, const TW_IMAGEINFO& info) override;
  virtual bool IsSourceEnabled();
  // For the hook: offers a copy of the message to the enabled source; true
  // when the source claimed it.
  virtual bool HookMessage(MSG* message);

  // Opens the manager with the host's main window, as the control module
  // reports it; without one, the thread's active window.
  bool OpenWithHostWindow(HWND hostMainWindow);
  // Behind ScanNewDocument: opens and enables the source with its own user
  // interface and returns at once; the pages arrive through the hook.
  void StartScan();

  // The page files (the document so far).
  void DeletePages() { m_pages.DeletePages(); }
  std::string PageFileName(std::uint32_t number) const { return m_pages.PageFileName(number); }
  std::uint32_t PageCount() const { return m_pages.PageCount(); }
  const std::string& WorkPrefix() const { return m_pages.WorkPrefix(); }

 private:
  folvane::PageStore m_pages;
};
