#include "pagefile/page_tiff.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "pagefile/file_ops.h"
#include "pagefile/tiff_field.h"

namespace folvane {
namespace {

// libtiff's own buffers (strips, tables) stay under this.
constexpr tmsize_t kMaxLibtiffAllocation = tmsize_t{256} << 20;

// ---- The file under libtiff, read through our own FILE* ----
// Our own procedures give the file's size for checking strip sizes, open
// narrow (ANSI) names the same way on every platform, and map nothing.

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  if (size <= 0) return 0;
  return static_cast<tmsize_t>(std::fread(buffer, 1, static_cast<std::size_t>(size), static_cast<std::FILE*>(handle)));
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<std::FILE*>(handle);
  if (offset > static_cast<toff_t>(INT64_MAX) || !SeekFile(file, static_cast<std::int64_t>(offset), whence))
    return static_cast<toff_t>(-1);
  return static_cast<toff_t>(TellFile(file));
}
int CloseProc(thandle_t) { return 0; }  // the FILE* belongs to PageTiff
toff_t SizeProc(thandle_t handle) {
  auto* file = static_cast<std::FILE*>(handle);
  const std::int64_t here = TellFile(file);
  if (here < 0 || !SeekFile(file, 0, SEEK_END)) return 0;
  const std::int64_t size = TellFile(file);
  SeekFile(file, here, SEEK_SET);
  return size < 0 ? 0 : static_cast<toff_t>(size);
}
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// A page that cannot be read is reported by the caller in its own words, so
// libtiff's complaints go nowhere.
int Silence(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
using OpenOptions = std::unique_ptr<TIFFOpenOptions, OptionsFree>;

OpenOptions QuietBoundedOptions() {
  OpenOptions options(TIFFOpenOptionsAlloc());
  if (!options) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibtiffAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Silence, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Silence, nullptr);
  return options;
}

}  // namespace

TiffPtr CreatePageTiff(const std::string& path) {
  const OpenOptions options = QuietBoundedOptions();
  if (!options) return nullptr;
  return TiffPtr(TIFFOpenExt(path.c_str(), "w", options.get()));
}

std::unique_ptr<PageTiff> PageTiff::Open(const std::string& path) {
  std::unique_ptr<PageTiff> page(new PageTiff);
  page->file_ = std::fopen(path.c_str(), "rb");
  if (!page->file_) return nullptr;
  if (!SeekFile(page->file_, 0, SEEK_END)) return nullptr;
  const std::int64_t size = TellFile(page->file_);
  if (size <= 0 || !SeekFile(page->file_, 0, SEEK_SET)) return nullptr;
  page->size_ = static_cast<std::uint64_t>(size);

  const OpenOptions options = QuietBoundedOptions();
  if (!options) return nullptr;
  page->tif_ = TIFFClientOpenExt(path.c_str(), "rm", page->file_, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                 MapProc, UnmapProc, options.get());
  if (!page->tif_ || !page->Check()) return nullptr;
  return page;
}

PageTiff::~PageTiff() {
  if (tif_) TIFFClose(tif_);
  if (file_) std::fclose(file_);
}

bool PageTiff::Check() {
  TIFF* tif = tif_;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width_) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height_)) return false;
  if (width_ == 0 || height_ == 0 || width_ > kMaxImageSide || height_ > kMaxImageSide) return false;
  if (!TIFFIsCODECConfigured(Defaulted<std::uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE))) return false;
  const std::uint64_t samples = Defaulted<std::uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  const std::uint64_t bits = Defaulted<std::uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  const std::uint64_t decodedBytes = DecodedPageBytes(width_, height_, samples * bits);
  if (!PageSizeWithinLimits(width_, height_, samples * bits)) return false;

  const auto orientation = Defaulted<std::uint16_t>(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  if (orientation != ORIENTATION_TOPLEFT && orientation != ORIENTATION_BOTLEFT) return false;
  bottomUp_ = orientation == ORIENTATION_BOTLEFT;

  // Every strip or tile is where the directory says, before any is read.
  const std::uint32_t units = Tiled() ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  if (units == 0 || !StrileTablesMatch(units) || !StrilesApart(units, decodedBytes)) return false;

  // One strip, or one row of tiles, decoded whole.
  std::uint64_t unitBytes = 0, unitPixels = 0;
  if (Tiled()) {
    std::uint32_t tileWidth = 0, tileLength = 0;
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength) ||
        tileWidth == 0 || tileLength == 0)
      return false;
    const std::uint64_t across = (std::uint64_t{width_} + tileWidth - 1) / tileWidth;
    unitRows_ = tileLength;
    unitBytes = across * TIFFTileSize64(tif);
    unitPixels = across * tileWidth * std::uint64_t{tileLength};
  } else {
    unitRows_ = std::clamp<std::uint32_t>(Defaulted<std::uint32_t>(tif, TIFFTAG_ROWSPERSTRIP, height_), 1, height_);
    unitBytes = TIFFVStripSize64(tif, unitRows_);
    unitPixels = std::uint64_t{width_} * unitRows_;
  }
  unitsFit_ = unitBytes != 0 && unitBytes <= kMaxUnitBytes && unitPixels * 4 <= kMaxUnitBytes;
  return true;
}

