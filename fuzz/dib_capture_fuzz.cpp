// Bitmaps stored as scanned pages: a packed DIB as a native transfer hands
// it over, or (input starting "BM") a bitmap file as `folvane page` reads
// it. A bitmap the parser takes is stored, and the page file it makes is
// read back by the outputs' opener with the bitmap's size.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acquire/dib.h"
#include "acquire/dib_page_writer.h"
#include "fuzz_file.h"
#include "pagefile/page_tiff.h"
#include "tool/bmp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  std::optional<std::string> fromFile;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
    fromFile.emplace(reinterpret_cast<const char*>(data), size);
    if (!folvane::PackBmpFileInPlace(*fromFile)) return 0;
  }
  const std::span<const std::uint8_t> packed =
      fromFile ? std::span(reinterpret_cast<const std::uint8_t*>(fromFile->data()), fromFile->size()) : input;
  const auto dib = folvane::DibView::Parse(packed);
  if (!dib) return 0;
  const std::string page = bidder::fuzz::WorkDir() / "page.tif";
  if (!folvane::WriteDibPage(packed, page)) return 0;
  const auto opened = folvane::PageTiff::Open(page);
  // Capture stores only what the outputs read: a stored page opens as the
  // bitmap it came from.
  if (!opened || opened->Width() != dib->Width() || opened->Height() != dib->Height()) std::abort();
  std::filesystem::remove(page);
  return 0;
}
