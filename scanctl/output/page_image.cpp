#include "page_image.h"

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

namespace folvane {
namespace {

// ---- The file under libtiff, read through our own FILE* ----
// Our own procedures give the file's size for checking strip sizes, open
// narrow (ANSI) names the same way on every platform, and map nothing.

struct InputFile {
  std::FILE* file = nullptr;
  std::uint64_t size = 0;
};

bool Seek(std::FILE* f, std::int64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(f, offset, whence) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), whence) == 0;
#endif
}

std::int64_t Tell(std::FILE* f) {
#ifdef _WIN32
  return _ftelli64(f);
#else
  return ftello(f);
#endif
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  if (size <= 0) return 0;
  auto* in = static_cast<InputFile*>(handle);
  return static_cast<tmsize_t>(std::fread(buffer, 1, static_cast<std::size_t>(size), in->file));
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* in = static_cast<InputFile*>(handle);
  if (!Seek(in->file, static_cast<std::int64_t>(offset), whence)) return static_cast<toff_t>(-1);
  return static_cast<toff_t>(Tell(in->file));
}
int CloseProc(thandle_t) { return 0; }  // the FILE* belongs to LoadPageImage
toff_t SizeProc(thandle_t handle) { return static_cast<InputFile*>(handle)->size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// A page that cannot be read is skipped without a word, so libtiff's
// complaints go nowhere.
int Silence(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// libtiff's own buffers (strips, tables) stay under this.
constexpr tmsize_t kMaxLibtiffAllocation = 256 << 20;

// ---- What the page holds ----

struct Layout {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bitsPerSample = 1, samplesPerPixel = 1, photometric = 0, compression = 1;
  std::uint16_t planar = PLANARCONFIG_CONTIG, fillOrder = FILLORDER_MSB2LSB, predictor = 1;
  int colors = 1;  // samples per pixel that reach the PDF (extra samples are dropped)
  std::uint64_t rowBytes = 0;  // one PDF row, padded to a whole byte
};

template <typename T>
T Defaulted(TIFF* tif, ttag_t tag, T fallback) {
  T value{};
  return TIFFGetFieldDefaulted(tif, tag, &value) ? value : fallback;
}

bool IsSupportedGrayOrPaletteDepth(std::uint16_t bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }

// Fills `layout` and the image's colour model; false for what PDF 1.4 or this
// reader cannot show without loss.
bool ReadLayout(TIFF* tif, Layout& layout, PageImage& image) {
  if (TIFFIsTiled(tif)) return false;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.height))
    return false;
  if (layout.width == 0 || layout.height == 0 || layout.width > kMaxImageSide || layout.height > kMaxImageSide)
    return false;
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &layout.photometric)) return false;
  layout.bitsPerSample = Defaulted<std::uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  layout.samplesPerPixel = Defaulted<std::uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  layout.compression = Defaulted<std::uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  layout.planar = Defaulted<std::uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  layout.fillOrder = Defaulted<std::uint16_t>(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  if (Defaulted<std::uint16_t>(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) != SAMPLEFORMAT_UINT) return false;
  // Only the codecs with a predictor know the tag.
  std::uint16_t predictor = 1;
  if (TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor)) layout.predictor = predictor;

  const std::uint16_t bits = layout.bitsPerSample;
  switch (layout.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
      image.colorModel = PdfColorModel::kGray;
      layout.colors = 1;
      if (!IsSupportedGrayOrPaletteDepth(bits)) return false;
      break;
    case PHOTOMETRIC_PALETTE: {
      image.colorModel = PdfColorModel::kIndexed;
      layout.colors = 1;
      if (!IsSupportedGrayOrPaletteDepth(bits)) return false;
      std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
      if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) return false;
      const std::size_t entries = std::size_t{1} << bits;
      image.palette.resize(entries * 3);
      for (std::size_t i = 0; i < entries; ++i) {  // 16-bit entries: the high byte is the 8-bit value
        image.palette[i * 3] = static_cast<std::uint8_t>(red[i] >> 8);
        image.palette[i * 3 + 1] = static_cast<std::uint8_t>(green[i] >> 8);
        image.palette[i * 3 + 2] = static_cast<std::uint8_t>(blue[i] >> 8);
      }
      break;
    }
    case PHOTOMETRIC_RGB:
      image.colorModel = PdfColorModel::kRgb;
      layout.colors = 3;
      if (bits != 8) return false;
      break;
    case PHOTOMETRIC_SEPARATED:
      if (Defaulted<std::uint16_t>(tif, TIFFTAG_INKSET, INKSET_CMYK) != INKSET_CMYK) return false;
      image.colorModel = PdfColorModel::kCmyk;
      layout.colors = 4;
      if (bits != 8) return false;
      break;
    case PHOTOMETRIC_YCBCR:
      // JPEG-compressed colour: libtiff's JPEG codec can hand out RGB.
      if (layout.compression != COMPRESSION_JPEG || bits != 8) return false;
      if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) return false;
      image.colorModel = PdfColorModel::kRgb;
      layout.colors = 3;
      layout.samplesPerPixel = 3;
      break;
    default:
      return false;
  }
  if (layout.samplesPerPixel < layout.colors) return false;
  // Extra samples (alpha) are dropped, which this reader does byte-wise only.
  if (layout.samplesPerPixel > layout.colors && bits != 8) return false;
  if (layout.samplesPerPixel > 1 && layout.planar != PLANARCONFIG_CONTIG) return false;

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

