#pragma once
// An open libtiff handle that closes itself, opened with libtiff's messages
// kept out of the host's console (a control has none; tools report failures
// their own way) and, for reading, with a bound on any single allocation, so
// a hostile header cannot make libtiff reserve gigabytes.
#include <tiffio.h>

#include <memory>
#include <string>

namespace folvane {

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Largest single allocation libtiff may make for a page file: a colour A4
// page at 600 dpi is about 100 MiB decoded, well inside it.
inline constexpr tmsize_t kMaxTiffAllocation = tmsize_t{512} * 1024 * 1024;

// mode as for TIFFOpen; memory mapping is always off ("m"), so a file that
// another process shortens while it is read gives an error, not a crash.
TiffPtr OpenTiffQuietly(const std::string& path, const char* mode);

}  // namespace folvane
