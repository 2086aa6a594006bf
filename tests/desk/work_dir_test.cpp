#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "desk/service/work_dir.h"
#include "support/temp_dir.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

std::unique_ptr<WorkDir> OpenReady(const std::string& path) {
  WorkDirStatus status = WorkDirStatus::kRefused;
  std::string message;
  auto workDir = WorkDir::Open(path, status, message);
  EXPECT_EQ(status, WorkDirStatus::kReady) << message;
  return workDir;
}

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(WorkDir, IsMadePrivateAndMarked) {
  TempDir temp;
  const std::string path = temp / "cache/bidder-desk";
  auto workDir = OpenReady(path);
  ASSERT_TRUE(workDir);
  EXPECT_EQ(ModeOf(path), 0700u);
  EXPECT_TRUE(fs::exists(fs::path(path) / kWorkDirMarker));
}

TEST(WorkDir, IsEmptiedAtStartAndAtExitWithoutFollowingLinks) {
  TempDir temp;
  const std::string path = temp / "work";
  OpenReady(path).reset();
  ::chmod(path.c_str(), 0755);
  fs::create_directories(path + "/left/over");
  WriteFile(path + "/left/over/page.tif", "page");
  WriteFile(temp / "outside", "keep");
  fs::create_symlink(temp / "outside", path + "/link");
  fs::create_directory_symlink(temp.path(), path + "/dirlink");

  auto workDir = OpenReady(path);
  ASSERT_TRUE(workDir);
  EXPECT_EQ(ModeOf(path), 0700u);
  EXPECT_FALSE(fs::exists(path + "/left"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(path + "/link")));
  EXPECT_EQ(test::ReadFile(temp / "outside"), "keep");

  WriteFile(path + "/sealed.enc", "bytes");
  workDir.reset();
  EXPECT_FALSE(fs::exists(path + "/sealed.enc"));
  EXPECT_TRUE(fs::exists(fs::path(path) / kWorkDirMarker));
  EXPECT_EQ(test::ReadFile(temp / "outside"), "keep");
}

TEST(WorkDir, RefusesAFolderThatIsNotItsOwn) {
  TempDir temp;
  WriteFile(temp / "letter.txt", "mine");
  WriteFile(temp / "file", "a file");
  fs::create_directory(temp / "real");
  fs::create_directory_symlink(temp / "real", temp / "link");
  for (const std::string& path : {temp.path().string(), temp / "file", temp / "link", std::string()}) {
    WorkDirStatus status = WorkDirStatus::kReady;
    std::string message;
    EXPECT_FALSE(WorkDir::Open(path, status, message)) << path;
    EXPECT_EQ(status, WorkDirStatus::kRefused) << path;
    EXPECT_FALSE(message.empty());
  }
  EXPECT_EQ(test::ReadFile(temp / "letter.txt"), "mine");
  EXPECT_FALSE(fs::exists(temp / kWorkDirMarker));
}

TEST(WorkDir, ASecondOpenFindsTheFirstRunningAndTouchesNothing) {
  TempDir temp;
  const std::string path = temp / "work";
  auto first = OpenReady(path);
  ASSERT_TRUE(first);
  WriteFile(path + "/in-use", "page");

  WorkDirStatus status = WorkDirStatus::kReady;
  std::string message;
  EXPECT_FALSE(WorkDir::Open(path, status, message));
  EXPECT_EQ(status, WorkDirStatus::kAlreadyRunning);
  EXPECT_EQ(test::ReadFile(path + "/in-use"), "page");

  first.reset();
  EXPECT_TRUE(OpenReady(path));  // the lock went with the first
}

}  // namespace
}  // namespace bidder::desk
