// Page files exported as PNG: whatever the file holds, the export writes a
// picture or reports the page unreadable and leaves no file.
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string_view>

#include "fuzz_file.h"
#include "output/png_export.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string page = bidder::fuzz::InputFile("page.tif", data, size);
  const std::string chosen = bidder::fuzz::WorkDir() / "out.png";
  const folvane::PngExportResult result = folvane::ExportPngFiles(std::span(&page, 1), chosen);
  if (result.pages.size() != 1 || result.outputNames.size() != 1) std::abort();
  const bool exists = std::filesystem::exists(result.outputNames[0]);
  if (exists != (result.pages[0] == folvane::PngPageOutcome::kWritten)) std::abort();
  if (exists) std::filesystem::remove(result.outputNames[0]);
  return 0;
}
