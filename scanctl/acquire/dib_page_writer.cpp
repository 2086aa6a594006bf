#include "acquire/dib_page_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "pagefile/file_ops.h"
#include "acquire/page_resolution.h"
#include "pagefile/page_limits.h"
#include "pagefile/page_tiff.h"

namespace folvane {
namespace {

// The fastest level: on noisy scans the higher levels take several times as
// long for a tenth of the size at most.
constexpr int kDeflateLevel = 1;

enum class Layout { kBilevelMinIsBlack, kBilevelMinIsWhite, kGrey, kPalette, kRgb };

constexpr DibColour kBlack{0, 0, 0};
constexpr DibColour kWhite{255, 255, 255};

bool IsGreyRamp(const DibView& dib) {
  const std::size_t entries = std::size_t{1} << dib.BitsPerPixel();
  if (dib.Palette().size() != entries) return false;
  const unsigned step = 255 / static_cast<unsigned>(entries - 1);
  for (std::size_t i = 0; i < entries; ++i) {
    const auto v = static_cast<std::uint8_t>(i * step);
    if (!(dib.Palette()[i] == DibColour{v, v, v})) return false;
  }
  return true;
}

Layout ChooseLayout(const DibView& dib) {
  if (dib.BitsPerPixel() == 24) return Layout::kRgb;
  if (dib.BitsPerPixel() == 1) {
    if (dib.PaletteColour(0) == kBlack && dib.PaletteColour(1) == kWhite) return Layout::kBilevelMinIsBlack;
    if (dib.PaletteColour(0) == kWhite && dib.PaletteColour(1) == kBlack) return Layout::kBilevelMinIsWhite;
    return Layout::kPalette;
  }
  return IsGreyRamp(dib) ? Layout::kGrey : Layout::kPalette;
}

// libtiff's horizontal predictor is defined for 8-bit samples and up.
bool UsesPredictor(const DibView& dib, Layout layout) {
  return layout == Layout::kRgb || dib.BitsPerPixel() == 8;
}

bool SetTags(TIFF* tif, const DibView& dib, Layout layout) {
  const PageResolution res = ChoosePageResolution(dib.XPelsPerMeter(), dib.YPelsPerMeter(), dib.Width(), dib.Height());
  const bool rgb = layout == Layout::kRgb;
  const bool bilevel = layout == Layout::kBilevelMinIsBlack || layout == Layout::kBilevelMinIsWhite;
  const int bitsPerSample = rgb ? 8 : static_cast<int>(dib.BitsPerPixel());
  int photometric = PHOTOMETRIC_MINISBLACK;
  if (layout == Layout::kBilevelMinIsWhite) photometric = PHOTOMETRIC_MINISWHITE;
  else if (layout == Layout::kPalette) photometric = PHOTOMETRIC_PALETTE;
  else if (rgb) photometric = PHOTOMETRIC_RGB;

  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, dib.Width()) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, dib.Height()) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, rgb ? 3 : 1) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, dib.Height()) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, res.xDpi) && TIFFSetField(tif, TIFFTAG_YRESOLUTION, res.yDpi) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (!ok) return false;

  if (bilevel) return TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4) != 0;
  ok = TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) != 0;
  if (ok && UsesPredictor(dib, layout)) ok = TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  if (ok && layout == Layout::kPalette) {
    const std::size_t entries = std::size_t{1} << dib.BitsPerPixel();
    std::vector<std::uint16_t> red(entries), green(entries), blue(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      const DibColour c = dib.PaletteColour(i);
      red[i] = static_cast<std::uint16_t>(c.red * 257);
      green[i] = static_cast<std::uint16_t>(c.green * 257);
      blue[i] = static_cast<std::uint16_t>(c.blue * 257);
    }
    ok = TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  }
  return ok;
}

// The page is compressed in bands of rows, so that capture holds the bitmap
// and a working set of this size, never a second page: in a 32-bit browser
// a colour page at 600 dpi is 100 MiB of an address space of 2 GiB.
constexpr std::size_t kBandBytes = std::size_t{256} * 1024;

// Rows of the image top row first, rows unpadded, 24-bit pixels as RGB. With
// `difference` each sample is stored minus the same sample of the pixel to its
// left (the horizontal predictor), computed straight from the bitmap.
void FillRows(const DibView& dib, bool difference, std::uint32_t first, std::uint32_t count, std::uint8_t* out) {
  const std::size_t rowBytes = dib.RowBytes();
  const bool rgb = dib.BitsPerPixel() == 24;
  for (std::uint32_t y = first; y < first + count; ++y, out += rowBytes) {
    const std::uint8_t* in = dib.Row(y);
    if (!rgb && !difference) {
      std::memcpy(out, in, rowBytes);
    } else if (!rgb) {
      out[0] = in[0];
      for (std::size_t x = 1; x < rowBytes; ++x) out[x] = static_cast<std::uint8_t>(in[x] - in[x - 1]);
    } else {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      const std::size_t step = difference ? 3 : 0;
      for (std::size_t x = 3; x < rowBytes; x += 3) {
        out[x] = static_cast<std::uint8_t>(in[x + 2] - (difference ? in[x + 2 - step] : 0));
        out[x + 1] = static_cast<std::uint8_t>(in[x + 1] - (difference ? in[x + 1 - step] : 0));
        out[x + 2] = static_cast<std::uint8_t>(in[x] - (difference ? in[x - step] : 0));
      }
    }
  }
}

