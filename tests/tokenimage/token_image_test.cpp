#include "tokenimage/token_image.h"

#include <gtest/gtest.h>

namespace ftnd {
namespace {

constexpr char kHeader[] = "FT_ND_API token image 1\n";

TEST(TokenImage, FormatThenParseGivesTheSameImage) {
  TokenImage image;
  image.serialProperty = std::string("\x0a\x00\x00\x00", 4);
  image.userPin = std::string("\xbf\xda\x00\xff", 4);
  image.fixedCode = "other";
  image.directories.push_back({"vorla", {{3, std::string(32, '\xff')}, {4294967295u, ""}}});
  image.directories.push_back({"empty.dir", {}});
  image.faults = {TokenFault::kReadFails, TokenFault::kNoContext};
  const ParsedTokenImage parsed = ParseTokenImage(FormatTokenImage(image));
  ASSERT_TRUE(parsed.image) << parsed.error;
  EXPECT_EQ(*parsed.image, image);

  const ParsedTokenImage minimal = ParseTokenImage(FormatTokenImage(TokenImage{}));
  ASSERT_TRUE(minimal.image) << minimal.error;
  EXPECT_EQ(*minimal.image, TokenImage{});
  EXPECT_EQ(minimal.image->fixedCode, "tarvik");
  EXPECT_EQ(minimal.image->serialProperty, std::nullopt);
}

TEST(TokenImage, EveryFaultHasAName) {
  for (TokenFault fault : kAllFaults) EXPECT_EQ(FaultFromName(FaultName(fault)), fault);
  EXPECT_EQ(FaultFromName("No-Device"), std::nullopt);
}

TEST(TokenImage, ReadsHandWrittenText) {
  const ParsedTokenImage ok = ParseTokenImage(
      "FT_ND_API token image 1\r\n"
      "# a comment\r\n"
      "\r\n"
      "  serial-property =  0A000000 \r\n"
      "user-pin =\n"
      "directory = vorla\n"
      "file = vorla   3\tFF\n"
      "fault = no-device\n"
      "fault = no-device\n");
  ASSERT_TRUE(ok.image) << ok.error;
  EXPECT_EQ(ok.image->serialProperty, std::string("\x0a\x00\x00\x00", 4));
  EXPECT_EQ(ok.image->userPin, "");
  ASSERT_NE(ok.image->FindDirectory("vorla"), nullptr);
  ASSERT_NE(ok.image->FindDirectory("vorla")->FindFile(3), nullptr);
  EXPECT_EQ(ok.image->FindDirectory("vorla")->FindFile(3)->bytes, "\xff");
  EXPECT_EQ(ok.image->faults, std::vector<TokenFault>{TokenFault::kNoDevice});
}

TEST(TokenImage, RejectsWhatItCannotRead) {
  const std::string cases[] = {
      "",
      "FT_ND_API token image 2\n",
      "not an image\nserial-property = 00\n",
      std::string(kHeader) + "serial-property 0a000000\n",
      std::string(kHeader) + "serial = 0a000000\n",
      std::string(kHeader) + "serial-property = 0a0\n",
      std::string(kHeader) + "serial-property = 0g\n",
      std::string(kHeader) + "serial-property = 0a00 0000\n",
      std::string(kHeader) + "serial-property = 00\nserial-property = 00\n",
      std::string(kHeader) + "user-pin = 00\nuser-pin = 00\n",
      std::string(kHeader) + "fixed-code = 00\nfixed-code = 00\n",
      std::string(kHeader) + "file = vorla 3 ff\n",
      std::string(kHeader) + "directory = vorla\ndirectory = vorla\n",
      std::string(kHeader) + "directory = vorla\nfile = vorla 3\nfile = vorla 3 00\n",
      std::string(kHeader) + "directory = vorla\nfile = vorla -3 00\n",
      std::string(kHeader) + "directory = vorla\nfile = vorla 4294967296 00\n",
      std::string(kHeader) + "directory = vorla\nfile = vorla 0x3 00\n",
      std::string(kHeader) + "directory = vorla\nfile = vorla\n",
      std::string(kHeader) + "directory = vorla\nfile = vorla 3 00 11\n",
      std::string(kHeader) + "directory =\n",
      std::string(kHeader) + "directory = two words\n",
      std::string(kHeader) + "directory = " + std::string(65, 'd') + "\n",
      std::string(kHeader) + "directory = caf\xc3\xa9\n",
      std::string(kHeader) + "fault = everything\n",
      std::string(kHeader) + "# " + std::string(kMaxImageBytes, 'x') + "\n",
  };
  for (const std::string& text : cases) {
    const ParsedTokenImage parsed = ParseTokenImage(text);
    EXPECT_FALSE(parsed.image) << text.substr(0, 120);
    EXPECT_NE(parsed.error, "") << text.substr(0, 120);
  }
}

// Any prefix of a valid image, and any single byte changed, parses or fails
// cleanly (the sanitizer build catches what a test cannot see).
TEST(TokenImage, DamagedImagesNeverCrash) {
  TokenImage image;
  image.serialProperty = "\x01\x02\x03\x04";
  image.userPin = "1234";
  image.directories.push_back({"vorla", {{3, "ABC\xff"}}});
  image.faults = {TokenFault::kFileMissing};
  const std::string text = FormatTokenImage(image);
  for (std::size_t n = 0; n <= text.size(); ++n) (void)ParseTokenImage(text.substr(0, n));
  for (std::size_t i = 0; i < text.size(); ++i) {
    for (char c : {'\0', '\n', '=', ' ', 'g', '\xff'}) {
      std::string damaged = text;
      damaged[i] = c;
      (void)ParseTokenImage(damaged);
    }
  }
}

// Images near the size limit that are nothing but directories, or files of
// one directory, are read whole, and a repeat at the very end is still found
// (bench/token_image_bench measures how the time grows with the size).
TEST(TokenImage, LargeImagesOfOneKindAreReadWholeAndRepeatsFound) {
  std::string directories(kHeader), files = std::string(kHeader) + "directory = v\n";
  for (int i = 0; directories.size() < kMaxImageBytes - 100; ++i)
    directories += "directory = d" + std::to_string(i) + "\n";
  for (int i = 0; files.size() < kMaxImageBytes - 100; ++i) files += "file = v " + std::to_string(i) + "\n";
  for (const std::string* text : {&directories, &files}) {
    const ParsedTokenImage parsed = ParseTokenImage(*text);
    ASSERT_TRUE(parsed.image) << parsed.error;
  }
  EXPECT_FALSE(ParseTokenImage(directories + "directory = d0\n").image);
  EXPECT_FALSE(ParseTokenImage(files + "file = v 0\n").image);
}

}  // namespace
}  // namespace ftnd
