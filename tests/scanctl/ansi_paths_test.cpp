// Windows: page files and PNG files under names in the ANSI code page, as the
// control passes them (the temporary directory and the Save As path of a
// Chinese user).
#include <windows.h>

#include <gtest/gtest.h>

#include "acquire/page_store.h"
#include "dib_fixture.h"
#include "output/png_export.h"
#include "support/temp_dir.h"

namespace folvane {
namespace {

bool Exists(const std::string& ansiPath) { return GetFileAttributesA(ansiPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(AnsiPaths, ChineseFolderAndFileNames) {
  if (GetACP() != 936) GTEST_SKIP() << "needs the GBK code page";
  bidder::test::TempDir dir;
  const std::string folder = dir.path().string() + "\\\xc9\xa8\xc3\xe8";  // 扫描
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));

  PageStore store(folder + "\\");
  const test::TestDib page = test::MakeDib({24, 4, 4, false, {}});
  ASSERT_TRUE(store.AddPage(page.bytes));
  ASSERT_TRUE(store.AddPage(page.bytes));
  EXPECT_TRUE(Exists(folder + "\\1.tif"));

  const std::string chosen = folder + "\\\xb1\xa8\xb8\xe6.png";  // 报告.png
  const PngExportResult result = ExportPngFiles(store.PageFileNames(), chosen);
  EXPECT_TRUE(result.Messages().empty());
  ASSERT_TRUE(result.deletePages);
  store.DeletePages();
  EXPECT_TRUE(Exists(folder + "\\\xb1\xa8\xb8\xe6_0.PNG"));
  EXPECT_TRUE(Exists(folder + "\\\xb1\xa8\xb8\xe6_1.PNG"));
  EXPECT_FALSE(Exists(folder + "\\0.tif"));
}

}  // namespace
}  // namespace folvane
