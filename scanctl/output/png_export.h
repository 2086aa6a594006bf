#pragma once
// Export of a document's pages as PNG files, one file per page, named after
// the path the user chose:
//   one page:      <chosen path without its last four characters>.PNG
//   several pages: <chosen path without its last four characters>_<i>.PNG
// with i the page's position from 0, in decimal. The four characters are
// dropped whatever they are (with the dialog's default extension, ".png").
//
// Pages are decoded one at a time. A page that cannot be loaded gets no file
// (never the previous page's picture); a page whose PNG cannot be written is
// reported, and then the document is kept so the export can be repeated:
// the result's `deletePages` tells the caller, as the PDF output's does.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace folvane {

// The chosen path without its last four characters; nullopt for a path of
// fewer than five characters, which leaves no name to write.
std::optional<std::string> PngBaseName(std::string_view chosenPath);
// The output name of page `index` of `pageCount`.
std::string PngOutputName(std::string_view baseName, std::uint32_t index, std::uint32_t pageCount);

enum class PngPageOutcome {
  kWritten,
  kPageUnreadable,  // the page file could not be loaded: nothing written for it
  kOutputFailed,    // the PNG file could not be written: nothing left under its name
};

// One page file to one PNG file; on failure no file is left under pngPath.
// A page that needs more memory than there is counts as unreadable.
PngPageOutcome ConvertPageToPng(const std::string& pagePath, const std::string& pngPath);

struct PngExportResult {
  std::vector<PngPageOutcome> pages;     // one per page, in page order
  std::vector<std::string> outputNames;  // the name each page was (to be) written under
  // Whether the caller may delete the page files: every PNG was written (a
  // page that could not be loaded does not keep the document, there is
  // nothing of it to save again).
  bool deletePages = false;

  bool AnyOutputFailed() const;
  // The texts for the user, in order (code page 936): one for each page that
  // could not be loaded, then one if any PNG could not be written.
  std::vector<std::string> Messages() const;
};

// Converts the given page files in order; deletes nothing (see deletePages).
PngExportResult ExportPngFiles(std::span<const std::string> pagePaths, std::string_view chosenPath);

}  // namespace folvane
