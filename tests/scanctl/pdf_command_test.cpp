// The folvane command line: exit status, messages and the strings' encoding.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "output/pdf_messages.h"
#include "support/temp_dir.h"
#include "text/codepage.h"
#include "tiff_fixture.h"
#include "tool/folvane_cli.h"

namespace folvane::cli {
namespace {

using bidder::test::TempDir;

struct Ran {
  int status;
  std::string out, err;
};

Ran RunTool(const std::vector<std::string>& args) {
  Platform platform;
  platform.toFilePath = [](const std::string& path) -> std::optional<std::string> { return path; };
  platform.toConsoleText = [](const std::string& gbk) { return bidder::GbkToUtf8(gbk).value_or(gbk); };
  std::ostringstream out, err;
  const int status = Run(args, platform, out, err);
  return {status, out.str(), err.str()};
}

TEST(FolvaneCli, UsageErrorsExitWithTwo) {
  TempDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"bind"},
      {"pdf"},
      {"pdf", dir / "0.tif"},                                // no -o
      {"pdf", "-o", dir / "out.pdf"},                         // no page
      {"pdf", "-o"},                                          // -o without a value
      {"pdf", "-o", dir / "out.pdf", "--keywords", "x", dir / "0.tif"},
      {"pdf", "-o", dir / "out.pdf", "--title", "\xF0\x9F\x93\x84", dir / "0.tif"},  // not expressible in GBK
  };
  for (const auto& args : cases) {
    const Ran ran = RunTool(args);
    EXPECT_EQ(ran.status, kExitUsage) << (args.empty() ? "" : args[0]);
    EXPECT_NE(ran.err.find("usage"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out.pdf"));
  EXPECT_EQ(RunTool({"help"}).status, kExitOk);
}

TEST(FolvaneCli, PdfBindsAndReportsSkippedPages) {
  TempDir dir;
  test::WriteTiffFixture(dir / "0.tif", test::TiffFixture{});
  const std::string output = dir / "out.pdf";
  const Ran ran = RunTool({"pdf", "-o", output, "--title", "标书", dir / "0.tif", dir / "1.tif"});
  EXPECT_EQ(ran.status, kExitOk) << ran.err;
  EXPECT_NE(ran.err.find("skipped " + (dir / "1.tif")), std::string::npos) << ran.err;
  const std::string pdf = bidder::test::ReadFile(output);
  EXPECT_NE(pdf.find("/Title <FEFF68074E66>"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / "0.tif")) << "the tool never deletes pages";
}

TEST(FolvaneCli, PdfFailuresExitWithOneAndTheControlsMessage) {
  TempDir dir;
  test::WriteTiffFixture(dir / "0.tif", test::TiffFixture{});
  const Ran cannotCreate = RunTool({"pdf", "-o", dir / "missing/out.pdf", dir / "0.tif"});
  EXPECT_EQ(cannotCreate.status, kExitFailure);
  EXPECT_EQ(cannotCreate.out, "Can not create PDF file.\nMay be file opened by another process\n");
  EXPECT_NE(cannotCreate.err.find(*bidder::GbkToUtf8(msg::kPdfCannotCreate)), std::string::npos);

  const Ran noPage = RunTool({"pdf", "-o", dir / "out.pdf", dir / "1.tif"});
  EXPECT_EQ(noPage.status, kExitFailure);
  EXPECT_NE(noPage.err.find(*bidder::GbkToUtf8(msg::kPdfNoPage)), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.pdf"));
}

}  // namespace
}  // namespace folvane::cli
