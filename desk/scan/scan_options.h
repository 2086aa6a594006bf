#pragma once
// Which option values ask a device for the scan a page wants: the source,
// the mode, the bit depth and the resolution, chosen from the values the
// device's own descriptors offer. Pure logic over descriptors, so that
// every kind of device (word lists, ranges, fixed-point values, its own
// names for modes and sources) is tested without one.
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "desk/scan/scan_device.h"
#include "desk/scan/scanner.h"

namespace bidder::desk {

// A value for one option: numbers as doubles whatever the option's type
// (the device layer rounds them for int options).
using OptionValue = std::variant<bool, double, std::string>;

inline constexpr std::string_view kSourceOption = "source";
inline constexpr std::string_view kModeOption = "mode";
inline constexpr std::string_view kDepthOption = "depth";
inline constexpr std::string_view kResolutionOption = "resolution";

// Whether a source name is a document feeder's ("ADF", "Automatic Document
// Feeder", "ADF Duplex", ...).
bool IsFeederSource(std::string_view sourceName);

// The value of the device's source option for `wanted`; nullopt when the
// device has no such source (or no settable source option). Of several
// feeders the single-sided one is taken: the page asked for pages, not for
// their backs.
std::optional<std::string> ChooseSource(const std::vector<DeviceOption>& options, ScanSource wanted);

struct ModeChoice {
  std::string value;  // the device's own name
  // The mode gives one bit per pixel by itself ("Lineart", "Binary"); else a
  // black-and-white scan asks for depth 1 in grey.
  bool bilevel = false;
};
std::optional<ModeChoice> ChooseMode(const std::vector<DeviceOption>& options, ScanMode wanted);

// The depth to ask for once the mode is set: 1 for black and white in a grey
// mode, 8 for colour and grey (16-bit samples would only be halved again);
// nullopt: leave the device's own.
std::optional<int> ChooseDepth(const std::vector<DeviceOption>& options, ScanMode wanted, bool bilevelMode);

// The offered resolution nearest to `dpi` (the higher of two equally near):
// a word-list entry, or a range value on its quantisation step; nullopt when
// the option cannot take a number.
std::optional<double> NearestResolution(const DeviceOption& option, double dpi);

// Text given for an option by whoever runs the service ("yes", "300",
// "/path") as the option's type; nullopt when it does not read as one.
std::optional<OptionValue> ParseOptionText(const DeviceOption& option, std::string_view text);

}  // namespace bidder::desk
