#pragma once
// The one way page files are opened. For reading: with the checks and limits
// that both outputs (PDF and PNG) apply before they decode anything, and that
// capture applies to each page it has just written, so that it never keeps
// a page the outputs would refuse. Page files are untrusted: any file can
// sit under a page file's name, so every size a directory claims is checked
// before anything is allocated for it. libtiff's messages never reach the
// host's console (a control has none; the callers report failures in their
// own words).
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pagefile/page_limits.h"

namespace folvane {

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// A new page file at `path` (an existing file is replaced), for capture.
TiffPtr CreatePageTiff(const std::string& path);

class PageTiff {
 public:
  // nullptr when the file is missing, is not a TIFF, or breaks a limit: a
  // side of 0 or above kMaxImageSide, more than kMaxDecodedBytes decoded, a
  // codec this libtiff lacks, an orientation other than top-left and
  // bottom-left (rotated and mirrored pages are not shown by either output),
  // strip or tile tables whose length is not the number of strips or tiles,
  // a strip or tile that is empty, reaches past the end of the file or
  // overlaps another, or more decoded bytes than the stored ones allow (see
  // kMaxDecodedPerStoredByte).
  static std::unique_ptr<PageTiff> Open(const std::string& path);
  ~PageTiff();
  PageTiff(const PageTiff&) = delete;
  PageTiff& operator=(const PageTiff&) = delete;

  TIFF* Tiff() const { return tif_; }
  // The open file under libtiff (its position is libtiff's to move).
  std::FILE* File() const { return file_; }
  // Hands the open file over to the caller, who closes it; libtiff must not
  // read from this page afterwards.
  std::FILE* ReleaseFile() {
    std::FILE* file = file_;
    file_ = nullptr;
    return file;
  }
  std::uint64_t FileSize() const { return size_; }
  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  // Rows stored bottom row first (the page is shown the other way up).
  bool BottomUp() const { return bottomUp_; }
  bool Tiled() const { return TIFFIsTiled(tif_) != 0; }
  // Rows in one strip, or in one row of tiles.
  std::uint32_t UnitRows() const { return unitRows_; }
  // Whether one strip or one row of tiles stays within kMaxUnitBytes.
  bool UnitsFit() const { return unitsFit_; }

 private:
  PageTiff() = default;
  bool Check();
  bool StrileTablesMatch(std::uint32_t units);
  bool StrilesApart(std::uint32_t units, std::uint64_t decodedBytes) const;

  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  TIFF* tif_ = nullptr;
  std::uint32_t width_ = 0, height_ = 0, unitRows_ = 1;
  bool bottomUp_ = false, unitsFit_ = false;
};

// The rows of a page file's own samples (`lineBytes` each, at least the
// file's scanline size), top row of the page first, for both outputs. Strips
// stored top row first are read a scanline at a time, so a page in one large
// strip needs no more than a row; tiled files and files stored bottom row
// first are decoded a strip or a row of tiles at a time, within kMaxUnitBytes
// (a file whose units break it has no rows). With `invert` (for min-is-white
// grey, PageLayout::minIsWhite) every bit of a row is inverted, so that the
// rows read as min-is-black grey.
class PageRowReader {
 public:
  PageRowReader(const PageTiff& page, std::size_t lineBytes, bool invert);
  // The next row, valid until the next call; nullptr after the last row or
  // when the file cannot be read (then Failed() is true).
  const std::uint8_t* Next();
  bool Failed() const { return failed_; }

 private:
  bool LoadNextUnit();
  const std::uint8_t* Hand(const std::uint8_t* row);

  const PageTiff& page_;
  std::size_t lineBytes_;
  bool invert_;
  std::unique_ptr<std::uint8_t[]> buffer_;  // a line, or one unit of rows
  std::unique_ptr<std::uint8_t[]> inverted_;  // with invert_: the row handed out
  std::uint32_t nextRow_ = 0;               // rows handed out so far
  std::uint32_t unitsLoaded_ = 0, unitRowsLeft_ = 0, unitRows_ = 0;
  bool failed_ = false;
};

}  // namespace folvane
