#include "acquire/page_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "allocation_limit.h"
#include "dib_fixture.h"
#include "image_readback.h"
#include "support/temp_dir.h"

namespace folvane {
namespace {

using bidder::test::TempDir;
using bidder::test::WriteFile;
namespace fs = std::filesystem;

std::string Prefix(const TempDir& dir) { return (dir.path() / "").string(); }

TEST(PageStore, NamesPagesByNumberWithoutPadding) {
  const PageStore store("C:\\Temp\\");
  EXPECT_EQ(store.WorkPrefix(), "C:\\Temp\\");
  EXPECT_EQ(store.PageFileName(0), "C:\\Temp\\0.tif");
  EXPECT_EQ(store.PageFileName(10), "C:\\Temp\\10.tif");
  EXPECT_EQ(store.PageFileName(4294967295u), "C:\\Temp\\4294967295.tif");
  EXPECT_EQ(store.PageCount(), 0u);
}

TEST(PageStore, CountsEveryDeliveredPageEvenWhenItCannotBeStored) {
  TempDir dir;
  PageStore store(Prefix(dir));
  const test::TestDib first = test::MakeDib({24, 6, 4, false, {}, 0, 11811, 11811, 1});
  const test::TestDib second = test::MakeDib({8, 5, 3, true, test::GreyRamp(8), 0, 11811, 11811, 2});
  const std::vector<std::uint8_t> broken(first.bytes.begin(), first.bytes.begin() + 60);

  EXPECT_FALSE(store.AddPage({}));  // an empty transfer is no page
  EXPECT_EQ(store.PageCount(), 0u);
  EXPECT_TRUE(fs::is_empty(dir.path()));

  EXPECT_TRUE(store.AddPage(first.bytes));
  EXPECT_FALSE(store.AddPage(broken));
  EXPECT_TRUE(store.AddPage(second.bytes));
  EXPECT_EQ(store.PageCount(), 3u);
  EXPECT_EQ(test::Difference(*test::ReadTiffColours(store.PageFileName(0)), first), "");
  EXPECT_FALSE(fs::exists(store.PageFileName(1)));
  EXPECT_EQ(test::Difference(*test::ReadTiffColours(store.PageFileName(2)), second), "");
}

TEST(PageStore, DeletePagesRemovesTheDocumentAndNumberingStartsAgain) {
  TempDir dir;
  PageStore store(Prefix(dir));
  const test::TestDib page = test::MakeDib({1, 9, 9, false, {{0, 0, 0}, {255, 255, 255}}});
  WriteFile(store.PageFileName(7), "left by another control");

  store.DeletePages();  // nothing counted: nothing deleted
  EXPECT_TRUE(fs::exists(store.PageFileName(7)));

  for (int i = 0; i < 3; ++i) store.AddPage(page.bytes);
  fs::remove(store.PageFileName(1));  // a page file that went missing
  store.DeletePages();
  EXPECT_EQ(store.PageCount(), 0u);
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_FALSE(fs::exists(store.PageFileName(i))) << i;
  EXPECT_TRUE(fs::exists(store.PageFileName(7)));  // not a page of this document

  // A second scan continues the numbering; after deletion it starts at 0.
  store.AddPage(page.bytes);
  store.AddPage(page.bytes);
  EXPECT_EQ(store.PageCount(), 2u);
  EXPECT_TRUE(fs::exists(store.PageFileName(1)));
  store.DeletePages();
  EXPECT_TRUE(store.AddPage(page.bytes));
  EXPECT_EQ(store.PageCount(), 1u);
  EXPECT_TRUE(fs::exists(store.PageFileName(0)));
}

TEST(PageStore, AFailedPageNeverLeavesAnOlderFileUnderItsNumber) {
  // Page files of an earlier document are still on disk (the control was
  // closed without deleting them, or a deletion failed).
  TempDir dir;
  PageStore store(Prefix(dir));
  const test::TestDib page = test::MakeDib({24, 3, 3, false, {}});
  for (std::uint32_t i = 0; i < 3; ++i) WriteFile(store.PageFileName(i), "old page");

  EXPECT_TRUE(store.AddPage(page.bytes));
  EXPECT_FALSE(store.AddPage(std::vector<std::uint8_t>(10, 0)));
  EXPECT_EQ(store.PageCount(), 2u);
  EXPECT_FALSE(fs::exists(store.PageFileName(1)));
}

// A page too large for the memory left fails like any page that cannot be
// stored: no exception reaches the caller (a message hook), and neither a
// partial file nor an older page is left under its number.
TEST(PageStore, OutOfMemoryIsAPageNotStored) {
  const struct {
    const char* what;
    test::DibFixture spec;
    std::size_t failFrom;  // bytes
  } cases[] = {
      {"bilevel row", {1, 800, 100, false, {{0, 0, 0}, {255, 255, 255}}}, 100},
      {"colour band", {24, 100, 100, false, {}}, 30000},
      {"compressed colour band", {24, 100, 100, false, {}}, 30001},  // the band fits, its output buffer does not
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    PageStore store(Prefix(dir));
    const test::TestDib page = test::MakeDib(c.spec);
    WriteFile(store.PageFileName(0), "old page");
    const int refusedBefore = test::LargeArraysFail::Refused();
    {
      test::LargeArraysFail limit(c.failFrom);
      EXPECT_FALSE(store.AddPage(page.bytes));
    }
    EXPECT_GT(test::LargeArraysFail::Refused(), refusedBefore);
    EXPECT_EQ(store.PageCount(), 1u);
    EXPECT_TRUE(fs::is_empty(dir.path())) << "a partial or stale file is left";
    EXPECT_TRUE(store.AddPage(page.bytes));
    EXPECT_EQ(test::Difference(*test::ReadTiffColours(store.PageFileName(1)), page), "");
  }
}

TEST(PageStore, AnUnwritableWorkDirectoryStillAdvancesTheCount) {
  TempDir dir;
  PageStore store(Prefix(dir) + "no-such-directory/");
  const test::TestDib page = test::MakeDib({24, 3, 3, false, {}});
  EXPECT_FALSE(store.AddPage(page.bytes));
  EXPECT_FALSE(store.AddPage(page.bytes));
  EXPECT_EQ(store.PageCount(), 2u);
  store.DeletePages();
  EXPECT_EQ(store.PageCount(), 0u);
}

}  // namespace
}  // namespace folvane
