#include "desk/blobs/blob_store.h"

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const BlobOwner kPage{"https://tender.example", "0123456789abcdef0123456789abcdef"};
const BlobOwner kOtherSession{"https://tender.example", "fedcba9876543210fedcba9876543210"};
const BlobOwner kOtherOrigin{"https://evil.example", kPage.sessionKey};

constexpr std::uint64_t kLimit = 1 << 20;

class BlobStoreTest : public ::testing::Test {
 protected:
  std::string IdOf(const std::string& url) { return url.substr(std::string("/v1/blobs/").size()); }

  // A complete upload of `bytes` by `owner`, as the transport makes one.
  BlobRef Upload(const BlobOwner& owner, std::string_view bytes) {
    rpc::Failure failure;
    const auto upload = store.BeginUpload(owner, bytes.size(), &failure);
    EXPECT_TRUE(upload);
    if (!upload) return {};
    WriteFile(upload->path.string(), bytes);
    const auto ref = store.FinishUpload(*upload, true);
    EXPECT_TRUE(ref);
    return ref.value_or(BlobRef{});
  }

  BlobRef Output(const BlobOwner& owner, std::string_view bytes, std::function<void()> onDownloaded = {}) {
    PendingFile file = store.NewPendingFile();
    WriteFile(file.path().string(), bytes);
    return store.AddOutput(owner, std::move(file), "application/pdf", std::move(onDownloaded));
  }

  std::vector<std::string> FilesInFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp.path() / "blobs")) names.push_back(entry.path().filename());
    return names;
  }

  TempDir temp;
  std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
  BlobStore store{temp.path() / "blobs", kLimit, [this] { return now; }};
};

TEST_F(BlobStoreTest, AnUploadIsTakenOnceByItsOwnerOnly) {
  const BlobRef ref = Upload(kPage, "sealed bytes");
  EXPECT_TRUE(std::regex_match(ref.url, std::regex("/v1/blobs/[0-9a-f]{32}"))) << ref.url;
  EXPECT_EQ(ref.size, 12u);
  EXPECT_TRUE(ref.sha256.empty() && ref.type.empty());

  EXPECT_FALSE(store.TakeInput(kOtherSession, ref.url));
  EXPECT_FALSE(store.TakeInput(kOtherOrigin, ref.url));
  EXPECT_FALSE(store.FindDownload(kPage, IdOf(ref.url))) << "an input is not for download";
  fs::path taken;
  {
    std::optional<PendingFile> input = store.TakeInput(kPage, ref.url);
    ASSERT_TRUE(input);
    taken = input->path();
    EXPECT_EQ(ReadFile(taken.string()), "sealed bytes");
    EXPECT_FALSE(store.TakeInput(kPage, ref.url)) << "taken twice";
  }
  EXPECT_FALSE(fs::exists(taken)) << "the taker's file outlived it";
}

TEST_F(BlobStoreTest, UrlsNameNothingButTheStoresOwnIds) {
  const BlobRef ref = Upload(kPage, "x");
  const std::string id = IdOf(ref.url);
  std::string upper = id;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& url : {id, "/v1/blobs/" + upper, ref.url + "/", ref.url + "x", "/v1/blobs/../blobs/" + id,
                                 "http://127.0.0.1:47380" + ref.url, std::string("/v1/blobs/")}) {
    EXPECT_FALSE(store.TakeInput(kPage, url)) << url;
  }
  EXPECT_TRUE(store.TakeInput(kPage, ref.url));
}

TEST_F(BlobStoreTest, AnUploadThatDidNotArriveWholeLeavesNothing) {
  struct Case {
    const char* name;
    std::string written;
    bool complete;
  };
  for (const Case& c : {Case{"short body", "12345", true}, Case{"long body", std::string(11, 'x'), true},
                        Case{"broken off", "1234567890", false}}) {
    const auto upload = store.BeginUpload(kPage, 10, nullptr);
    ASSERT_TRUE(upload) << c.name;
    WriteFile(upload->path.string(), c.written);
    EXPECT_FALSE(store.TakeInput(kPage, "/v1/blobs/" + upload->id)) << c.name << ": taken while uploading";
    EXPECT_FALSE(store.FinishUpload(*upload, c.complete)) << c.name;
    EXPECT_FALSE(fs::exists(upload->path)) << c.name;
    EXPECT_FALSE(store.FinishUpload(*upload, true)) << c.name << ": finished twice";
  }
  EXPECT_TRUE(FilesInFolder().empty());
}

