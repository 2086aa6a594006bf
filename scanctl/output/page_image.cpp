#include "page_image.h"

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>

#include "pagefile/file_ops.h"
#include "pagefile/page_layout.h"
#include "pagefile/page_tiff.h"
#include "pagefile/tiff_field.h"

namespace folvane {
namespace {

// ---- What the page holds ----

struct Layout {
  PageLayout file;
  std::uint32_t width = 0, height = 0;
  std::uint16_t samplesPerPixel = 1;  // as decoded (JPEG's YCbCr comes out as RGB)
  int colors = 1;  // samples per pixel that reach the PDF (extra samples are dropped)
  std::uint64_t rowBytes = 0;  // one PDF row, padded to a whole byte
};

bool IsSupportedGrayOrPaletteDepth(std::uint16_t bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }

// Fills `layout` and the image's colour model; false for what PDF 1.4 or this
// reader cannot show without loss.
bool ReadLayout(const PageTiff& page, Layout& layout, PageImage& image) {
  layout.file = ReadPageLayout(page);
  const PageLayout& file = layout.file;
  layout.width = page.Width();
  layout.height = page.Height();
  layout.samplesPerPixel = file.samplesPerPixel;
  layout.colors = file.ColourSamples();
  if (!file.unsignedSamples) return false;

  const std::uint16_t bits = file.bitsPerSample;
  switch (file.colour) {
    case PageColour::kGrey:
      image.colorModel = PdfColorModel::kGray;
      if (!IsSupportedGrayOrPaletteDepth(bits)) return false;
      break;
    case PageColour::kPalette:
      image.colorModel = PdfColorModel::kIndexed;
      if (!IsSupportedGrayOrPaletteDepth(bits) || file.colourMap.empty()) return false;
      image.palette = file.colourMap;
      break;
    case PageColour::kRgb:
      image.colorModel = PdfColorModel::kRgb;
      if (bits != 8) return false;
      break;
    case PageColour::kCmyk:
      image.colorModel = PdfColorModel::kCmyk;
      if (bits != 8) return false;
      break;
    case PageColour::kYCbCr:
      // JPEG-compressed colour: libtiff's JPEG codec can hand out RGB.
      if (file.compression != COMPRESSION_JPEG || bits != 8) return false;
      if (!TIFFSetField(page.Tiff(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) return false;
      image.colorModel = PdfColorModel::kRgb;
      layout.samplesPerPixel = 3;
      break;
    case PageColour::kOther:
      return false;
  }
  if (layout.samplesPerPixel < layout.colors) return false;
  // Extra samples (alpha) are dropped, which this reader does byte-wise only.
  if (layout.samplesPerPixel > layout.colors && bits != 8) return false;
  if (layout.samplesPerPixel > 1 && !file.contiguous) return false;

  layout.rowBytes = (std::uint64_t{layout.width} * layout.colors * bits + 7) / 8;
  if (layout.rowBytes * layout.height > kMaxDecodedBytes) return false;
  image.width = layout.width;
  image.height = layout.height;
  image.bitsPerComponent = bits;
  return true;
}

void ReadResolution(TIFF* tif, PageImage& image) {
  float x = 0, y = 0;
  if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x)) x = 0;
  if (!TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y)) y = 0;
  const auto unit = Defaulted<std::uint16_t>(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  const double perInch = unit == RESUNIT_INCH ? 1.0 : unit == RESUNIT_CENTIMETER ? 2.54 : 0.0;
  image.xDpi = x * perInch;
  image.yDpi = y * perInch;
}

// ---- The file's own compressed strip ----

// Where the one strip lies, after checking the size the directory claims
// against the file.
bool FindOnlyStrip(const PageTiff& page, FileSpan& strip) {
  TIFF* tif = page.Tiff();
  int error = 0;
  const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tif, 0, &error);
  if (error) return false;
  const std::uint64_t size = TIFFGetStrileByteCountWithErr(tif, 0, &error);
  if (error || size == 0 || offset > page.FileSize() || size > page.FileSize() - offset || size > kMaxDecodedBytes)
    return false;
  strip.offset = offset;
  strip.length = size;
  return true;
}

// A zlib stream's two header bytes (deflate, a window PDF readers accept, the
// check bits). Decoding the whole strip to prove it would cost more than the
// rest of the binding; a strip that does not even start as zlib data goes
// through libtiff instead, which refuses it.
bool StartsLikeZlib(const PageTiff& page, const FileSpan& strip) {
  std::uint8_t head[2];
  if (strip.length < 2 || !SeekFile(page.File(), static_cast<std::int64_t>(strip.offset), SEEK_SET)) return false;
  if (std::fread(head, 1, 2, page.File()) != 2) return false;
  return (head[0] & 0x0F) == 8 && (head[0] >> 4) <= 7 && ((head[0] << 8) | head[1]) % 31 == 0;
}

// Takes the strip unchanged where PDF has a filter for it that decodes to the
// same samples, in the order the page is shown.
// The strip is then copied from the file that was checked, which the page
// hands over: no other file can have taken its name in between.
bool TryPassThrough(PageTiff& page, const Layout& layout, PageImage& image) {
  TIFF* tif = page.Tiff();
  if (page.Tiled() || page.BottomUp() || TIFFNumberOfStrips(tif) != 1 || !layout.file.msbFirst)
    return false;
  if (layout.file.compression == COMPRESSION_CCITTFAX4) {
    if (layout.file.bitsPerSample != 1 || layout.samplesPerPixel != 1 || image.colorModel != PdfColorModel::kGray)
      return false;
    std::uint32_t options = 0;
    // Uncompressed-mode extensions are rare and not every reader decodes them.
    if (TIFFGetField(tif, TIFFTAG_T6OPTIONS, &options) && (options & GROUP4OPT_UNCOMPRESSED)) return false;
    if (!FindOnlyStrip(page, image.strip)) return false;
    image.strip.file.reset(page.ReleaseFile());
    image.encoding = PdfImageEncoding::kCcittG4;
    // The codes say "white run" and "black run"; libtiff gives white runs as
    // 0 bits, which a min-is-black page shows black.
    image.blackIs1 = !layout.file.minIsWhite;
    image.passedThrough = true;
    return true;
  }
  if (layout.file.compression == COMPRESSION_ADOBE_DEFLATE || layout.file.compression == COMPRESSION_DEFLATE) {
    // Min-is-white grey would need a Decode array: it is re-encoded instead.
    if (layout.file.minIsWhite || layout.samplesPerPixel != layout.colors) return false;
    const std::uint16_t predictor = layout.file.predictor;
    if (predictor != 1 && !(predictor == 2 && layout.file.bitsPerSample == 8)) return false;
    if (!FindOnlyStrip(page, image.strip) || !StartsLikeZlib(page, image.strip)) return false;
    image.strip.file.reset(page.ReleaseFile());
    image.encoding = PdfImageEncoding::kFlate;
    image.tiffPredictor = predictor == 2;
    image.passedThrough = true;
    return true;
  }
  return false;
}

// ---- Decoding and re-encoding ----

class FlateSink {
 public:
  explicit FlateSink(std::vector<std::uint8_t>& out) : out_(out) {
    ok_ = deflateInit(&stream_, kLevel) == Z_OK;
  }
  ~FlateSink() { deflateEnd(&stream_); }
  FlateSink(const FlateSink&) = delete;
  FlateSink& operator=(const FlateSink&) = delete;

