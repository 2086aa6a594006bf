// The Windows work directory: found through a wide name (a user folder
// outside the ANSI code page), marked, emptied at start and at exit, locked
// against a second instance, and never taken when it holds others' files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "desk/service/work_dir.h"
#include "support/temp_dir.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

void WriteFile(const fs::path& path, const char* text) { std::ofstream(path, std::ios::binary) << text; }

std::unique_ptr<WorkDir> Open(const fs::path& path, WorkDirStatus& status) {
  std::string message;
  std::unique_ptr<WorkDir> workDir = WorkDir::Open(Utf8(path), status, message);
  EXPECT_EQ(workDir != nullptr, status == WorkDirStatus::kReady) << message;
  EXPECT_TRUE(workDir || !message.empty());
  return workDir;
}

TEST(WorkDirWindows, IsMarkedEmptiedAndLockedUnderAWideName) {
  test::TempDir temp;
  const fs::path path = temp.path() / fs::path(u8"用户 Ådne") / "work";
  WorkDirStatus status = WorkDirStatus::kRefused;
  auto first = Open(path, status);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Path(), Utf8(path));
  EXPECT_TRUE(fs::exists(path / kWorkDirMarker));
  // The folder the service's files go to: the same one, by a name that the
  // narrow file functions of the controls can open.
  const fs::path folder = first->Folder();
  EXPECT_TRUE(fs::equivalent(folder, path)) << Utf8(folder);
  for (wchar_t c : folder.native()) ASSERT_LT(c, 0x80) << Utf8(folder);
  WriteFile(path / "in-use", "page");
  fs::create_directory(path / fs::path(u8"文档"));
  WriteFile(path / fs::path(u8"文档") / "p1", "page");

  auto second = Open(path, status);
  EXPECT_FALSE(second);
  EXPECT_EQ(status, WorkDirStatus::kAlreadyRunning);
  EXPECT_TRUE(fs::exists(path / "in-use"));

  first.reset();
  EXPECT_FALSE(fs::exists(path / "in-use"));
  EXPECT_FALSE(fs::exists(path / fs::path(u8"文档")));
  WriteFile(path / "left-by-a-crash", "x");
  auto again = Open(path, status);  // the lock went with the first; a marked folder is emptied
  ASSERT_TRUE(again);
  EXPECT_FALSE(fs::exists(path / "left-by-a-crash"));
}

TEST(WorkDirWindows, RefusesWhatIsNotItsOwn) {
  test::TempDir temp;
  WriteFile(temp.path() / "letter.txt", "mine");
  WriteFile(temp.path() / "file", "a file");
  for (const fs::path& path : {temp.path(), temp.path() / "file", fs::path()}) {
    WorkDirStatus status = WorkDirStatus::kReady;
    EXPECT_FALSE(Open(path, status)) << Utf8(path);
    EXPECT_EQ(status, WorkDirStatus::kRefused);
  }
  EXPECT_TRUE(fs::exists(temp.path() / "letter.txt"));
  EXPECT_FALSE(fs::exists(temp.path() / kWorkDirMarker));
}

}  // namespace
}  // namespace bidder::desk
