#pragma once
// A bitmap file (.bmp): BITMAPFILEHEADER, then the DIB header and colour
// table, then the bits at the offset the file header gives.
#include <string>

namespace folvane {

// Turns the bytes of a bitmap file into a packed DIB (header, table and bits
// back to back), as a scanner's native transfer delivers it, in the same
// buffer: a page-sized bitmap is never held twice. False, with `bytes` left
// as they were, when the file is not a bitmap file or its parts do not fit
// in it.
bool PackBmpFileInPlace(std::string& bytes);

}  // namespace folvane
