// Which option values a scan asks a device for, from the values the
// device's own descriptors offer.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "desk/scan/scan_options.h"

namespace bidder::desk {
namespace {

DeviceOption StringList(std::string name, std::vector<std::string> values) {
  DeviceOption option;
  option.name = std::move(name);
  option.type = OptionType::kString;
  option.valueCount = 64;
  option.active = option.settable = true;
  option.stringList = std::move(values);
  return option;
}

DeviceOption Number(std::string name, OptionType type, std::optional<NumericRange> range, std::vector<double> list = {}) {
  DeviceOption option;
  option.name = std::move(name);
  option.type = type;
  option.active = option.settable = true;
  option.range = range;
  option.wordList = std::move(list);
  return option;
}

TEST(ScanOptions, SourceFromTheDevicesOwnNames) {
  struct Case {
    std::vector<std::string> offered;
    ScanSource wanted;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {{"Flatbed", "Automatic Document Feeder"}, ScanSource::kFeeder, "Automatic Document Feeder"},
      {{"Flatbed", "Automatic Document Feeder"}, ScanSource::kFlatbed, "Flatbed"},
      {{"Flatbed", "ADF Duplex", "ADF Front"}, ScanSource::kFeeder, "ADF Front"},
      {{"Flatbed", "ADF Duplex"}, ScanSource::kFeeder, "ADF Duplex"},
      {{"Document Table", "Feeder"}, ScanSource::kFlatbed, "Document Table"},
      {{"Document Table", "Feeder"}, ScanSource::kFeeder, "Feeder"},
      {{"Flatbed"}, ScanSource::kFeeder, std::nullopt},
      {{"ADF"}, ScanSource::kFlatbed, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseSource({StringList("source", c.offered)}, c.wanted), c.expected) << c.offered.back();
  }
  DeviceOption inactive = StringList("source", {"Flatbed", "ADF"});
  inactive.active = false;
  EXPECT_EQ(ChooseSource({inactive}, ScanSource::kFeeder), std::nullopt);
  EXPECT_EQ(ChooseSource({}, ScanSource::kFeeder), std::nullopt);
}

TEST(ScanOptions, ModeAndDepth) {
  struct Case {
    std::vector<std::string> modes;
    ScanMode wanted;
    std::optional<std::string> mode;
    bool bilevel;
  };
  const Case cases[] = {
      {{"Lineart", "Gray", "Color"}, ScanMode::kColor, "Color", false},
      {{"Lineart", "Gray", "Color"}, ScanMode::kGray, "Gray", false},
      {{"Lineart", "Gray", "Color"}, ScanMode::kBlackWhite, "Lineart", true},
      {{"Binary", "Gray", "Color"}, ScanMode::kBlackWhite, "Binary", true},
      {{"Gray", "Color"}, ScanMode::kBlackWhite, "Gray", false},
      {{"color", "gray"}, ScanMode::kGray, "gray", false},
      {{"Color"}, ScanMode::kGray, std::nullopt, false},
  };
  for (const Case& c : cases) {
    const auto chosen = ChooseMode({StringList("mode", c.modes)}, c.wanted);
    ASSERT_EQ(chosen.has_value(), c.mode.has_value()) << c.modes.front();
    if (chosen) {
      EXPECT_EQ(chosen->value, *c.mode);
      EXPECT_EQ(chosen->bilevel, c.bilevel);
    }
  }

  const std::vector<DeviceOption> depthList{Number("depth", OptionType::kInt, std::nullopt, {1, 8, 16})};
  EXPECT_EQ(ChooseDepth(depthList, ScanMode::kColor, false), 8);
  EXPECT_EQ(ChooseDepth(depthList, ScanMode::kGray, false), 8);
  EXPECT_EQ(ChooseDepth(depthList, ScanMode::kBlackWhite, false), 1);
  EXPECT_EQ(ChooseDepth(depthList, ScanMode::kBlackWhite, true), std::nullopt);
  EXPECT_EQ(ChooseDepth({Number("depth", OptionType::kInt, std::nullopt, {16})}, ScanMode::kColor, false), std::nullopt);
  EXPECT_EQ(ChooseDepth({Number("depth", OptionType::kInt, NumericRange{1, 16, 1})}, ScanMode::kBlackWhite, false), 1);
}

TEST(ScanOptions, NearestOfferedResolution) {
  const DeviceOption list = Number("resolution", OptionType::kInt, std::nullopt, {75, 150, 300, 600});
  const DeviceOption quantised = Number("resolution", OptionType::kInt, NumericRange{100, 1190, 100});
  const DeviceOption fixedRange = Number("resolution", OptionType::kFixed, NumericRange{4.5, 1200, 0});
  struct Case {
    const DeviceOption* option;
    double asked;
    double expected;
  };
  const Case cases[] = {
      {&list, 200, 150},  {&list, 225, 300},   {&list, 10, 75},           {&list, 9999, 600},
      {&quantised, 260, 300}, {&quantised, 1200, 1100}, {&quantised, 1, 100}, {&fixedRange, 333.3, 333.3},
      {&fixedRange, 2, 4.5},
  };
  for (const Case& c : cases) EXPECT_EQ(NearestResolution(*c.option, c.asked), c.expected) << c.asked;
  DeviceOption readOnly = list;
  readOnly.settable = false;
  EXPECT_EQ(NearestResolution(readOnly, 300), std::nullopt);
}

TEST(ScanOptions, OptionTextByType) {
  EXPECT_EQ(ParseOptionText(Number("x", OptionType::kBool, std::nullopt), "yes"), OptionValue{true});
  EXPECT_EQ(ParseOptionText(Number("x", OptionType::kBool, std::nullopt), "maybe"), std::nullopt);
  EXPECT_EQ(ParseOptionText(Number("x", OptionType::kFixed, std::nullopt), "12.5"), OptionValue{12.5});
  EXPECT_EQ(ParseOptionText(Number("x", OptionType::kInt, std::nullopt), "12x"), std::nullopt);
  EXPECT_EQ(ParseOptionText(StringList("x", {}), "/tmp/a b.ppm"), OptionValue{std::string("/tmp/a b.ppm")});
}

}  // namespace
}  // namespace bidder::desk
