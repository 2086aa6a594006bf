#pragma once
// A page file read as the image of one PDF page. Page files are untrusted
// (any file can sit under a page file's name): reading never crashes and
// never allocates more than the limits of page_tiff.h allow.
//
// The compressed strip goes into the PDF unchanged where the file allows it
// (one strip of CCITT G4, or of Deflate with or without the horizontal
// predictor, in a colour model PDF has, stored top row first); everything
// else that libtiff can decode in a form PDF 1.4 shows without loss
// (including tiled files and files stored bottom row first) is re-encoded
// with Flate, rows in the order the page is shown.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/file_span_copy.h"

namespace folvane {

enum class PdfColorModel { kGray, kRgb, kCmyk, kIndexed };

enum class PdfImageEncoding {
  kCcittG4,  // /CCITTFaxDecode, K -1
  kFlate,    // /FlateDecode, optionally with the TIFF predictor (Predictor 2)
};

struct PageImage {
  std::uint32_t width = 0;   // pixels
  std::uint32_t height = 0;  // pixels
  // Pixels per inch as the file states them; 0 when the file has no usable
  // resolution.
  double xDpi = 0;
  double yDpi = 0;
  PdfColorModel colorModel = PdfColorModel::kGray;
  int bitsPerComponent = 8;
  // kIndexed: (1 << bitsPerComponent) RGB triples of 8 bits.
  std::vector<std::uint8_t> palette;
  PdfImageEncoding encoding = PdfImageEncoding::kFlate;
  bool blackIs1 = false;      // kCcittG4: the decoded 1 bits are black
  bool tiffPredictor = false;  // kFlate: rows are horizontal differences
  bool passedThrough = false;  // the file's own compressed data, unchanged
  // The stream's encoded bytes: `data` when re-encoded; when passed through,
  // `strip`, the page file's strip, kept open until the page is written and
  // copied from there (a strip may be 512 MiB: it is never read whole).
  std::vector<std::uint8_t> data;
  FileSpan strip;
};

// nullopt when the file is missing, not a TIFF, damaged, beyond the limits
// of page_tiff.h, or holds an image this reader does not support (separate
// planes, 16-bit samples, which PDF 1.4 cannot hold, colour models other than
// grey, palette, RGB and CMYK).
std::optional<PageImage> LoadPageImage(const std::string& path);

}  // namespace folvane
