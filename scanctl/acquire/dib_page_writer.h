#pragma once
// One scanned page, from the bitmap the scanner delivered to its TIFF page
// file. Each page is encoded so that a PDF can take its one compressed strip
// as it is, and so that reading it back gives exactly the bitmap's pixels:
//   1 bit, black and white palette  CCITT G4, MinIsBlack or MinIsWhite as
//                                    the palette's order says (the bits stay
//                                    as scanned)
//   1 bit, any other two colours    palette, Deflate
//   4 bit grey ramp / other palette grey / palette, Deflate
//   8 bit grey ramp / other palette grey / palette, Deflate, horizontal predictor
//   24 bit                           RGB, Deflate, horizontal predictor
// always in a single strip, Deflate at its fastest level. (libtiff's
// horizontal predictor works on 8-bit samples and up, hence none below.)
#include <cstdint>
#include <span>
#include <string>

#include "acquire/dib.h"

namespace folvane {

// Writes the bitmap to `path` as a new TIFF file; false on any failure. The
// file is written under a temporary name and moved into place when complete;
// whatever happens, no older file is left at `path` (as long as the file
// system lets it be removed), so a failed page never shows another
// document's page under its name. Never throws: running out of memory is a
// failure like any other (the page is called from a message hook).
bool WriteDibPage(std::span<const std::uint8_t> packedDib, const std::string& path) noexcept;

// The encoding alone: writes `path` directly. False on failure, in which case
// the caller removes the partial file; throws std::bad_alloc when a page
// buffer cannot be had.
bool EncodeDibAsTiff(const DibView& dib, const std::string& path);

}  // namespace folvane
