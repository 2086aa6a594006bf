#include "tool/folvane_cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "acquire/dib.h"
#include "dib_fixture.h"
#include "image_readback.h"
#include "output/png_messages.h"
#include "support/temp_dir.h"

namespace folvane::cli {
namespace {

using bidder::test::ReadFile;
using bidder::test::TempDir;
using bidder::test::WriteFile;
namespace fs = std::filesystem;

struct Outcome {
  int exitCode;
  std::string out, err;
};

Outcome RunTool(const std::vector<std::string>& args) {
  Platform platform;
  platform.toFilePath = [](const std::string& p) -> std::optional<std::string> {
    if (p.find("UNSAYABLE") != std::string::npos) return std::nullopt;
    return p;
  };
  platform.toConsoleText = [](const std::string& gbk) { return "[" + gbk + "]"; };
  std::ostringstream out, err;
  const int code = Run(args, platform, out, err);
  return {code, out.str(), err.str()};
}

TEST(FolvaneCli, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"scan"},
      {"page", "in.bmp"},
      {"page", "in.bmp", "out.tif", "more.tif"},
      {"page", "--fast", "in.bmp", "out.tif"},
      {"png", "page.tif"},                   // no output
      {"png", "-o", "out.png"},              // no page
      {"png", "-o"},                         // no value
      {"png", "-o", "a.png", "-o", "b.png", "page.tif"},
      {"png", "-o", "x", "page.tif"},        // nothing left once four characters go
      {"png", "-o", "out.png", "--zip", "page.tif"},
  };
  for (const auto& args : cases) {
    const Outcome o = RunTool(args);
    EXPECT_EQ(o.exitCode, kExitUsage) << ::testing::PrintToString(args);
    EXPECT_NE(o.err.find("usage:"), std::string::npos);
  }
  const Outcome help = RunTool({"--help"});
  EXPECT_EQ(help.exitCode, kExitOk);
  EXPECT_NE(help.out.find("folvane png"), std::string::npos);
}

TEST(FolvaneCli, PageStoresABitmapFileAndPngExportsIt) {
  TempDir dir;
  const test::TestDib dib = test::MakeDib({8, 21, 13, false, test::RandomPalette(256, 2)});
  const std::size_t headerAndTable = *DibHeaderAndTableSize(dib.bytes);
  WriteFile(dir / "packed.bmp", test::AsBmpFile(dib.bytes, headerAndTable));
  WriteFile(dir / "gap.bmp", test::AsBmpFile(dib.bytes, headerAndTable, 6));  // bits further on

  for (const char* bmp : {"packed.bmp", "gap.bmp"}) {
    SCOPED_TRACE(bmp);
    const Outcome page = RunTool({"page", dir / bmp, dir / "0.tif"});
    EXPECT_EQ(page.exitCode, kExitOk) << page.err;
    EXPECT_EQ(test::Difference(*test::ReadTiffColours(dir / "0.tif"), dib), "");
  }
  const Outcome png = RunTool({"png", "-o", dir / "scan.png", dir / "0.tif"});
  EXPECT_EQ(png.exitCode, kExitOk) << png.err;
  EXPECT_EQ(test::Difference(*test::ReadPngColours(dir / "scan.PNG"), dib), "");
  EXPECT_TRUE(fs::exists(dir / "0.tif"));  // the tool never deletes its input
}

TEST(FolvaneCli, FailuresExitOneWithAMessage) {
  TempDir dir;
  const test::TestDib dib = test::MakeDib({24, 5, 5, false, {}});
  WriteFile(dir / "page.bmp", test::AsBmpFile(dib.bytes, 40));
  WriteFile(dir / "text.bmp", "BM but not a bitmap");
  RunTool({"page", dir / "page.bmp", dir / "0.tif"});

  struct Case {
    std::vector<std::string> args;
    std::string inMessage;
  };
  const Case cases[] = {
      {{"page", dir / "missing.bmp", dir / "1.tif"}, "cannot read"},
      {{"page", dir / "text.bmp", dir / "1.tif"}, "not a bitmap"},
      {{"page", dir / "page.bmp", dir / "no-dir/1.tif"}, "cannot write"},
      {{"page", dir / "UNSAYABLE.bmp", dir / "1.tif"}, "cannot express"},
      {{"png", "-o", dir / "scan.png", dir / "0.tif", dir / "missing.tif"},
       std::string("missing.tif: [") + msg::kPngPageUnreadable + "]"},
      {{"png", "-o", dir / "no-dir/scan.png", dir / "0.tif"}, "scan.PNG: cannot write"},
  };
  for (const Case& c : cases) {
    const Outcome o = RunTool(c.args);
    EXPECT_EQ(o.exitCode, kExitFailure) << ::testing::PrintToString(c.args);
    EXPECT_NE(o.err.find(c.inMessage), std::string::npos) << o.err;
  }
  EXPECT_FALSE(fs::exists(dir / "1.tif"));
  // The readable page of a failed run is still written.
  EXPECT_TRUE(fs::exists(dir / "scan_0.PNG"));
  EXPECT_FALSE(fs::exists(dir / "scan_1.PNG"));
}

}  // namespace
}  // namespace folvane::cli
