#include "control/file_call.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cipher/file_cipher.h"
#include "messages.h"
#include "support/temp_dir.h"

namespace lockvale {
namespace {

using bidder::test::ReadFile;
using bidder::test::TempDir;
using bidder::test::WriteFile;

// A token that records what the call asked of it.
class FakeToken : public KeyToken {
 public:
  std::string VerifyPin(std::string_view pin) override {
    calls.push_back("verify:" + std::string(pin));
    return pinAnswer;
  }
  std::string ReadUserIdKey(std::string& key) override {
    calls.push_back("read");
    if (readAnswer.empty()) key = userId;
    return readAnswer;
  }
  std::vector<std::string> calls;
  std::string pinAnswer;
  std::string readAnswer;
  std::string userId = "USER-0042";
};

class FileCallTest : public ::testing::Test {
 protected:
  FileCallTest() { WriteFile(plain, "tender document, 2500 bytes or so" + std::string(2467, 'x')); }

  FileCallArguments Args(long verify, long type) {
    FileCallArguments a;
    a.verifyPinFlag = verify;
    a.pin = "1234";
    a.typeFlag = type;
    a.passPhrase = "pass phrase";
    a.sourcePath = plain;
    a.destinationPath = out;
    return a;
  }
  // The destination decrypted with `key` gives the plain file back.
  bool EncryptedWith(std::string_view key) {
    const std::string back = dir / "back.bin";
    return TransformFile(out, back, key, FileCipherDirection::kDecrypt).empty() && ReadFile(back) == ReadFile(plain);
  }

  TempDir dir;
  std::string plain = dir / "plain.bin";
  std::string out = dir / "out.bin";
  FakeToken token;
};

TEST_F(FileCallTest, FlagsChooseTheTokenUseAndTheKey) {
  struct Row {
    long verify, type;
    std::vector<std::string> calls;
    std::string key;
  } rows[] = {
      {1, 0, {"verify:1234", "read"}, "USER-0042"},
      {1, 1, {"verify:1234"}, "pass phrase"},
      {1, 7, {"verify:1234"}, ""},
      {0, 0, {"read"}, "USER-0042"},
      {2, 1, {}, "pass phrase"},
      {-1, -3, {}, ""},
  };
  for (const Row& r : rows) {
    token.calls.clear();
    std::filesystem::remove(out);
    EXPECT_EQ(RunFileCall(Args(r.verify, r.type), FileCipherDirection::kEncrypt, token), "")
        << r.verify << "/" << r.type;
    EXPECT_EQ(token.calls, r.calls) << r.verify << "/" << r.type;
    EXPECT_TRUE(EncryptedWith(r.key)) << r.verify << "/" << r.type;
  }
}

TEST_F(FileCallTest, TokenFailuresEndTheCallBeforeAnyFileIsOpened) {
  token.pinAnswer = msg::kPinWrong;
  EXPECT_EQ(RunFileCall(Args(1, 0), FileCipherDirection::kEncrypt, token), msg::kPinWrong);
  EXPECT_EQ(token.calls, std::vector<std::string>{"verify:1234"});  // no USERID read after a refused PIN
  EXPECT_FALSE(std::filesystem::exists(out));

  token.pinAnswer.clear();
  token.readAnswer = msg::kChangeDirectoryFailed;
  EXPECT_EQ(RunFileCall(Args(0, 0), FileCipherDirection::kDecrypt, token), msg::kChangeDirectoryFailed);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(FileCallTest, TextTheCodePageCannotExpressIsNeverApproximated) {
  FileCallArguments a = Args(1, 1);
  a.pin.reset();  // refused without presenting anything to the token
  EXPECT_EQ(RunFileCall(a, FileCipherDirection::kEncrypt, token), msg::kPinWrong);
  EXPECT_TRUE(token.calls.empty());

  a = Args(0, 1);
  a.passPhrase.reset();
  EXPECT_EQ(RunFileCall(a, FileCipherDirection::kEncrypt, token), msg::kSetupFailed);
  EXPECT_FALSE(std::filesystem::exists(out));

  a = Args(0, 1);
  a.sourcePath.reset();
  EXPECT_EQ(RunFileCall(a, FileCipherDirection::kEncrypt, token), msg::kSourceNameWrong);
  a = Args(0, 1);
  a.destinationPath.reset();
  EXPECT_EQ(RunFileCall(a, FileCipherDirection::kEncrypt, token), msg::kDestinationNameWrong);
  EXPECT_FALSE(std::filesystem::exists(out));

  // Arguments the flags don't use are ignored, whatever they hold.
  a = Args(0, 7);
  a.pin.reset();
  a.passPhrase.reset();
  EXPECT_EQ(RunFileCall(a, FileCipherDirection::kEncrypt, token), "");
  EXPECT_TRUE(EncryptedWith(""));
}

}  // namespace
}  // namespace lockvale