// libtiff pads an offset or byte count table shorter than the number of
// strips or tiles with zeros (the missing tiles are then drawn from the
// file's header), so the tables' lengths are read from the directory itself.
bool PageTiff::StrileTablesMatch(std::uint32_t units) {
  const bool big = TIFFIsBigTIFF(tif_) != 0, bigEndian = TIFFIsBigEndian(tif_) != 0;
  const std::uint64_t directory = TIFFCurrentDirOffset(tif_);
  const std::size_t countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12, lengthBytes = big ? 8 : 4;
  auto number = [bigEndian](const std::uint8_t* p, std::size_t bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) v |= std::uint64_t{p[bigEndian ? bytes - 1 - i : i]} << (8 * i);
    return v;
  };
  const std::int64_t here = TellFile(file_);
  auto readAt = [this](std::uint64_t at, std::uint8_t* to, std::size_t bytes) {
    return at <= size_ && bytes <= size_ - at && SeekFile(file_, static_cast<std::int64_t>(at), SEEK_SET) &&
           std::fread(to, 1, bytes, file_) == bytes;
  };
  std::uint8_t count[8];
  if (here < 0 || !readAt(directory, count, countBytes)) return false;
  // libtiff reads no more entries than this either.
  const std::uint64_t entries = number(count, countBytes);
  if (entries == 0 || entries > 65535) return false;
  std::vector<std::uint8_t> table(static_cast<std::size_t>(entries) * entryBytes);
  if (!readAt(directory + countBytes, table.data(), table.size())) return false;
  SeekFile(file_, here, SEEK_SET);

  // libtiff reads one uncompressed strip as strips of its own (contiguous,
  // within the stored one), which tables of one entry describe.
  const bool chopped = !Tiled() && Defaulted<std::uint16_t>(tif_, TIFFTAG_COMPRESSION, COMPRESSION_NONE) ==
                                       COMPRESSION_NONE;
  // Strips and tiles share their tables in libtiff: either tag may hold them, once.
  int offsetTables = 0, byteCountTables = 0;
  for (std::size_t at = 0; at < table.size(); at += entryBytes) {
    const auto tag = number(&table[at], 2), length = number(&table[at + 4], lengthBytes);
    const bool offsets = tag == TIFFTAG_STRIPOFFSETS || tag == TIFFTAG_TILEOFFSETS;
    const bool byteCounts = tag == TIFFTAG_STRIPBYTECOUNTS || tag == TIFFTAG_TILEBYTECOUNTS;
    if ((offsets || byteCounts) && length != units && !(chopped && length == 1)) return false;
    offsetTables += offsets;
    byteCountTables += byteCounts;
  }
  return offsetTables == 1 && byteCountTables == 1;
}

// No page file the control writes has empty strips or strips that share
// bytes: a few compressed bytes pointed at by every strip would decode to
// the whole limit. Strips apart from each other hold at most the file's
// size together, and the decoded size is bounded by what they hold.
bool PageTiff::StrilesApart(std::uint32_t units, std::uint64_t decodedBytes) const {
  std::uint64_t stored = 0, end = 0;
  bool ascending = true;
  for (std::uint32_t i = 0; i < units; ++i) {
    int error = 0;
    const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tif_, i, &error);
    if (error) return false;
    const std::uint64_t bytes = TIFFGetStrileByteCountWithErr(tif_, i, &error);
    if (error || offset == 0 || bytes == 0 || offset > size_ || bytes > size_ - offset) return false;
    ascending = ascending && offset >= end;
    end = offset + bytes;
    stored += bytes;
    if (stored > size_) return false;
  }
  if (!ascending) {
    // Rare: writers store strips in order. Sorted, each must end before the next starts.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans(units);
    for (std::uint32_t i = 0; i < units; ++i) {
      int error = 0;
      spans[i] = {TIFFGetStrileOffsetWithErr(tif_, i, &error), TIFFGetStrileByteCountWithErr(tif_, i, &error)};
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i)
      if (spans[i - 1].first + spans[i - 1].second > spans[i].first) return false;
  }
  return StoredBytesSuffice(decodedBytes, stored);
}

