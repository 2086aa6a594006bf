// The scanner backend's logic without a device: frames made into pages, and
// how a scan ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>

#include "desk/scan/page_builder.h"
#include "desk/scan/scan_loop.h"
#include "desk/scan/scan_texts.h"
#include "desk/scan_test_support.h"

namespace bidder::desk {
namespace {

using folvane::DibColour;
using folvane::DibView;
using scan_test::CollectingSink;
using scan_test::PixelAt;

// A device playing back frames: each Start takes the next one; none left is
// an empty feeder.
struct FakeFrame {
  FrameParameters parameters;
  std::vector<std::uint8_t> bytes;
  DeviceStatus startStatus = DeviceStatus::kGood;
  DeviceStatus endStatus = DeviceStatus::kEof;  // after the bytes
};

class FakeDevice : public ScanDevice {
 public:
  explicit FakeDevice(std::deque<FakeFrame> frames, std::size_t chunk = 7) : m_frames(std::move(frames)), m_chunk(chunk) {}
  DeviceStatus Start() override {
    ++starts;
    if (m_frames.empty()) return DeviceStatus::kNoDocs;
    m_current = std::move(m_frames.front());
    m_frames.pop_front();
    m_read = 0;
    return m_current.startStatus;
  }
  DeviceStatus Parameters(FrameParameters& parameters) override {
    parameters = m_current.parameters;
    return DeviceStatus::kGood;
  }
  DeviceStatus Read(std::span<std::uint8_t> into, std::size_t& got) override {
    if (onRead) onRead();
    got = std::min({m_chunk, into.size(), m_current.bytes.size() - m_read});
    if (got == 0) return m_current.endStatus;
    std::memcpy(into.data(), m_current.bytes.data() + m_read, got);
    m_read += got;
    return DeviceStatus::kGood;
  }
  void Cancel() override {}
  int starts = 0;
  std::function<void()> onRead;

