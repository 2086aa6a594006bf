#pragma once
// One scanned page, from the frames a device sends to the packed DIB the
// page store takes: 24-bit BGR for colour, 8-bit grey with a grey ramp,
// 1 bit with the palette {white, black} (a device's 1-bit grey has 1 for
// black, and that palette order stores it as MinIsWhite with the bits as
// scanned); rows bottom-up, padded to 4 bytes. 16-bit samples become 8-bit;
// three one-colour frames make one colour page.
//
// Memory: the page's own bits and one line of the device's, converted as the
// bytes arrive. Sizes are checked against the page store's limits before
// anything is allocated, and a page of unknown height stops growing there.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "desk/scan/scan_device.h"

namespace bidder::desk {

enum class PageFault {
  kNone,
  kUnsupportedFormat,  // a frame kind or depth no page can hold
  kBadParameters,      // sizes that contradict each other
  kTooLarge,           // beyond the page store's limits
  kFrameMismatch,      // a later frame of the page unlike the first
  kNoImage,            // the page ended without a single line
};

class PageBuilder {
 public:
  // `bilevelFromGrey`: grey frames become 1 bit (below half is black), for a
  // black-and-white scan on a device that only scans grey.
  explicit PageBuilder(bool bilevelFromGrey = false) : m_bilevelFromGrey(bilevelFromGrey) {}

  PageFault BeginFrame(const FrameParameters& frame);
  PageFault Feed(std::span<const std::uint8_t> bytes);
  void EndFrame();
  // The page as a packed DIB at `dpi` (0: unknown), or empty with `fault`
  // set. The builder is ready for the next page afterwards.
  std::vector<std::uint8_t> Finish(double dpi, PageFault& fault);

 private:
  PageFault GrowTo(std::size_t rows);
  void ConvertLine(std::uint8_t* row) const;
  std::size_t BitsOffset() const;

  bool m_bilevelFromGrey;
  FrameParameters m_frame;
  unsigned m_outBits = 0;        // 0 until the page's first frame
  std::uint32_t m_width = 0;
  std::size_t m_stride = 0;
  std::size_t m_rowsAllocated = 0;
  std::size_t m_rowsFilled = 0;  // the most any frame of the page delivered
  std::size_t m_frameRow = 0;
  std::vector<std::uint8_t> m_line;
  std::size_t m_lineFill = 0;
  std::vector<std::uint8_t> m_dib;  // header and palette space, then rows top-down
};

// Pixels per metre for a resolution in dots per inch, as page files expect
// them (300 dpi -> 11811); 0 for an unknown resolution.
std::int32_t PelsPerMeter(double dpi);

}  // namespace bidder::desk
