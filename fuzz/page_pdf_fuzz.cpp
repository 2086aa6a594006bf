// Page files bound into a PDF: whatever the file holds, AssemblePdf reads it
// or skips it, and a document it reports written is complete on disk.
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "fuzz_file.h"
#include "output/pdf_assembly.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string page = bidder::fuzz::InputFile("page.tif", data, size);
  const std::string pdf = bidder::fuzz::WorkDir() / "out.pdf";
  std::ostringstream console;
  const folvane::PdfAssemblyResult result = folvane::AssemblePdf({page}, pdf, {"c", "a", "t", "s"}, console);
  const bool written = result.outcome == folvane::PdfAssemblyOutcome::kWritten;
  // One page: written with it, or skipped with no file left behind.
  if (written != (result.pagesWritten == 1) || written != std::filesystem::exists(pdf) ||
      written == (result.skippedPages.size() == 1))
    std::abort();
  std::filesystem::remove(pdf);
  return 0;
}
