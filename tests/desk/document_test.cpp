// One origin's document: pages stored as the scanning control stores them,
// listed from their page files, with ids that survive every change, and no
// file left behind by whatever ends a page.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "acquire/dib_page_writer.h"
#include "desk/document/document.h"
#include "document_fixtures.h"
#include "support/temp_dir.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;
using bidder::test::ReadFile;
using bidder::test::TempDir;
using test::FilesIn;

std::vector<std::uint8_t> SmallPage(std::uint32_t seed = 1) {
  return test::MakeDib(test::Fixture(8, 40, 30, test::GreyRamp(8), seed))
      .bytes;
}

std::vector<std::string> Ids(const Document& document) {
  std::vector<std::string> ids;
  for (const PageInfo& page : document.Pages()) ids.push_back(page.id);
  return ids;
}

std::vector<std::string> AddPages(Document& document, int count) {
  std::vector<std::string> ids;
  for (int i = 0; i < count; ++i) ids.push_back(document.AddDibPage(SmallPage(static_cast<std::uint32_t>(i)))->id);
  return ids;
}

using IdList = std::vector<std::string>;

TEST(Document, IdsStayWithTheirPagesAndAreNeverReused) {
  TempDir dir;
  Document document(dir.path() / "doc");
  EXPECT_EQ(AddPages(document, 4), (IdList{"p1", "p2", "p3", "p4"}));
  const std::string p3File = *document.PagePath("p3");

  ASSERT_TRUE(document.Remove("p2"));
  EXPECT_FALSE(fs::exists(dir / "doc/p2.tif"));
  ASSERT_TRUE(document.Move("p4", 0));
  EXPECT_EQ(Ids(document), (IdList{"p4", "p1", "p3"}));
  ASSERT_TRUE(document.Move("p4", 2));
  EXPECT_EQ(Ids(document), (IdList{"p1", "p3", "p4"}));
  EXPECT_EQ(*document.PagePath("p3"), p3File) << "a page keeps its file wherever it moves";

  // The removed page's id stays unused, also after Clear.
  EXPECT_EQ(AddPages(document, 1), IdList{"p5"});
  document.Clear();
  EXPECT_EQ(AddPages(document, 1), IdList{"p6"});

  // PagePaths follows the document's order.
  ASSERT_TRUE(document.Move("p6", 0));
  EXPECT_EQ(document.PagePaths(), std::vector<std::string>{*document.PagePath("p6")});
}

TEST(Document, RefusedChangesChangeNothing) {
  TempDir dir;
  Document document(dir.path() / "doc");
  AddPages(document, 3);
  const std::uint64_t revision = document.Revision();
  struct Case {
    const char* what;
    bool done;
  };
  const Case cases[] = {
      {"remove an unknown id", document.Remove("p9")},
      {"remove by position, not id", document.Remove("1")},
      {"move an unknown id", document.Move("p9", 0)},
      {"move past the last position", document.Move("p1", 3)},
      {"move far past it", document.Move("p1", static_cast<std::size_t>(-1))},
  };
  for (const Case& c : cases) EXPECT_FALSE(c.done) << c.what;
  EXPECT_EQ(Ids(document), (IdList{"p1", "p2", "p3"}));
  EXPECT_EQ(document.Revision(), revision);
  EXPECT_EQ(document.PagePath("p9"), std::nullopt);

  EXPECT_TRUE(document.Move("p3", 2)) << "moving a page where it is succeeds";
  EXPECT_TRUE(document.Remove("p2"));
  EXPECT_FALSE(document.Remove("p2")) << "a page goes once";
  EXPECT_GT(document.Revision(), revision);
}

TEST(Document, ClearAndTheEndOfTheDocumentLeaveNoFile) {
  TempDir dir;
  const fs::path folder = dir.path() / "doc";
  {
    Document document(folder);
    EXPECT_EQ((fs::status(folder).permissions() & fs::perms::all), fs::perms::owner_all);
    AddPages(document, 3);
    EXPECT_EQ(FilesIn(folder).size(), 3u);
    const std::uint64_t revision = document.Revision();
    document.Clear();
    EXPECT_EQ(document.PageCount(), 0u);
    EXPECT_TRUE(FilesIn(folder).empty());
    EXPECT_GT(document.Revision(), revision);
    AddPages(document, 2);
  }
  EXPECT_FALSE(fs::exists(folder));
}