  bool Add(const std::uint8_t* data, std::size_t size) { return Run(data, size, Z_NO_FLUSH); }
  bool Finish() { return Run(nullptr, 0, Z_FINISH); }

 private:
  static constexpr int kLevel = 6;

  bool Run(const std::uint8_t* data, std::size_t size, int flush) {
    if (!ok_) return false;
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = static_cast<uInt>(size);
    std::uint8_t chunk[1 << 15];
    int status = Z_OK;
    do {
      stream_.next_out = chunk;
      stream_.avail_out = sizeof chunk;
      status = deflate(&stream_, flush);
      if (status == Z_STREAM_ERROR) return ok_ = false;
      out_.insert(out_.end(), chunk, chunk + (sizeof chunk - stream_.avail_out));
    } while (stream_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    return true;
  }

  std::vector<std::uint8_t>& out_;
  z_stream stream_{};
  bool ok_ = false;
};

bool Reencode(const PageTiff& page, const Layout& layout, PageImage& image) {
  const tmsize_t lineSize = TIFFScanlineSize(page.Tiff());
  const std::uint64_t bitsPerPixel = std::uint64_t{layout.samplesPerPixel} * layout.file.bitsPerSample;
  const std::uint64_t needed = (layout.width * bitsPerPixel + 7) / 8;
  if (lineSize <= 0 || static_cast<std::uint64_t>(lineSize) < needed || needed > kMaxDecodedBytes) return false;

  std::vector<std::uint8_t> row(static_cast<std::size_t>(layout.rowBytes));
  image.data.clear();
  FlateSink sink(image.data);
  // Min-is-white comes out as min-is-black, the one grey PDF knows without
  // a Decode array.
  PageRowReader rows(page, static_cast<std::size_t>(lineSize), layout.file.minIsWhite);
  bool read = true;
  while (const std::uint8_t* line = rows.Next()) {
    if (layout.samplesPerPixel == layout.colors) {
      std::copy_n(line, row.size(), row.begin());
    } else {  // 8-bit samples: keep the colour samples of each pixel
      for (std::uint32_t x = 0; x < layout.width; ++x)
        std::copy_n(line + std::size_t{x} * layout.samplesPerPixel, layout.colors,
                    row.begin() + std::size_t{x} * layout.colors);
    }
    if (!sink.Add(row.data(), row.size())) {
      read = false;
      break;
    }
  }
  if (!read || rows.Failed() || !sink.Finish()) return false;
  image.encoding = PdfImageEncoding::kFlate;
  image.tiffPredictor = false;
  image.blackIs1 = false;
  image.passedThrough = false;
  return true;
}

std::optional<PageImage> Load(const std::string& path) {
  const std::unique_ptr<PageTiff> page = PageTiff::Open(path);
  if (!page) return std::nullopt;
  PageImage image;
  Layout layout;
  if (!ReadLayout(*page, layout, image)) return std::nullopt;
  ReadResolution(page->Tiff(), image);
  if (TryPassThrough(*page, layout, image)) return image;
  image.strip = FileSpan{};
  if (!Reencode(*page, layout, image)) return std::nullopt;
  return image;
}

}  // namespace

std::optional<PageImage> LoadPageImage(const std::string& path) {
  try {
    return Load(path);
  } catch (const std::bad_alloc&) {
    return std::nullopt;  // a page too large for this process is skipped like a damaged one
  }
}

}  // namespace folvane