bool ReadOnlyStrip(TIFF* tif, const InputFile& in, std::vector<std::uint8_t>& data) {
  int error = 0;
  const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tif, 0, &error);
  if (error) return false;
  const std::uint64_t size = TIFFGetStrileByteCountWithErr(tif, 0, &error);
  // The size a directory claims is checked against the file before anything is allocated.
  if (error || size == 0 || offset > in.size || size > in.size - offset || size > kMaxDecodedBytes) return false;
  data.resize(static_cast<std::size_t>(size));
  return TIFFReadRawStrip(tif, 0, data.data(), static_cast<tmsize_t>(size)) == static_cast<tmsize_t>(size);
}

// A zlib stream's two header bytes (deflate, a window PDF readers accept, the
// check bits). Decoding the whole strip to prove it would cost more than the
// rest of the binding; a strip that does not even start as zlib data goes
// through libtiff instead, which refuses it.
bool StartsLikeZlib(const std::vector<std::uint8_t>& data) {
  return data.size() >= 2 && (data[0] & 0x0F) == 8 && (data[0] >> 4) <= 7 && ((data[0] << 8) | data[1]) % 31 == 0;
}

// Takes the strip unchanged where PDF has a filter for it that decodes to the
// same samples.
bool TryPassThrough(TIFF* tif, const InputFile& in, const Layout& layout, PageImage& image) {
  if (TIFFNumberOfStrips(tif) != 1 || layout.fillOrder != FILLORDER_MSB2LSB) return false;
  if (layout.compression == COMPRESSION_CCITTFAX4) {
    if (layout.bitsPerSample != 1 || layout.samplesPerPixel != 1 || image.colorModel != PdfColorModel::kGray)
      return false;
    std::uint32_t options = 0;
    // Uncompressed-mode extensions are rare and not every reader decodes them.
    if (TIFFGetField(tif, TIFFTAG_T6OPTIONS, &options) && (options & GROUP4OPT_UNCOMPRESSED)) return false;
    if (!ReadOnlyStrip(tif, in, image.data)) return false;
    image.encoding = PdfImageEncoding::kCcittG4;
    // The codes say "white run" and "black run"; libtiff gives white runs as
    // 0 bits, which a min-is-black page shows black.
    image.blackIs1 = layout.photometric == PHOTOMETRIC_MINISBLACK;
    image.passedThrough = true;
    return true;
  }
  if (layout.compression == COMPRESSION_ADOBE_DEFLATE || layout.compression == COMPRESSION_DEFLATE) {
    // Min-is-white grey would need a Decode array: it is re-encoded instead.
    if (layout.photometric == PHOTOMETRIC_MINISWHITE || layout.samplesPerPixel != layout.colors) return false;
    if (layout.predictor != 1 && !(layout.predictor == 2 && layout.bitsPerSample == 8)) return false;
    if (!ReadOnlyStrip(tif, in, image.data) || !StartsLikeZlib(image.data)) return false;
    image.encoding = PdfImageEncoding::kFlate;
    image.tiffPredictor = layout.predictor == 2;
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

bool Reencode(TIFF* tif, const Layout& layout, PageImage& image) {
  const tmsize_t lineSize = TIFFScanlineSize(tif);
  const std::uint64_t bitsPerPixel = std::uint64_t{layout.samplesPerPixel} * layout.bitsPerSample;
  const std::uint64_t needed = (layout.width * bitsPerPixel + 7) / 8;
  if (lineSize <= 0 || static_cast<std::uint64_t>(lineSize) < needed || needed > kMaxDecodedBytes) return false;

  std::vector<std::uint8_t> line(static_cast<std::size_t>(lineSize));
  std::vector<std::uint8_t> row(static_cast<std::size_t>(layout.rowBytes));
  image.data.clear();
  FlateSink sink(image.data);
  const bool invert = layout.photometric == PHOTOMETRIC_MINISWHITE;
  for (std::uint32_t y = 0; y < layout.height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return false;
    if (layout.samplesPerPixel == layout.colors) {
      std::copy_n(line.begin(), row.size(), row.begin());
    } else {  // 8-bit samples: keep the colour samples of each pixel
      for (std::uint32_t x = 0; x < layout.width; ++x)
        std::copy_n(line.begin() + std::size_t{x} * layout.samplesPerPixel, layout.colors,
                    row.begin() + std::size_t{x} * layout.colors);
    }
    // Written as min-is-black, the one grey PDF knows without a Decode array.
    if (invert)
      for (auto& b : row) b = static_cast<std::uint8_t>(~b);
    if (!sink.Add(row.data(), row.size())) return false;
  }
  if (!sink.Finish()) return false;
  image.encoding = PdfImageEncoding::kFlate;
  image.tiffPredictor = false;
  image.blackIs1 = false;
  image.passedThrough = false;
  return true;
}

std::optional<PageImage> Load(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  InputFile in{file.get(), 0};
  if (!Seek(in.file, 0, SEEK_END)) return std::nullopt;
  const std::int64_t size = Tell(in.file);
  if (size <= 0 || !Seek(in.file, 0, SEEK_SET)) return std::nullopt;
  in.size = static_cast<std::uint64_t>(size);

  std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) return std::nullopt;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibtiffAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Silence, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Silence, nullptr);
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt(path.c_str(), "rm", &in, ReadProc, WriteProc, SeekProc,
                                                          CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
  if (!tif) return std::nullopt;

  PageImage image;
  Layout layout;
  if (!ReadLayout(tif.get(), layout, image)) return std::nullopt;
  ReadResolution(tif.get(), image);
  if (TryPassThrough(tif.get(), in, layout, image)) return image;
  image.data.clear();
  if (!Reencode(tif.get(), layout, image)) return std::nullopt;
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