// Buffers are written in full before they are read: no zero fill.
std::unique_ptr<std::uint8_t[]> Uninitialised(std::size_t size) {
  return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);
}

std::uint32_t RowsPerBand(const DibView& dib) {
  const std::size_t rows = kBandBytes / std::max<std::size_t>(dib.RowBytes(), 1);
  return static_cast<std::uint32_t>(std::clamp<std::size_t>(rows, 1, dib.Height()));
}

// A zlib stream that goes to the page's one strip as it is produced: libtiff
// appends each raw write to the strip it last wrote.
class DeflateStripWriter {
 public:
  explicit DeflateStripWriter(TIFF* tif) : tif_(tif), out_(Uninitialised(kBandBytes)) {
    ok_ = deflateInit(&stream_, kDeflateLevel) == Z_OK;
  }
  ~DeflateStripWriter() {
    if (ok_) deflateEnd(&stream_);
  }
  DeflateStripWriter(const DeflateStripWriter&) = delete;
  DeflateStripWriter& operator=(const DeflateStripWriter&) = delete;

  bool Add(const std::uint8_t* data, std::size_t size) { return Run(data, size, Z_NO_FLUSH); }
  bool Finish() { return Run(nullptr, 0, Z_FINISH); }

 private:
  bool Run(const std::uint8_t* data, std::size_t size, int flush) {
    if (!ok_) return false;
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    do {
      stream_.next_out = out_.get();
      stream_.avail_out = static_cast<uInt>(kBandBytes);
      status = deflate(&stream_, flush);
      if (status == Z_STREAM_ERROR) return false;
      const std::size_t produced = kBandBytes - stream_.avail_out;
      if (produced != 0 && TIFFWriteRawStrip(tif_, 0, out_.get(), static_cast<tmsize_t>(produced)) < 0)
        return false;
    } while (stream_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    return true;
  }

  TIFF* tif_;
  z_stream stream_{};
  std::unique_ptr<std::uint8_t[]> out_;
  bool ok_ = false;
};

bool WriteDeflateStrip(TIFF* tif, const DibView& dib, bool difference) {
  const std::uint32_t rowsPerBand = RowsPerBand(dib);
  const auto band = Uninitialised(dib.RowBytes() * rowsPerBand);
  DeflateStripWriter strip(tif);
  for (std::uint32_t y = 0; y < dib.Height(); y += rowsPerBand) {
    const std::uint32_t rows = std::min(rowsPerBand, dib.Height() - y);
    FillRows(dib, difference, y, rows, band.get());
    if (!strip.Add(band.get(), dib.RowBytes() * rows)) return false;
  }
  return strip.Finish();
}

// Row by row through libtiff's G4 coder, which keeps its output in a buffer
// of the size set here (by default it would take one of the whole page's
// size) and writes it to the strip whenever it is full. A G4 page is small:
// a sixteenth of the bitmap or less.
bool WriteBilevelStrip(TIFF* tif, const DibView& dib) {
  constexpr tmsize_t kCodedBufferBytes = 64 * 1024;
  if (!TIFFWriteBufferSetup(tif, nullptr, kCodedBufferBytes)) return false;
  // libtiff takes a writable row; the bitmap's stays as it is.
  const auto row = Uninitialised(dib.RowBytes());
  for (std::uint32_t y = 0; y < dib.Height(); ++y) {
    std::memcpy(row.get(), dib.Row(y), dib.RowBytes());
    if (TIFFWriteScanline(tif, row.get(), y, 0) < 0) return false;
  }
  return true;
}

// The outputs' own opener decides, with the limits they apply: a page they
// would refuse (a huge blank bilevel page compresses beyond what they
// accept) is not kept. The file is closed again before it is moved.
bool OutputsAccept(const std::string& path) { return PageTiff::Open(path) != nullptr; }

}  // namespace

bool EncodeDibAsTiff(const DibView& dib, const std::string& path) {
  TiffPtr tif = CreatePageTiff(path);
  if (!tif) return false;
  const Layout layout = ChooseLayout(dib);
  if (!SetTags(tif.get(), dib, layout)) return false;
  const bool written = layout == Layout::kBilevelMinIsBlack || layout == Layout::kBilevelMinIsWhite
                           ? WriteBilevelStrip(tif.get(), dib)
                           : WriteDeflateStrip(tif.get(), dib, UsesPredictor(dib, layout));
  // Writes the directory now, where a full disk can still be seen.
  return written && TIFFFlush(tif.get()) != 0;
}

bool WriteDibPage(std::span<const std::uint8_t> packedDib, const std::string& path) noexcept {
  // The old file goes first, before anything can fail.
  RemoveFileIfPresent(path);
  std::string partial;
  try {
    const auto dib = DibView::Parse(packedDib);
    // Stored pixels are as deep as the bitmap's (24-bit pixels as 3 x 8 bits).
    if (!dib || !PageSizeWithinLimits(dib->Width(), dib->Height(), dib->BitsPerPixel())) return false;
    partial = path + ".part";
    if (EncodeDibAsTiff(*dib, partial) && OutputsAccept(partial) && MoveFileOver(partial, path))
      return true;
  } catch (const std::bad_alloc&) {
    // A page larger than the memory left: the page is lost like one that
    // cannot be written, and the scan goes on. (The libtiff handle is closed
    // by now, so the partial file can go.)
  }
  if (!partial.empty()) RemoveFileIfPresent(partial);
  return false;
}

}  // namespace folvane
