#pragma once
// One TIFF field read with libtiff's default for a tag the file leaves out.
#include <tiffio.h>

namespace folvane {

// The field's value, libtiff's default when the file has none, or `fallback`
// when libtiff has no default either (or the field cannot be read).
template <typename T>
T Defaulted(TIFF* tif, ttag_t tag, T fallback) {
  T value{};
  return TIFFGetFieldDefaulted(tif, tag, &value) ? value : fallback;
}

}  // namespace folvane
