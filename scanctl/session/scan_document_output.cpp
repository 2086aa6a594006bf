// The session's two outputs, behind ConvertToPDF and ConvertToJPG: the pages
// so far, named in a Save As dialog, handed to the PDF or PNG core; the session
// deletes the page files when the core's result says they may go, and the
// core's failure reports go to the user.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "output/pdf_assembly.h"
#include "output/png_export.h"
#include "session/scan_messages.h"
#include "session/scan_session.h"

namespace {

constexpr char kPdfFilter[] = "Portable Document Format (*.pdf)\0*.pdf\0";
constexpr char kPngFilter[] = "PNG Format (*.png)\0*.png\0";
constexpr folvane::SaveAsDialog kPdfDialog{"Save As PDF", {kPdfFilter, sizeof kPdfFilter - 1}, "pdf"};
constexpr folvane::SaveAsDialog kPngDialog{"Save As PNG", {kPngFilter, sizeof kPngFilter - 1}, "png"};

}  // namespace

bool CScanSession::AskOutputPath(const folvane::SaveAsDialog& dialog, HWND dialogOwner, std::string& path) {
  if (PageCount() == 0) {
    m_ui.ShowMessage(folvane::msg::kScanFirst);
    return false;
  }
  return m_ui.AskSavePath(dialog, dialogOwner, path);
}

void CScanSession::ConvertToPDF(const folvane::PdfDocumentInfo& info, HWND dialogOwner) {
  std::string path;
  if (!AskOutputPath(kPdfDialog, dialogOwner, path)) return;
  const folvane::PdfAssemblyResult result = folvane::AssemblePdf(m_pages.PageFileNames(), path, info, std::cout);
  std::cout.flush();
  if (result.deletePages) DeletePages();
  if (!result.message.empty()) m_ui.ShowMessage(result.message.c_str());
}

void CScanSession::ConvertToJPG(HWND dialogOwner) {
  std::string path;
  if (!AskOutputPath(kPngDialog, dialogOwner, path)) return;
  const folvane::PngExportResult result = folvane::ExportPngFiles(m_pages.PageFileNames(), path);
  if (result.deletePages) DeletePages();
  for (const std::string& message : result.Messages()) m_ui.ShowMessage(message.c_str());
}
