#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "desk/service/stop_file.h"
#include "support/temp_dir.h"

namespace bidder::desk {
namespace {

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool WaitFor(const std::atomic<int>& calls, int wanted) {
  for (int i = 0; i < 100 && calls < wanted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return calls == wanted;
}

TEST(StopFile, StopsOnceWhenTheFileAppearsAndNotBefore) {
  test::TempDir temp;
  // A name outside any ANSI code page: the service's folders may have one.
  const std::filesystem::path file = temp.path() / std::filesystem::path(u8"停止 stop");
  std::atomic<int> calls{0};
  StopFile watcher;
  watcher.Watch(Utf8(file), [&calls] { ++calls; });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(watcher.Seen());
  std::ofstream(file).put('x');
  EXPECT_TRUE(WaitFor(calls, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(watcher.Seen());
  EXPECT_TRUE(std::filesystem::exists(file));  // whoever made it removes it
}

TEST(StopFile, StopsAtOnceForAFileThatIsThereAndNeverAfterIgnore) {
  test::TempDir temp;
  std::ofstream(temp.path() / "stop").put('x');
  std::atomic<int> calls{0};
  StopFile present;
  present.Watch(Utf8(temp.path() / "stop"), [&calls] { ++calls; });
  EXPECT_TRUE(WaitFor(calls, 1));

  std::atomic<int> later{0};
  StopFile ignored;
  ignored.Watch(Utf8(temp.path() / "later"), [&later] { ++later; });
  ignored.Ignore();
  std::ofstream(temp.path() / "later").put('x');
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(later, 0);
  EXPECT_FALSE(ignored.Seen());
}

}  // namespace
}  // namespace bidder::desk