 private:
  std::deque<FakeFrame> m_frames;
  std::size_t m_chunk;
  FakeFrame m_current;
  std::size_t m_read = 0;
};

FakeFrame Frame(FrameFormat format, int depth, std::int64_t width, std::int64_t lines, std::int64_t bytesPerLine,
                std::vector<std::uint8_t> bytes, bool last = true) {
  return FakeFrame{FrameParameters{format, last, bytesPerLine, width, lines, depth}, std::move(bytes)};
}

FakeFrame GreyPage(std::uint8_t level, std::int64_t lines = 2) {
  return Frame(FrameFormat::kGray, 8, 3, lines, 3, std::vector<std::uint8_t>(static_cast<std::size_t>(3 * lines), level));
}

struct Scanned {
  ScanOutcome outcome;
  CollectingSink sink;
  int starts = 0;
};

Scanned ScanFrames(std::deque<FakeFrame> frames, ScanPlan plan = {}, std::size_t chunk = 7) {
  FakeDevice device(std::move(frames), chunk);
  Scanned scanned;
  std::atomic<bool> cancelled{false};
  scanned.outcome = RunScanLoop(device, plan, scanned.sink, cancelled);
  scanned.starts = device.starts;
  return scanned;
}

// The view points into `scanned`, which must outlive it.
DibView OnlyPage(Scanned&&) = delete;
DibView OnlyPage(const Scanned& scanned) {
  EXPECT_EQ(scanned.outcome.failure, std::nullopt) << scanned.outcome.message;
  EXPECT_EQ(scanned.sink.pages.size(), 1u);
  auto dib = DibView::Parse(scanned.sink.pages.at(0));
  EXPECT_TRUE(dib.has_value());
  return *dib;
}

TEST(PageBuilder, ColourFramesBecomeBottomUpBgrRows) {
  // 3 x 2 pixels, each sample distinct; rows of 9 bytes pad to 12 in the page.
  std::vector<std::uint8_t> rgb(18);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(10 * i);
  const Scanned single = ScanFrames({Frame(FrameFormat::kRgb, 8, 3, 2, 9, rgb)}, ScanPlan{false, 300, false});
  const DibView dib = OnlyPage(single);
  ASSERT_EQ(dib.BitsPerPixel(), 24u);
  EXPECT_FALSE(dib.TopDown());
  EXPECT_EQ(dib.XPelsPerMeter(), 11811);
  EXPECT_EQ(dib.YPelsPerMeter(), 11811);
  EXPECT_EQ(single.sink.pages[0].size(), 40u + 2 * 12);
  for (std::uint32_t y = 0; y < 2; ++y)
    for (std::uint32_t x = 0; x < 3; ++x) {
      const std::size_t at = 9 * y + 3 * x;
      EXPECT_EQ(PixelAt(dib, x, y), (DibColour{rgb[at], rgb[at + 1], rgb[at + 2]})) << x << "," << y;
    }

  // The same pixels in three one-colour frames, in the order a device
  // chooses, 16 bits per sample.
  std::deque<FakeFrame> passes;
  const FrameFormat order[] = {FrameFormat::kGreen, FrameFormat::kBlue, FrameFormat::kRed};
  const std::size_t channelOf[] = {1, 2, 0};
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<std::uint8_t> samples;
    for (std::size_t i = channelOf[pass]; i < rgb.size(); i += 3) {
      const std::uint16_t wide = static_cast<std::uint16_t>(rgb[i] * 257);
      samples.resize(samples.size() + 2);
      std::memcpy(samples.data() + samples.size() - 2, &wide, 2);
    }
    passes.push_back(Frame(order[pass], 16, 3, 2, 6, samples, pass == 2));
  }
  const Scanned threePass = ScanFrames(std::move(passes), ScanPlan{false, 300, false});
  ASSERT_EQ(threePass.sink.pages.size(), 1u);
  EXPECT_EQ(threePass.sink.pages[0], single.sink.pages[0]);
}

TEST(PageBuilder, GreyAndBilevelPages) {
  // 16-bit grey halves to 8 bits, rounded.
  std::vector<std::uint8_t> wide(8);
  const std::uint16_t levels[] = {0, 65535, 32896, 257};
  std::memcpy(wide.data(), levels, sizeof levels);
  const Scanned wideGrey = ScanFrames({Frame(FrameFormat::kGray, 16, 4, 1, 8, wide)});
  const DibView grey = OnlyPage(wideGrey);
  ASSERT_EQ(grey.BitsPerPixel(), 8u);
  ASSERT_EQ(grey.Palette().size(), 256u);
  EXPECT_EQ(grey.Palette()[77], (DibColour{77, 77, 77}));
  EXPECT_EQ(std::vector<std::uint8_t>(grey.Row(0), grey.Row(0) + 4), (std::vector<std::uint8_t>{0, 255, 128, 1}));

  // 1-bit grey: a set bit is black; the bits past the tenth pixel are not
  // the page's, whatever the device left in them.
  const Scanned bits = ScanFrames({Frame(FrameFormat::kGray, 1, 10, 2, 2, {0b10100000, 0b01111111, 0xFF, 0xFF})});
  const DibView bilevel = OnlyPage(bits);
  ASSERT_EQ(bilevel.BitsPerPixel(), 1u);
  EXPECT_EQ(bilevel.Palette(), (std::vector<DibColour>{{255, 255, 255}, {0, 0, 0}}));
  EXPECT_EQ(PixelAt(bilevel, 0, 0), (DibColour{0, 0, 0}));
  EXPECT_EQ(PixelAt(bilevel, 1, 0), (DibColour{255, 255, 255}));
  EXPECT_EQ(PixelAt(bilevel, 9, 0), (DibColour{0, 0, 0}));
  EXPECT_EQ(bilevel.Row(0)[1], 0b01000000);
  EXPECT_EQ(bilevel.Row(1)[1], 0b11000000);

  // Black and white from a grey-only device: darker than half is black.
  const Scanned thresholded = ScanFrames({Frame(FrameFormat::kGray, 8, 3, 1, 3, {127, 128, 0})}, ScanPlan{false, 0, true});
  const DibView made = OnlyPage(thresholded);
  ASSERT_EQ(made.BitsPerPixel(), 1u);
  EXPECT_EQ(made.Row(0)[0], 0b10100000);
  EXPECT_EQ(made.XPelsPerMeter(), 0);
}

TEST(PageBuilder, HeightAsTheLinesArrive) {
  // Unknown height: as many lines as came; fewer than announced: a shorter
  // page; more: the extra lines are dropped.
  const std::vector<std::uint8_t> fiveLines{1, 2, 3, 4, 5};
  for (const auto& [announced, height] : {std::pair{-1, 5}, {8, 5}, {3, 3}}) {
    const Scanned scanned = ScanFrames({Frame(FrameFormat::kGray, 8, 1, announced, 1, fiveLines)}, {}, 1);
    const DibView dib = OnlyPage(scanned);
    ASSERT_EQ(dib.Height(), static_cast<std::uint32_t>(height)) << announced;
    EXPECT_EQ(dib.Row(0)[0], 1);
    EXPECT_EQ(dib.Row(static_cast<std::uint32_t>(height) - 1)[0], height);
  }
}

TEST(ScanLoop, EndsAsTheDeviceSays) {
  // A feeder scans until it is empty.
  Scanned feeder = ScanFrames({GreyPage(1), GreyPage(2), GreyPage(3)}, ScanPlan{true, 0, false});
  EXPECT_EQ(feeder.outcome.failure, std::nullopt);
  EXPECT_EQ(feeder.outcome.pages, 3u);
  EXPECT_EQ(feeder.sink.pages.size(), 3u);
  EXPECT_EQ(feeder.sink.statuses, std::vector<std::string>{"feeder-empty"});

  // A flatbed scans one page, whatever the device would give.
  Scanned flatbed = ScanFrames({GreyPage(1), GreyPage(2)}, ScanPlan{false, 0, false});
  EXPECT_EQ(flatbed.outcome.pages, 1u);
  EXPECT_EQ(flatbed.starts, 1);

  // An empty feeder at the first page is a fault the user can mend.
  Scanned empty = ScanFrames({}, ScanPlan{true, 0, false});
  EXPECT_EQ(empty.outcome.failure, rpc::ErrorReason::kScanner);
  EXPECT_EQ(empty.outcome.message, scan_text::kNoPaperText);
  EXPECT_EQ(empty.sink.statuses, std::vector<std::string>{"feeder-empty"});

  // A jam in the third page keeps the two before it.
  FakeFrame jammed = GreyPage(3);
  jammed.endStatus = DeviceStatus::kJammed;
  jammed.bytes.resize(4);
  Scanned jam = ScanFrames({GreyPage(1), GreyPage(2), jammed}, ScanPlan{true, 0, false});
  EXPECT_EQ(jam.outcome.failure, rpc::ErrorReason::kScanner);
  EXPECT_EQ(jam.outcome.message, scan_text::kJamText);
  EXPECT_EQ(jam.outcome.pages, 2u);
  EXPECT_EQ(jam.sink.pages.size(), 2u);
  EXPECT_EQ(jam.sink.statuses, std::vector<std::string>{"jam"});

  // The device's own cancel, within the second page.
  FakeFrame stopped = GreyPage(2);
  stopped.endStatus = DeviceStatus::kCancelled;
  Scanned cancelled = ScanFrames({GreyPage(1), stopped, GreyPage(3)}, ScanPlan{true, 0, false});
  EXPECT_EQ(cancelled.outcome.failure, rpc::ErrorReason::kCancelled);
  EXPECT_EQ(cancelled.outcome.pages, 1u);
}

TEST(ScanLoop, FullDiskAndCancelBetweenPages) {
  FakeDevice device({GreyPage(1), GreyPage(2), GreyPage(3)});
  CollectingSink sink;
  sink.onPage = [](std::size_t pages) { return pages < 2; };
  std::atomic<bool> cancelled{false};
  const ScanOutcome full = RunScanLoop(device, ScanPlan{true, 0, false}, sink, cancelled);
  EXPECT_EQ(full.failure, rpc::ErrorReason::kDiskFull);
  EXPECT_EQ(full.pages, 1u);

  FakeDevice next({GreyPage(1), GreyPage(2), GreyPage(3)});
  CollectingSink counted;
  counted.onPage = [&](std::size_t) {
    cancelled = true;
    return true;
  };
  const ScanOutcome stopped = RunScanLoop(next, ScanPlan{true, 0, false}, counted, cancelled);
  EXPECT_EQ(stopped.failure, rpc::ErrorReason::kCancelled);
  EXPECT_EQ(stopped.pages, 1u);
  EXPECT_EQ(next.starts, 1);

  // A cancel within a page: what the device says next is the cancel's doing
  // (here an I/O error, or a frame cut short), and the partial page is not
  // delivered.
  for (const DeviceStatus after : {DeviceStatus::kIoError, DeviceStatus::kEof}) {
    FakeFrame cut = GreyPage(2);
    cut.bytes.resize(3);
    cut.endStatus = after;
    FakeDevice within({GreyPage(1), cut});
    CollectingSink sink2;
    std::atomic<bool> flag{false};
    within.onRead = [&] { flag = within.starts == 2; };
    const ScanOutcome outcome = RunScanLoop(within, ScanPlan{true, 0, false}, sink2, flag);
    EXPECT_EQ(outcome.failure, rpc::ErrorReason::kCancelled);
    EXPECT_EQ(outcome.pages, 1u);
    EXPECT_EQ(sink2.pages.size(), 1u);
    EXPECT_TRUE(sink2.statuses.empty());
  }
}

TEST(ScanLoop, FramesNoPageCanHoldAreRefused) {
  constexpr std::int64_t kSide = std::int64_t{1} << 17;
  struct Case {
    const char* what;
    FakeFrame frame;
    const char* message;
  };
  const Case cases[] = {
      // Announced sizes are judged before anything is allocated.
      {"widest, tallest 16-bit colour", Frame(FrameFormat::kRgb, 16, kSide, kSide, 6 * kSide, {}), scan_text::kPageTooLargeText},
      {"wider than any page", Frame(FrameFormat::kGray, 8, kSide + 1, 1, kSide + 1, {}), scan_text::kPageTooLargeText},
      {"lines shorter than their pixels", Frame(FrameFormat::kRgb, 8, 100, 10, 299, {}), scan_text::kUnsupportedImageText},
      {"negative height", Frame(FrameFormat::kGray, 8, 1, -2, 1, {}), scan_text::kUnsupportedImageText},
      {"4-bit samples", Frame(FrameFormat::kGray, 4, 2, 1, 1, {0}), scan_text::kUnsupportedImageText},
      {"a compressed frame", Frame(FrameFormat::kOther, 8, 2, 1, 2, {0, 0}), scan_text::kUnsupportedImageText},
      {"no lines at all", Frame(FrameFormat::kGray, 8, 2, 4, 2, {}), scan_text::kNoImageText},
      // A page of unknown height stops at the tallest side a page may have.
      {"endless page", Frame(FrameFormat::kGray, 1, 8, -1, 1, std::vector<std::uint8_t>(kSide + 1)),
       scan_text::kPageTooLargeText},
  };
  for (const Case& c : cases) {
    const Scanned scanned = ScanFrames({c.frame}, {}, 1 << 16);
    EXPECT_EQ(scanned.outcome.failure, rpc::ErrorReason::kScanner) << c.what;
    EXPECT_EQ(scanned.outcome.message, c.message) << c.what;
    EXPECT_TRUE(scanned.sink.pages.empty()) << c.what;
  }
  // A colour frame where a three-pass page needs its next colour.
  const Scanned mixed = ScanFrames({Frame(FrameFormat::kRed, 8, 2, 1, 2, {1, 2}, false), Frame(FrameFormat::kRgb, 8, 2, 1, 6, {})});
  EXPECT_EQ(mixed.outcome.message, scan_text::kUnsupportedImageText);
}

TEST(ScanLoop, FaultsTellTheUserAndThePage) {
  struct Case {
    DeviceStatus status;
    rpc::ErrorReason reason;
    std::string_view message;
    std::vector<std::string> statuses;
  };
  const Case cases[] = {
      {DeviceStatus::kJammed, rpc::ErrorReason::kScanner, scan_text::kJamText, {"jam"}},
      {DeviceStatus::kCoverOpen, rpc::ErrorReason::kScanner, scan_text::kCoverOpenText, {"cover-open"}},
      {DeviceStatus::kNoDocs, rpc::ErrorReason::kScanner, scan_text::kNoPaperText, {"feeder-empty"}},
      {DeviceStatus::kIoError, rpc::ErrorReason::kScanner, scan_text::kIoErrorText, {}},
      {DeviceStatus::kDeviceBusy, rpc::ErrorReason::kScanner, scan_text::kDeviceBusyText, {}},
      {DeviceStatus::kNoMemory, rpc::ErrorReason::kScanner, scan_text::kNoMemoryText, {}},
      {DeviceStatus::kInvalid, rpc::ErrorReason::kScanner, scan_text::kInvalidText, {}},
      {DeviceStatus::kAccessDenied, rpc::ErrorReason::kScanner, scan_text::kAccessDeniedText, {}},
      {DeviceStatus::kOther, rpc::ErrorReason::kScanner, "", {}},
      {DeviceStatus::kCancelled, rpc::ErrorReason::kCancelled, "", {}},
  };
  for (const Case& c : cases) {
    CollectingSink sink;
    const ScanOutcome outcome = FaultOutcome(c.status, 4, sink);
    EXPECT_EQ(outcome.failure, c.reason) << static_cast<int>(c.status);
    EXPECT_EQ(outcome.message, c.message) << static_cast<int>(c.status);
    EXPECT_EQ(outcome.pages, 4u);
    EXPECT_EQ(sink.statuses, c.statuses);
  }
}

}  // namespace
}  // namespace bidder::desk
