#include <gtest/gtest.h>

#include "desk/service/options.h"
#include "desk/service/user_dirs.h"

namespace bidder::desk {
namespace {

TEST(ServiceOptions, ReadsEveryOptionInBothForms) {
  const ParsedOptions parsed =
      ParseOptions({"--port", "47385", "--allow-origin", "https://a.example", "--allow-origin=https://b.example",
                    "--work-dir=/w", "--log", "/l", "--trust-unknown-peers", "--stop-file", "/s"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const ServiceOptions& options = *parsed.options;
  EXPECT_EQ(options.port, 47385);
  EXPECT_EQ(options.allowOrigins, (std::vector<std::string>{"https://a.example", "https://b.example"}));
  EXPECT_EQ(options.workDir, "/w");
  EXPECT_EQ(options.logFile, "/l");
  EXPECT_EQ(options.stopFile, "/s");
  EXPECT_TRUE(options.trustUnknownPeers);
  EXPECT_FALSE(options.help);
  EXPECT_EQ(CandidatePorts(options), std::vector<std::uint16_t>{47385});
}

TEST(ServiceOptions, RefusesWhatItCannotUse) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port"},                     // no value
      {"--port", "0"},                // no port
      {"--port", "65536"},            // beyond the range
      {"--port", "-1"},               // not plain digits
      {"--port", "80x"},              //
      {"--first-port", "65530"},      // the ten ports would not fit
      {"--port", "1", "--first-port", "2"},
      {"--work-dir="},                // an empty folder name
      {"--stop-file="},               // an empty file name
      {"--verbose"},                  // unknown
      {"47380"},                      // a bare value
  };
  for (const auto& args : cases) {
    const ParsedOptions parsed = ParseOptions(args);
    EXPECT_FALSE(parsed.options) << args.front();
    EXPECT_FALSE(parsed.error.empty()) << args.front();
  }
}

TEST(ServiceOptions, TriesTenPortsFromTheFirst) {
  ServiceOptions options;
  std::vector<std::uint16_t> usual = CandidatePorts(options);
  ASSERT_EQ(usual.size(), 10u);
  EXPECT_EQ(usual.front(), 47380);
  EXPECT_EQ(usual.back(), 47389);
  options.firstPort = 65526;
  EXPECT_EQ(CandidatePorts(options).back(), 65535);
}

TEST(UserDirs, FollowTheXdgRules) {
  struct Case {
    UserEnvironment environment;
    std::optional<std::string> workDir;
    std::vector<std::string> originFiles;
  };
  const std::string system = "/etc/bidder-desk/origins";
  const std::vector<Case> cases = {
      {{"/home/u", std::nullopt, std::nullopt}, "/home/u/.cache/bidder-desk",
       {system, "/home/u/.config/bidder-desk/origins"}},
      {{"/home/u", "/c", "/f"}, "/c/bidder-desk", {system, "/f/bidder-desk/origins"}},
      // A relative XDG path is to be ignored.
      {{"/home/u", "c", "f"}, "/home/u/.cache/bidder-desk", {system, "/home/u/.config/bidder-desk/origins"}},
      {{std::nullopt, std::nullopt, std::nullopt}, std::nullopt, {system}},
      {{"", std::nullopt, std::nullopt}, std::nullopt, {system}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DefaultWorkDir(c.environment), c.workDir);
    EXPECT_EQ(OriginListFiles(c.environment), c.originFiles);
  }
}

TEST(UserDirs, FollowTheWindowsKnownFolders) {
  struct Case {
    std::optional<std::string> localAppData, appData, programData;
    std::optional<std::string> workDir;
    std::vector<std::string> originFiles;
  };
  const std::vector<Case> cases = {
      {"C:\\Users\\u\\AppData\\Local", "C:\\Users\\u\\AppData\\Roaming", "C:\\ProgramData",
       "C:\\Users\\u\\AppData\\Local\\BidderDesk\\work",
       {"C:\\ProgramData\\BidderDesk\\origins.txt", "C:\\Users\\u\\AppData\\Roaming\\BidderDesk\\origins.txt"}},
      // A trailing separator is not doubled; a share is absolute too.
      {"D:\\L\\", "\\\\server\\home\\u", std::nullopt, "D:\\L\\BidderDesk\\work",
       {"\\\\server\\home\\u\\BidderDesk\\origins.txt"}},
      // Relative or empty values are ignored, as the XDG rules ignore them.
      {"AppData", "", "C:", std::nullopt, {}},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}},
  };
  for (const Case& c : cases) {
    UserEnvironment environment;
    environment.localAppData = c.localAppData;
    environment.appData = c.appData;
    environment.programData = c.programData;
    EXPECT_EQ(DefaultWindowsWorkDir(environment), c.workDir) << c.localAppData.value_or("(none)");
    EXPECT_EQ(WindowsOriginListFiles(environment), c.originFiles) << c.appData.value_or("(none)");
  }
}

}  // namespace
}  // namespace bidder::desk