// A scan adds pages on its own thread while the page lists, moves, removes
// and clears: every page file ends up listed or gone, never orphaned.
TEST(Document, PagesAddedDuringChangesAreAllAccountedFor) {
  TempDir dir;
  Document document(dir.path() / "doc");
  std::thread scan([&] {
    for (std::uint32_t i = 0; i < 60; ++i) EXPECT_TRUE(document.AddDibPage(SmallPage(i)));
  });
  for (int round = 0; round < 3000 && document.PageCount() < 60; ++round) {
    const std::vector<PageInfo> pages = document.Pages();
    if (pages.empty()) continue;
    if (round % 3 == 0) document.Move(pages.back().id, 0);
    else if (round % 7 == 1) document.Remove(pages.front().id);
    else if (round % 101 == 2) document.Clear();
  }
  scan.join();
  std::set<std::string> listed, ids;
  for (const std::string& path : document.PagePaths()) listed.insert(fs::path(path).filename().string());
  for (const PageInfo& page : document.Pages()) ids.insert(page.id);
  const std::vector<std::string> files = FilesIn(dir.path() / "doc");
  EXPECT_EQ(std::set<std::string>(files.begin(), files.end()), listed);
  EXPECT_EQ(ids.size(), document.PageCount()) << "ids are unique";
}

TEST(Document, PagesAreListedAsTheirPageFilesHoldThem) {
  struct Case {
    const char* what;
    test::DibFixture dib;
    PageMode mode;
    std::uint32_t resolution;
  };
  const Case cases[] = {
      {"colour", test::Fixture(24, 64, 48), PageMode::kColor, 300},
      {"grey ramp", test::Fixture(8, 64, 48, test::GreyRamp(8)), PageMode::kGray, 300},
      {"4-bit grey", test::Fixture(4, 64, 48, test::GreyRamp(4)), PageMode::kGray, 300},
      {"black on white", test::Fixture(1, 64, 48, {{0, 0, 0}, {255, 255, 255}}),
       PageMode::kBlackWhite, 300},
      {"white on black", test::Fixture(1, 64, 48, {{255, 255, 255}, {0, 0, 0}}),
       PageMode::kBlackWhite, 300},
      {"two colours", test::Fixture(1, 64, 48, {{255, 0, 0}, {0, 0, 255}}),
       PageMode::kColor, 300},
      {"palette", test::Fixture(8, 64, 48, folvane::test::RandomPalette(256, 3)),
       PageMode::kColor, 300},
      {"no resolution", test::Fixture(24, 64, 48, {}, 1, 0),
       PageMode::kColor, 96},
      {"200 dpi", test::Fixture(24, 64, 48, {}, 1, 7874),
       PageMode::kColor, 200},
  };
  TempDir dir;
  Document document(dir.path() / "doc");
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> dib = test::MakeDib(c.dib).bytes;
    const std::optional<PageInfo> page = document.AddDibPage(dib);
    ASSERT_TRUE(page) << c.what;
    EXPECT_EQ(page->width, 64u) << c.what;
    EXPECT_EQ(page->height, 48u) << c.what;
    EXPECT_EQ(page->mode, c.mode) << c.what;
    EXPECT_EQ(page->resolution, c.resolution) << c.what;
    const std::string path = *document.PagePath(page->id);
    EXPECT_EQ(page->bytes, fs::file_size(path)) << c.what;

    // The very bytes the scanning control stores for that bitmap.
    ASSERT_TRUE(folvane::WriteDibPage(dib, dir / "control.tif")) << c.what;
    EXPECT_EQ(ReadFile(path), ReadFile(dir / "control.tif")) << c.what;
  }
  EXPECT_EQ(document.Pages().size(), std::size(cases));
  EXPECT_EQ(PageModeName(PageMode::kColor), "color");
  EXPECT_EQ(PageModeName(PageMode::kGray), "gray");
  EXPECT_EQ(PageModeName(PageMode::kBlackWhite), "bw");
}

