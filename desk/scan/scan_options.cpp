#include "desk/scan/scan_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace bidder::desk {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (EqualsIgnoringCase(text.substr(i, part.size()), part)) return true;
  }
  return false;
}

const DeviceOption* UsableStringList(const std::vector<DeviceOption>& options, std::string_view name) {
  const DeviceOption* option = FindOption(options, name);
  if (!option || !option->Usable() || option->type != OptionType::kString) return nullptr;
  return option;
}

// The first offered value equal (ignoring case) to one of `names`, in the
// order of `names`.
template <std::size_t N>
std::optional<std::string> FirstOffered(const DeviceOption& option, const std::array<std::string_view, N>& names) {
  for (std::string_view name : names) {
    for (const std::string& offered : option.stringList) {
      if (EqualsIgnoringCase(offered, name)) return offered;
    }
  }
  return std::nullopt;
}

bool Offers(const DeviceOption& option, double value) {
  if (!option.wordList.empty()) return std::find(option.wordList.begin(), option.wordList.end(), value) != option.wordList.end();
  if (option.range) {
    if (value < option.range->min || value > option.range->max) return false;
    if (option.range->quant <= 0) return true;
    const double steps = (value - option.range->min) / option.range->quant;
    return std::fabs(steps - std::round(steps)) < 1e-9;
  }
  return true;  // no constraint: the device takes any value
}

}  // namespace

const DeviceOption* FindOption(const std::vector<DeviceOption>& options, std::string_view name) {
  for (const DeviceOption& option : options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

bool IsFeederSource(std::string_view sourceName) {
  return ContainsIgnoringCase(sourceName, "adf") || ContainsIgnoringCase(sourceName, "feeder");
}

std::optional<std::string> ChooseSource(const std::vector<DeviceOption>& options, ScanSource wanted) {
  const DeviceOption* option = UsableStringList(options, kSourceOption);
  if (!option) return std::nullopt;
  if (wanted == ScanSource::kFlatbed) {
    for (const std::string& name : option->stringList) {
      if (ContainsIgnoringCase(name, "flatbed") || ContainsIgnoringCase(name, "platen") ||
          ContainsIgnoringCase(name, "document table"))
        return name;
    }
    return std::nullopt;
  }
  const std::string* anyFeeder = nullptr;
  for (const std::string& name : option->stringList) {
    if (!IsFeederSource(name)) continue;
    if (!ContainsIgnoringCase(name, "duplex") && !ContainsIgnoringCase(name, "back")) return name;
    if (!anyFeeder) anyFeeder = &name;
  }
  return anyFeeder ? std::optional<std::string>(*anyFeeder) : std::nullopt;
}

std::optional<ModeChoice> ChooseMode(const std::vector<DeviceOption>& options, ScanMode wanted) {
  const DeviceOption* option = UsableStringList(options, kModeOption);
  if (!option) return std::nullopt;
  static constexpr std::array<std::string_view, 3> kColour{"Color", "Colour", "RGB"};
  static constexpr std::array<std::string_view, 3> kGrey{"Gray", "Grey", "Grayscale"};
  static constexpr std::array<std::string_view, 3> kBilevel{"Lineart", "Binary", "Black & White"};
  switch (wanted) {
    case ScanMode::kColor:
      if (auto value = FirstOffered(*option, kColour)) return ModeChoice{*value, false};
      return std::nullopt;
    case ScanMode::kGray:
      if (auto value = FirstOffered(*option, kGrey)) return ModeChoice{*value, false};
      return std::nullopt;
    case ScanMode::kBlackWhite:
      if (auto value = FirstOffered(*option, kBilevel)) return ModeChoice{*value, true};
      if (auto value = FirstOffered(*option, kGrey)) return ModeChoice{*value, false};
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<int> ChooseDepth(const std::vector<DeviceOption>& options, ScanMode wanted, bool bilevelMode) {
  const DeviceOption* option = FindOption(options, kDepthOption);
  if (!option || !option->UsableNumber() || option->type != OptionType::kInt) return std::nullopt;
  if (wanted == ScanMode::kBlackWhite) {
    if (bilevelMode) return std::nullopt;
    if (Offers(*option, 1)) return 1;
  }
  if (Offers(*option, 8)) return 8;
  return std::nullopt;
}

std::optional<double> NearestResolution(const DeviceOption& option, double dpi) {
  if (!option.UsableNumber()) return std::nullopt;
  const bool whole = option.type == OptionType::kInt;
  if (!option.wordList.empty()) {
    double best = option.wordList.front();
    for (double offered : option.wordList) {
      const double distance = std::fabs(offered - dpi);
      const double bestDistance = std::fabs(best - dpi);
      if (distance < bestDistance || (distance == bestDistance && offered > best)) best = offered;
    }
    return best;
  }
  double value = dpi;
  if (option.range) {
    const NumericRange& range = *option.range;
    value = std::clamp(dpi, range.min, std::max(range.min, range.max));
    if (range.quant > 0) {
      value = range.min + std::round((value - range.min) / range.quant) * range.quant;
      // Rounding up may step past the top; the step below it is offered.
      if (value > range.max) value -= range.quant;
    }
  }
  return whole ? std::round(value) : value;
}

std::optional<OptionValue> ParseOptionText(const DeviceOption& option, std::string_view text) {
  switch (option.type) {
    case OptionType::kBool:
      if (text == "yes" || text == "true" || text == "1") return OptionValue{true};
      if (text == "no" || text == "false" || text == "0") return OptionValue{false};
      return std::nullopt;
    case OptionType::kInt:
    case OptionType::kFixed: {
      double number = 0;
      const char* end = text.data() + text.size();
      const auto [stop, error] = std::from_chars(text.data(), end, number);
      if (error != std::errc{} || stop != end || !std::isfinite(number)) return std::nullopt;
      return OptionValue{number};
    }
    case OptionType::kString:
      return OptionValue{std::string(text)};
    case OptionType::kButton:
    case OptionType::kGroup:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace bidder::desk
