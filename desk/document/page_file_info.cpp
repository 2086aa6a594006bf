#include "desk/document/page_file_info.h"

#include <cmath>

#include "pagefile/page_layout.h"
#include "pagefile/page_tiff.h"
#include "pagefile/tiff_field.h"

namespace bidder::desk {
namespace {

// Whole dots per inch, as scanners state them; 0 when the file has none that
// the outputs would use.
std::uint32_t ResolutionDpi(TIFF* tif) {
  float x = 0;
  if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x)) return 0;
  const auto unit = folvane::Defaulted<std::uint16_t>(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  const double perInch = unit == RESUNIT_INCH ? 1.0 : unit == RESUNIT_CENTIMETER ? 2.54 : 0.0;
  const double dpi = x * perInch;
  if (!folvane::IsUsableDpi(dpi)) return 0;
  return static_cast<std::uint32_t>(std::lround(dpi));
}

PageMode ModeOf(const folvane::PageLayout& layout) {
  if (layout.colour != folvane::PageColour::kGrey) return PageMode::kColor;
  return layout.bitsPerSample == 1 ? PageMode::kBlackWhite : PageMode::kGray;
}

}  // namespace

std::optional<PageInfo> ReadPageFileInfo(const std::string& path) {
  const std::unique_ptr<folvane::PageTiff> page = folvane::PageTiff::Open(path);
  if (!page) return std::nullopt;
  PageInfo info;
  info.width = page->Width();
  info.height = page->Height();
  info.resolution = ResolutionDpi(page->Tiff());
  info.mode = ModeOf(folvane::ReadPageLayout(*page));
  info.bytes = page->FileSize();
  return info;
}

}  // namespace bidder::desk