TEST(Document, ABitmapThatCannotBeStoredLeavesNothing) {
  TempDir dir;
  Document document(dir.path() / "doc");
  std::vector<std::uint8_t> cut = SmallPage();
  cut.resize(cut.size() / 2);
  const std::vector<std::vector<std::uint8_t>> refused = {{}, {1, 2, 3}, cut};
  for (const auto& dib : refused) {
    bool diskFull = true;
    EXPECT_EQ(document.AddDibPage(dib, &diskFull), std::nullopt);
    EXPECT_FALSE(diskFull) << "a bad bitmap is not a full disk";
  }
  EXPECT_EQ(document.PageCount(), 0u);
  EXPECT_TRUE(FilesIn(dir.path() / "doc").empty());
}

TEST(Document, AFullDiskIsToldApartAndLeavesNothing) {
  TempDir dir;
  test::SmallFileSystem small(dir.path() / "small", 64 * 1024);
  if (!small.Ok()) GTEST_SKIP() << "no private tmpfs here (needs root)";
  Document document(dir.path() / "small/doc");
  ASSERT_TRUE(document.AddDibPage(SmallPage()));
  // Noise does not compress: 300 KB do not fit into 64 KB.
  const std::vector<std::uint8_t> large = test::MakeDib(test::Fixture(24, 400, 250)).bytes;
  bool diskFull = false;
  EXPECT_EQ(document.AddDibPage(large, &diskFull), std::nullopt);
  EXPECT_TRUE(diskFull);
  EXPECT_EQ(Ids(document), IdList{"p1"});
  EXPECT_EQ(FilesIn(dir.path() / "small/doc"), std::vector<std::string>{"p1.tif"});
}

TEST(DocumentRegistry, OneDocumentPerOriginInNumberedFolders) {
  TempDir dir;
  const fs::path root = dir.path() / "documents";
  DocumentRegistry registry(root);
  const std::string a = "https://a.example", b = "https://b.example:8443";
  std::shared_ptr<Document> docA = registry.For(a);
  EXPECT_EQ(registry.For(a), docA) << "two pages of one origin share it";
  const std::shared_ptr<Document> docB = registry.For(b);
  EXPECT_NE(docB, docA);
  const std::shared_ptr<Document> odd = registry.For("https://x/../../etc");
  AddPages(*docA, 1);
  AddPages(*docB, 2);
  AddPages(*odd, 1);
  EXPECT_EQ(docA->PageCount(), 1u);
  EXPECT_EQ(docB->PageCount(), 2u);

  // No origin, however it is spelt, becomes part of a path.
  for (const auto& document : {docA, docB, odd}) {
    const std::string path = document->PagePaths().at(0);
    EXPECT_EQ(fs::path(path).parent_path().parent_path(), root) << path;
    const std::string folder = fs::path(path).parent_path().filename().string();
    EXPECT_TRUE(std::all_of(folder.begin(), folder.end(), [](char c) { return c >= '0' && c <= '9'; })) << path;
  }
  EXPECT_EQ(FilesIn(root).size(), 3u);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"documents"});

  // Ended: a holder keeps its reference, the files go with the last one, and
  // the origin starts afresh.
  const fs::path folderA = fs::path(docA->PagePaths()[0]).parent_path();
  registry.End(a);
  registry.End("https://never.example");
  EXPECT_TRUE(fs::exists(folderA)) << "a scan still adding holds the document";
  const std::shared_ptr<Document> fresh = registry.For(a);
  EXPECT_NE(fresh, docA);
  EXPECT_EQ(fresh->PageCount(), 0u);
  docA.reset();
  EXPECT_FALSE(fs::exists(folderA));
  EXPECT_EQ(registry.For(b)->PageCount(), 2u);
}

TEST(DocumentRegistry, NeverTakesOverAFolderItDidNotMake) {
  TempDir dir;
  const fs::path root = dir.path() / "documents";
  fs::create_directories(root / "1");
  bidder::test::WriteFile((root / "1/keep").string(), "x");
  {
    DocumentRegistry registry(root);
    AddPages(*registry.For("https://a.example"), 1);
  }
  EXPECT_TRUE(fs::exists(root / "1/keep"));
  EXPECT_EQ(FilesIn(root), std::vector<std::string>{"1"});
}

}  // namespace
}  // namespace bidder::desk