TEST_F(BlobStoreTest, AnOutputIsMeasuredAndServedToItsOwner) {
  int downloads = 0;
  bool fileThereDuringCallback = false;
  BlobRef ref;
  ref = Output(kPage, "abc", [&] {
    ++downloads;
    fileThereDuringCallback = fs::exists(temp.path() / "blobs" / IdOf(ref.url));
  });
  EXPECT_EQ(ref.size, 3u);
  EXPECT_EQ(ref.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(ref.type, "application/pdf");
  const std::string id = IdOf(ref.url);

  EXPECT_FALSE(store.FindDownload(kOtherSession, id));
  EXPECT_FALSE(store.FindDownload(kOtherOrigin, id));
  EXPECT_FALSE(store.TakeInput(kPage, ref.url)) << "an output is no input";
  const auto download = store.FindDownload(kPage, id);
  ASSERT_TRUE(download);
  EXPECT_EQ(download->size, 3u);
  EXPECT_EQ(download->type, "application/pdf");
  EXPECT_EQ(ReadFile(download->path.string()), "abc");
  EXPECT_EQ(download->path.filename(), id);

  store.Downloaded(id);
  store.Downloaded(id);
  EXPECT_EQ(downloads, 1);
  EXPECT_TRUE(fileThereDuringCallback);
  EXPECT_FALSE(fs::exists(download->path));
  EXPECT_FALSE(store.FindDownload(kPage, id));
}

TEST_F(BlobStoreTest, OutputEdgeCases) {
  const BlobRef empty = Output(kPage, "");
  EXPECT_EQ(empty.size, 0u);
  EXPECT_EQ(empty.sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  // A type that could end the header line it goes into.
  PendingFile file = store.NewPendingFile();
  WriteFile(file.path().string(), "x");
  EXPECT_EQ(store.AddOutput(kPage, std::move(file), "text/plain\r\nSet-Cookie: a=b").type, "application/octet-stream");

  // An output file that was never written: refused, and nothing stays.
  EXPECT_THROW(store.AddOutput(kPage, store.NewPendingFile(), "application/pdf"), std::runtime_error);
  // A pending file nobody handed over goes.
  fs::path dropped;
  {
    PendingFile unused = store.NewPendingFile();
    WriteFile(unused.path().string(), "half a PDF");
    dropped = unused.path();
  }
  EXPECT_FALSE(fs::exists(dropped));
  // An exception from the callback comes through, and the blob is gone anyway.
  const BlobRef failing = Output(kPage, "y", [] { throw std::runtime_error("document gone"); });
  EXPECT_THROW(store.Downloaded(IdOf(failing.url)), std::runtime_error);
  EXPECT_FALSE(fs::exists(temp.path() / "blobs" / IdOf(failing.url)));

  for (const std::string& name : FilesInFolder()) EXPECT_TRUE(std::regex_match(name, std::regex("[0-9a-f]{32}"))) << name;
}

TEST_F(BlobStoreTest, UnusedBlobsExpireAfterTenMinutes) {
  const BlobRef input = Upload(kPage, "in");
  const BlobRef output = Output(kPage, "out");
  const BlobRef used = Output(kPage, "used");
  const auto uploading = store.BeginUpload(kPage, 4, nullptr);
  ASSERT_TRUE(uploading);

  now += 9min;
  ASSERT_TRUE(store.FindDownload(kPage, IdOf(used.url)));  // a download begun is a use
  now += 1min - 1s;
  store.Expire();
  EXPECT_EQ(FilesInFolder().size(), 3u) << "expired early";
  now += 1s;
  store.Expire();
  EXPECT_FALSE(store.TakeInput(kPage, input.url));
  EXPECT_FALSE(store.FindDownload(kPage, IdOf(output.url)));
  EXPECT_TRUE(store.FindDownload(kPage, IdOf(used.url)));

  // An upload under way is its connection's to end, however long it takes.
  now += 1h;
  store.Expire();
  WriteFile(uploading->path.string(), "late");
  EXPECT_TRUE(store.FinishUpload(*uploading, true));
  EXPECT_FALSE(store.FindDownload(kPage, IdOf(used.url)));
}

TEST_F(BlobStoreTest, EndingASessionRemovesItsBlobsOnly) {
  const BlobRef input = Upload(kPage, "in");
  const BlobRef output = Output(kPage, "out");
  const BlobRef othersInput = Upload(kOtherSession, "theirs");
  const auto uploading = store.BeginUpload(kPage, 4, nullptr);
  ASSERT_TRUE(uploading);
  WriteFile(uploading->path.string(), "half");

  store.EndSession(kPage.sessionKey);
  EXPECT_FALSE(store.TakeInput(kPage, input.url));
  EXPECT_FALSE(store.FindDownload(kPage, IdOf(output.url)));
  EXPECT_FALSE(store.FinishUpload(*uploading, true)) << "an upload outlived its session";
  EXPECT_TRUE(store.TakeInput(kOtherSession, othersInput.url));
  EXPECT_TRUE(FilesInFolder().empty());
}

TEST_F(BlobStoreTest, UploadsBeyondTheLimitOrTheFreeSpaceAreRefused) {
  rpc::Failure failure;
  EXPECT_TRUE(store.BeginUpload(kPage, kLimit, &failure));
  EXPECT_FALSE(store.BeginUpload(kPage, kLimit + 1, &failure));
  EXPECT_EQ(failure.reason, rpc::ErrorReason::kTooLarge);

  // Without the blob limit in the way: the file system's room decides, and
  // an upload under way keeps what it declared.
  BlobStore unlimited(temp.path() / "big", UINT64_MAX);
  const std::uint64_t available = fs::space(temp.path()).available;
  failure = {};
  EXPECT_FALSE(unlimited.BeginUpload(kPage, available + (std::uint64_t{1} << 40), &failure));
  EXPECT_EQ(failure.reason, rpc::ErrorReason::kDiskFull);
  const std::uint64_t most = available / 10 * 6;
  ASSERT_TRUE(unlimited.BeginUpload(kPage, most, &failure));
  failure = {};
  EXPECT_FALSE(unlimited.BeginUpload(kOtherSession, most, &failure));
  EXPECT_EQ(failure.reason, rpc::ErrorReason::kDiskFull);
  EXPECT_TRUE(unlimited.BeginUpload(kOtherSession, available / 10, &failure));
}

TEST(BlobStore, TheStoresFilesGoWithIt) {
  TempDir temp;
  const fs::path folder = temp.path() / "blobs";
  {
    BlobStore store(folder, kLimit);
    PendingFile file = store.NewPendingFile();
    WriteFile(file.path().string(), "out");
    store.AddOutput(kPage, std::move(file), "image/png");
    const auto upload = store.BeginUpload(kPage, 2, nullptr);
    ASSERT_TRUE(upload);
    WriteFile(upload->path.string(), "in");
    ASSERT_TRUE(store.FinishUpload(*upload, true));
  }
  EXPECT_TRUE(fs::is_empty(folder));
}

}  // namespace
}  // namespace bidder::desk
