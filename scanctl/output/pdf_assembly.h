#pragma once
// Binding page files into one PDF 1.4 document: one page per page file that
// can be read, in the order given, each page exactly the size of its image at
// the image's resolution. One page's data is in memory at a time.
//
// The document is written and closed under a temporary name beside the output
// file and only then moved over it, so a failed run leaves a file the user had
// at that path as it was. The caller deletes the page files only when
// `deletePages` says the PDF is complete on disk. On a failure the partial
// output is removed and the pages stay for another attempt.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace folvane {

// The document information entries as the caller's own UTF-16 text.
struct PdfUnicodeInfo {
  std::u16string creator;
  std::u16string author;
  std::u16string title;
  std::u16string subject;
};

// The document information entries, as ANSI (code page 936) text; or, when
// `unicode` is set, that text instead, written as given (a COM caller's
// strings need no code page, so nothing is lost on the way).
struct PdfDocumentInfo {
  std::string creator;
  std::string author;
  std::string title;
  std::string subject;
  std::optional<PdfUnicodeInfo> unicode = std::nullopt;
};

enum class PdfAssemblyOutcome {
  kWritten,        // the PDF is complete on disk
  kCannotCreate,   // the output file could not be created or replaced; nothing written
  kNoPage,         // no page file could be read; no file left behind
  kWriteFailed,    // writing or closing failed; the partial file is removed
};

struct PdfAssemblyResult {
  PdfAssemblyOutcome outcome = PdfAssemblyOutcome::kWriteFailed;
  // True only for kWritten: the page files may go now.
  bool deletePages = false;
  // For the message box: empty on success, else one of folvane::msg (GBK).
  std::string message;
  std::uint32_t pagesWritten = 0;
  // Positions in `pageFiles` of the files that could not be read (skipped).
  std::vector<std::uint32_t> skippedPages;
};

// `standardOutput` receives the console text for an output file that cannot
// be created (the control passes std::cout).
PdfAssemblyResult AssemblePdf(const std::vector<std::string>& pageFiles, const std::string& outputPath,
                              const PdfDocumentInfo& info, std::ostream& standardOutput);

}  // namespace folvane