namespace {

// One row of tiles, `rows` rows from `top`, into `band` as whole rows.
bool ReadTileRow(TIFF* tif, std::uint32_t width, std::uint32_t top, std::uint32_t rows, std::size_t lineBytes,
                 std::uint8_t* band) {
  std::uint32_t tileWidth = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
  const auto bitsPerPixel = std::uint64_t{Defaulted<std::uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1)} *
                            Defaulted<std::uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  const tmsize_t tileBytes = TIFFTileSize(tif), tileRowBytes = TIFFTileRowSize(tif);
  // Tiles start on whole bytes of a row (TIFF tiles are 16 pixels wide or a multiple).
  if (tileWidth == 0 || tileWidth * bitsPerPixel % 8 != 0 || tileRowBytes <= 0 ||
      tileBytes < tileRowBytes * static_cast<tmsize_t>(rows))
    return false;
  const std::unique_ptr<std::uint8_t[]> tile(new std::uint8_t[static_cast<std::size_t>(tileBytes)]());
  for (std::uint32_t x = 0; x < width; x += tileWidth) {
    if (TIFFReadTile(tif, tile.get(), x, top, 0, 0) < 0) return false;
    const auto at = static_cast<std::size_t>(x * bitsPerPixel / 8);
    if (at >= lineBytes) return false;
    const std::size_t bytes = std::min(static_cast<std::size_t>(tileRowBytes), lineBytes - at);
    for (std::uint32_t r = 0; r < rows; ++r)
      std::memcpy(band + r * lineBytes + at, tile.get() + r * static_cast<std::size_t>(tileRowBytes), bytes);
  }
  return true;
}

}  // namespace

PageRowReader::PageRowReader(const PageTiff& page, std::size_t lineBytes, bool invert)
    : page_(page), lineBytes_(lineBytes), invert_(invert) {
  const auto scanline = TIFFScanlineSize64(page.Tiff());
  if (lineBytes == 0 || scanline <= 0 || lineBytes < static_cast<std::uint64_t>(scanline)) {
    failed_ = true;
    return;
  }
  if (invert) inverted_.reset(new std::uint8_t[lineBytes]);
  // Zero-filled: some decoders (CCITT) leave the padding bits after a row's
  // last pixel as they found them, and the output must not depend on what
  // the memory held before.
  if (!page.Tiled() && !page.BottomUp()) {
    buffer_.reset(new std::uint8_t[lineBytes]());
    return;
  }
  if (!page.UnitsFit() || std::uint64_t{page.UnitRows()} * lineBytes > kMaxUnitBytes) {
    failed_ = true;
    return;
  }
  buffer_.reset(new std::uint8_t[std::size_t{page.UnitRows()} * lineBytes]());
}

bool PageRowReader::LoadNextUnit() {
  TIFF* tif = page_.Tiff();
  const std::uint32_t height = page_.Height(), unitRows = page_.UnitRows();
  const std::uint32_t units = height / unitRows + (height % unitRows != 0);
  if (unitsLoaded_ >= units) return false;
  const std::uint32_t unit = page_.BottomUp() ? units - 1 - unitsLoaded_ : unitsLoaded_;
  const std::uint32_t top = unit * unitRows;
  const std::uint32_t rows = std::min(unitRows, height - top);
  const auto bytes = static_cast<tmsize_t>(rows * lineBytes_);
  const bool read = page_.Tiled() ? ReadTileRow(tif, page_.Width(), top, rows, lineBytes_, buffer_.get())
                                  : TIFFReadEncodedStrip(tif, unit, buffer_.get(), bytes) == bytes;
  if (!read) return false;
  ++unitsLoaded_;
  unitRows_ = rows;
  unitRowsLeft_ = rows;
  return true;
}

const std::uint8_t* PageRowReader::Next() {
  if (failed_ || nextRow_ >= page_.Height()) return nullptr;
  if (!page_.Tiled() && !page_.BottomUp()) {
    if (TIFFReadScanline(page_.Tiff(), buffer_.get(), nextRow_, 0) < 0) {
      failed_ = true;
      return nullptr;
    }
    ++nextRow_;
    return Hand(buffer_.get());
  }
  if (unitRowsLeft_ == 0 && !LoadNextUnit()) {
    failed_ = true;
    return nullptr;
  }
  // Rows of a unit in page order: a unit stored bottom row first is handed
  // out from its last row.
  const std::uint32_t r = unitRows_ - unitRowsLeft_;
  const std::uint32_t stored = page_.BottomUp() ? unitRows_ - 1 - r : r;
  --unitRowsLeft_;
  ++nextRow_;
  return Hand(buffer_.get() + std::size_t{stored} * lineBytes_);
}

// Inverted into a line of its own: the decoded rows stay as decoded, since
// some decoders leave a row's padding bits as they found them.
const std::uint8_t* PageRowReader::Hand(const std::uint8_t* row) {
  if (!invert_) return row;
  for (std::size_t i = 0; i < lineBytes_; ++i) inverted_[i] = static_cast<std::uint8_t>(~row[i]);
  return inverted_.get();
}

}  // namespace folvane
