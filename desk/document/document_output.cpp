#include "desk/document/document_output.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <sstream>
#include <system_error>

#include "desk/document/base64.h"
#include "desk/document/disk_full.h"
#include "desk/document/utf16.h"
#include "output/pdf_assembly.h"
#include "output/pdf_messages.h"
#include "output/png_export.h"
#include "output/png_messages.h"

namespace bidder::desk {
namespace fs = std::filesystem;
namespace {

OutputResult Outcome(OutputOutcome outcome, std::string controlMessage = {}) {
  return {outcome, std::move(controlMessage)};
}

std::uint64_t FileBytes(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  return error ? 0 : size;
}

fs::path FolderOf(const std::string& outputPath) {
  const fs::path folder = fs::path(outputPath).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// A write failed: for want of space, or for any other reason.
OutputResult WriteFailure(int savedErrno, const std::string& outputPath, std::uint64_t wantedBytes,
                          std::string controlMessage) {
  const bool full = FailedForSpace(savedErrno, FolderOf(outputPath), wantedBytes);
  return Outcome(full ? OutputOutcome::kDiskFull : OutputOutcome::kFailed, std::move(controlMessage));
}

}  // namespace

OutputResult BindPdf(const std::vector<std::string>& pagePaths, const std::string& outputPath,
                     const DocumentInfo& info) {
  if (pagePaths.empty()) return Outcome(OutputOutcome::kNoPages, folvane::msg::kPdfNoPage);
  try {
    folvane::PdfDocumentInfo pdfInfo;
    // Page text is any Unicode: written as given, where the control's ANSI
    // text would lose whatever code page 936 lacks.
    pdfInfo.unicode = folvane::PdfUnicodeInfo{Utf8ToUtf16(info.creator), Utf8ToUtf16(info.author),
                                              Utf8ToUtf16(info.title), Utf8ToUtf16(info.subject)};
    // The control's console line for an output it cannot create is for a
    // console; the service reports the outcome instead.
    std::ostringstream console;
    errno = 0;
    const folvane::PdfAssemblyResult result = folvane::AssemblePdf(pagePaths, outputPath, pdfInfo, console);
    const int savedErrno = errno;
    switch (result.outcome) {
      case folvane::PdfAssemblyOutcome::kWritten: return Outcome(OutputOutcome::kWritten);
      case folvane::PdfAssemblyOutcome::kNoPage: return Outcome(OutputOutcome::kNoPages, result.message);
      case folvane::PdfAssemblyOutcome::kCannotCreate:
      case folvane::PdfAssemblyOutcome::kWriteFailed: break;
    }
    // The PDF takes about what its pages take: their strips go in unchanged.
    std::uint64_t pageBytes = 0;
    for (const std::string& page : pagePaths) pageBytes += FileBytes(page);
    return WriteFailure(savedErrno, outputPath, pageBytes, result.message);
  } catch (const std::bad_alloc&) {
    // AssemblePdf leaves nothing behind when it fails; out of memory before
    // it ran, nothing was written.
    return Outcome(OutputOutcome::kFailed, folvane::msg::kPdfWriteFailed);
  }
}

OutputResult PagePng(const std::string& pagePath, const std::string& outputPath) {
  errno = 0;
  const folvane::PngPageOutcome outcome = folvane::ConvertPageToPng(pagePath, outputPath);
  const int savedErrno = errno;
  switch (outcome) {
    case folvane::PngPageOutcome::kWritten: return Outcome(OutputOutcome::kWritten);
    case folvane::PngPageOutcome::kPageUnreadable:
      return Outcome(OutputOutcome::kNoPages, folvane::msg::kPngPageUnreadable);
    case folvane::PngPageOutcome::kOutputFailed: break;
  }
  return WriteFailure(savedErrno, outputPath, FileBytes(pagePath), folvane::msg::kPngSaveFailed);
}

std::string PngDataUrl(const std::vector<std::uint8_t>& png) { return "data:image/png;base64," + Base64(png); }

}  // namespace bidder::desk
