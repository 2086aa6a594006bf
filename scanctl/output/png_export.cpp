#include "output/png_export.h"

#include <algorithm>
#include <new>

#include "output/png_messages.h"
#include "output/png_writer.h"
#include "output/tiff_page_reader.h"

namespace folvane {

std::optional<std::string> PngBaseName(std::string_view chosenPath) {
  constexpr std::size_t kDropped = 4;
  if (chosenPath.size() <= kDropped) return std::nullopt;
  return std::string(chosenPath.substr(0, chosenPath.size() - kDropped));
}

std::string PngOutputName(std::string_view baseName, std::uint32_t index, std::uint32_t pageCount) {
  std::string name(baseName);
  if (pageCount != 1) name += "_" + std::to_string(index);
  return name + ".PNG";
}

PngPageOutcome ConvertPageToPng(const std::string& pagePath, const std::string& pngPath) {
  try {
    const auto reader = TiffPageReader::Open(pagePath);
    if (!reader) return PngPageOutcome::kPageUnreadable;
    // Written under its own name: a temporary name could pass the path length
    // limit where the real one does not.
    switch (WritePng(*reader, pngPath)) {
      case PngWriteStatus::kWritten: return PngPageOutcome::kWritten;
      case PngWriteStatus::kSourceFailed: return PngPageOutcome::kPageUnreadable;
      case PngWriteStatus::kOutputFailed: break;
    }
    return PngPageOutcome::kOutputFailed;
  } catch (const std::bad_alloc&) {
    // A page too large for the memory left is skipped like a damaged one
    // (the page file stays intact). WritePng leaves no partial picture, and a
    // file the user had under that name before is not touched.
    return PngPageOutcome::kPageUnreadable;
  }
}

bool PngExportResult::AnyOutputFailed() const {
  return std::find(pages.begin(), pages.end(), PngPageOutcome::kOutputFailed) != pages.end();
}

std::vector<std::string> PngExportResult::Messages() const {
  std::vector<std::string> texts;
  for (PngPageOutcome p : pages) {
    if (p == PngPageOutcome::kPageUnreadable) texts.emplace_back(msg::kPngPageUnreadable);
  }
  if (AnyOutputFailed()) texts.emplace_back(msg::kPngSaveFailed);
  return texts;
}

PngExportResult ExportPngFiles(std::span<const std::string> pagePaths, std::string_view chosenPath) {
  PngExportResult result;
  const auto count = static_cast<std::uint32_t>(pagePaths.size());
  const std::optional<std::string> base = PngBaseName(chosenPath);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!base) {
      result.outputNames.emplace_back();
      result.pages.push_back(PngPageOutcome::kOutputFailed);
      continue;
    }
    result.outputNames.push_back(PngOutputName(*base, i, count));
    result.pages.push_back(ConvertPageToPng(pagePaths[i], result.outputNames.back()));
  }
  result.deletePages = !result.AnyOutputFailed();
  return result;
}

}  // namespace folvane
