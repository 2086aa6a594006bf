#pragma once
// A scanner device as the page loop and the option choices see it: plain C++
// types, no SANE header. sane_device.cpp maps SANE's to these; tests drive
// the loop with devices of their own.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bidder::desk {

// SANE's status codes, plus kOther for codes newer than this list.
enum class DeviceStatus {
  kGood,
  kUnsupported,
  kCancelled,
  kDeviceBusy,
  kInvalid,
  kEof,
  kJammed,
  kNoDocs,
  kCoverOpen,
  kIoError,
  kNoMemory,
  kAccessDenied,
  kOther,
};

enum class OptionType { kBool, kInt, kFixed, kString, kButton, kGroup };

struct NumericRange {
  double min = 0;
  double max = 0;
  double quant = 0;  // 0: any value in between
};

// One option's descriptor. Numbers of kFixed options are given as doubles.
struct DeviceOption {
  int index = 0;
  std::string name;
  OptionType type = OptionType::kGroup;
  std::size_t valueCount = 1;  // words of an int or fixed option; bytes of a string
  bool active = false;
  bool settable = false;
  std::optional<NumericRange> range;
  std::vector<double> wordList;
  std::vector<std::string> stringList;

  bool Usable() const { return active && settable; }
  // A single number the device lets us set.
  bool UsableNumber() const { return Usable() && (type == OptionType::kInt || type == OptionType::kFixed) && valueCount == 1; }
};

const DeviceOption* FindOption(const std::vector<DeviceOption>& options, std::string_view name);

enum class FrameFormat { kGray, kRgb, kRed, kGreen, kBlue, kOther };

// One frame as the device announces it after Start().
struct FrameParameters {
  FrameFormat format = FrameFormat::kGray;
  bool lastFrame = true;
  std::int64_t bytesPerLine = 0;
  std::int64_t pixelsPerLine = 0;
  std::int64_t lines = 0;  // -1: not known until the frame ends
  int depth = 8;
};

// What the page loop needs of an open device.
class ScanDevice {
 public:
  virtual ~ScanDevice() = default;
  virtual DeviceStatus Start() = 0;
  virtual DeviceStatus Parameters(FrameParameters& parameters) = 0;
  // Fills up to into.size() bytes; `got` bytes were read (kGood), or the
  // frame ended (kEof) or failed.
  virtual DeviceStatus Read(std::span<std::uint8_t> into, std::size_t& got) = 0;
  // From any thread while the device is open: stops the scan under way.
  virtual void Cancel() = 0;
};

}  // namespace bidder::desk
