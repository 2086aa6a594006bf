#pragma once
// The scanning control's session: the TWAIN session that turns every
// transferred bitmap into the next page file, and the entry points that the
// control's dispatch methods and the thread message hook use.
#include <cstdint>
#include <string>

#include "acquire/page_store.h"
#include "output/pdf_assembly.h"
#include "session/message_hook.h"
#include "session/session_ui.h"
#include "session/twain/twain_session.h"

class CScanSession : public CTwainSession, public folvane::HookClient {
 public:
  // The manager is not loaded yet: the control opens it with its host window.
  explicit CScanSession(const folvane::TwainManagerLibrary& library = folvane::SystemTwainManagerLibrary(),
                        folvane::SessionUi& ui = folvane::SystemSessionUi());
  // Deletes the page files, then releases the manager (the source disabled
  // and closed first). The control withdraws whatever it published on the
  // hook before; a session published directly is withdrawn last of all.
  ~CScanSession() override;

  void OnImageReceived(HANDLE dib, const TW_IMAGEINFO& info) override;
  bool IsSourceEnabled() override;
  // For the hook: offers a copy of the message to the enabled source; true
  // when the source claimed it.
  bool HookMessage(MSG* message) override;

  // Opens the manager with the host's main window, as the control module
  // reports it; without one, the thread's active window.
  bool OpenWithHostWindow(HWND hostMainWindow);
  // Behind ScanNewDocument: opens and enables the source with its own user
  // interface and returns at once; the pages arrive through the hook.
  void StartScan();

  // Behind ConvertToPDF and ConvertToJPG: without pages the user is asked to
  // scan first; otherwise the Save As dialog (owned by `dialogOwner`, the
  // host's main window or null) names the output, and any ending but OK
  // leaves the document as it was. The core then writes the output and says
  // whether the pages go; each failure it reports is shown to the user.
  void ConvertToPDF(const folvane::PdfDocumentInfo& info, HWND dialogOwner);
  void ConvertToJPG(HWND dialogOwner);

  // The page files (the document so far).
  void DeletePages() { m_pages.DeletePages(); }
  std::string PageFileName(std::uint32_t number) const { return m_pages.PageFileName(number); }
  std::uint32_t PageCount() const { return m_pages.PageCount(); }
  const std::string& WorkPrefix() const { return m_pages.WorkPrefix(); }

 private:
  bool AskOutputPath(const folvane::SaveAsDialog& dialog, HWND dialogOwner, std::string& path);

  folvane::PageStore m_pages;
  folvane::SessionUi& m_ui;
};
