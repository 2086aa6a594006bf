#include "run_lockvale.h"

#include <gtest/gtest.h>

#include "cipher/file_cipher.h"
#include "messages.h"
#include "support/temp_dir.h"

namespace lockvale::cli {
namespace {

using bidder::test::ReadFile;
using bidder::test::TempDir;
using bidder::test::WriteFile;

TEST(LockvaleCli, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"scramble", "a", "b", "--empty-key"},
      {"encrypt", "a", "--empty-key"},                                 // no destination
      {"encrypt", "a", "b", "c", "--empty-key"},                       // one too many
      {"encrypt", "a", "b"},                                           // no key
      {"encrypt", "a", "b", "--empty-key", "--pass", "x"},             // two keys
      {"encrypt", "a", "b", "--pass"},                                 // no value
      {"encrypt", "a", "b", "--empty-key", "--key-bits", "64"},
      {"encrypt", "a", "b", "--pass", "x", "--pass-encoding", "latin1"},
      {"encrypt", "a", "b", "--empty-key", "--pass-encoding", "utf-8"},
      {"encrypt", "a", "b", "--empty-key", "--verbose"},
      {"decrypt", "a", "b", "--pass", "\xe0\xb8\x81"},                 // not expressible in GBK
  };
  for (const auto& args : cases) {
    const Outcome o = RunTool(args);
    EXPECT_EQ(o.exitCode, kExitUsage) << ::testing::PrintToString(args);
    EXPECT_NE(o.err.find("usage:"), std::string::npos);
  }
}

TEST(LockvaleCli, EachKeyOptionGivesItsKeyString) {
  TempDir dir;
  WriteFile(dir / "plain", std::string(1500, 'x'));
  WriteFile(dir / "keyfile", std::string("raw\0key\xff", 8));
  struct Case {
    std::vector<std::string> keyArgs;
    std::string keyString;
  } cases[] = {
      {{"--pass", "\xe5\x8f\xa3\xe4\xbb\xa4"}, "\xbf\xda\xc1\xee"},  // 口令 hashed as GBK
      {{"--pass", "\xe5\x8f\xa3\xe4\xbb\xa4", "--pass-encoding", "utf-8"}, "\xe5\x8f\xa3\xe4\xbb\xa4"},
      {{"--key-file", dir / "keyfile"}, std::string("raw\0key\xff", 8)},
      {{"--empty-key"}, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"encrypt", dir / "plain", dir / "out"};
    args.insert(args.end(), c.keyArgs.begin(), c.keyArgs.end());
    const Outcome o = RunTool(args);
    ASSERT_EQ(o.exitCode, kExitOk) << o.err;
    EXPECT_EQ(o.out + o.err, "");  // success is silent
    ASSERT_EQ(TransformFile(dir / "plain", dir / "expected", c.keyString, FileCipherDirection::kEncrypt), "");
    EXPECT_EQ(ReadFile(dir / "out"), ReadFile(dir / "expected")) << c.keyArgs[0];
  }
}

TEST(LockvaleCli, FortyBitKeys) {
  TempDir dir;
  WriteFile(dir / "plain", "forty bits");
  ASSERT_EQ(RunTool({"encrypt", dir / "plain", dir / "enc", "--pass", "k", "--key-bits", "40"}).exitCode, kExitOk);
  ASSERT_EQ(TransformFile(dir / "plain", dir / "expected", "k", FileCipherDirection::kEncrypt, KeyBits::k40), "");
  EXPECT_EQ(ReadFile(dir / "enc"), ReadFile(dir / "expected"));
  ASSERT_EQ(RunTool({"decrypt", dir / "enc", dir / "dec", "--key-bits", "40", "--pass", "k"}).exitCode, kExitOk);
  EXPECT_EQ(ReadFile(dir / "dec"), "forty bits");
}

TEST(LockvaleCli, FailuresPrintTheControlsMessage) {
  TempDir dir;
  Outcome o = RunTool({"encrypt", dir / "missing", dir / "out", "--empty-key"});
  EXPECT_EQ(o.exitCode, kExitFailure);
  EXPECT_EQ(o.err, std::string("[") + msg::kSourceNameWrong + "]\n");

  // A key file that is missing, or a directory (readable by name, not by content).
  for (const std::string& keyFile : {dir / "no-key", dir.path().string()}) {
    o = RunTool({"decrypt", dir / "missing", dir / "out", "--key-file", keyFile});
    EXPECT_EQ(o.exitCode, kExitFailure) << keyFile;
    EXPECT_NE(o.err.find("key file"), std::string::npos) << keyFile;
  }
}

// A key file is read up to 64 KiB: one of exactly that size is the key
// string, anything longer is refused with its own message, and reading
// stops at the limit (a device that never ends once grew memory without end).
TEST(LockvaleCli, KeyFilesAreBounded) {
  TempDir dir;
  WriteFile(dir / "plain", "bounded");
  const std::string largest(64 * 1024, 'k');
  WriteFile(dir / "largest", largest);
  Outcome o = RunTool({"encrypt", dir / "plain", dir / "out", "--key-file", dir / "largest"});
  ASSERT_EQ(o.exitCode, kExitOk) << o.err;
  ASSERT_EQ(TransformFile(dir / "plain", dir / "expected", largest, FileCipherDirection::kEncrypt), "");
  EXPECT_EQ(ReadFile(dir / "out"), ReadFile(dir / "expected"));

  WriteFile(dir / "too-large", largest + "k");
  std::vector<std::string> tooLarge = {dir / "too-large"};
#ifndef _WIN32
  tooLarge.push_back("/dev/zero");
#endif
  for (const std::string& keyFile : tooLarge) {
    o = RunTool({"encrypt", dir / "plain", dir / "out2", "--key-file", keyFile});
    EXPECT_EQ(o.exitCode, kExitFailure) << keyFile;
    EXPECT_EQ(o.err, "lockvale: the key file " + keyFile + " is larger than 65536 bytes\n");
  }
}

}  // namespace
}  // namespace lockvale::cli
