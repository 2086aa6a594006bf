#pragma once
// Streams a decoded page into a PNG file with libpng, one row at a time, at
// zlib's fastest level.
#include <string>

#include "output/tiff_page_reader.h"

namespace folvane {

enum class PngWriteStatus {
  kWritten,
  kSourceFailed,  // the page could not be decoded to its end
  kOutputFailed,  // the PNG file could not be created or written
};

// Writes `path` directly. On failure a file this call created is removed
// again; a file it could not open (read-only, locked) is left alone.
PngWriteStatus WritePng(TiffPageReader& source, const std::string& path);

}  // namespace folvane
