// The desk service's token and file cipher against the stand-in token
// library, loaded at run time the way the service loads the vendor's: the
// token's status, the bytes against `lockvale`, the PIN rules and what a page
// is told when something fails.
#include "desk/token/token_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cryptctl/messages.h"
#include "cryptctl/run_lockvale.h"
#include "desk/token/token_module.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/virtual_token.h"
#include "text/codepage.h"

namespace bidder::desk {
namespace {

using rpc::ErrorReason;
using test::ReadFile;
using test::WriteFile;
namespace msg = lockvale::msg;
using namespace std::chrono_literals;

constexpr char kUserIdUtf8[] = "\xe6\x8a\x95\xe6\xa0\x87\xe4\xba\xba\xe7\x94\xb2";  // 投标人甲
constexpr char kUserIdGbk[] = "\xcd\xb6\xb1\xea\xc8\xcb\xbc\xd7";
constexpr char kPassphrase[] = "\xe6\x8a\x95\xe6\xa0\x87\xe6\x96\x87\xe4\xbb\xb6\xe5\xaf\x86\xe7\xa0\x81";  // 投标文件密码
constexpr char kRightPin[] = "1234";
constexpr char kWrongPin[] = "0000";

// A token whose USERID is Chinese text, so that the key's bytes are GBK.
ftnd::TokenImage BidderToken(std::string serialProperty = std::string("\xcd\xab\x34\x12", 4)) {
  ftnd::TokenImage image;
  image.serialProperty = std::move(serialProperty);
  image.userPin = kRightPin;
  image.directories.push_back({"vorla", {{3, kUserIdGbk + std::string(24, '\xff')}}});
  return image;
}

ftnd::TokenImage WithFault(ftnd::TokenFault fault) {
  ftnd::TokenImage image = BidderToken();
  image.faults.push_back(fault);
  return image;
}

std::string ReasonOf(const std::optional<rpc::Failure>& failure) {
  return failure ? std::string(rpc::Describe(failure->reason).key) : "ok";
}

std::string Utf8(const char* gbk) { return GbkToUtf8(gbk).value(); }

class TokenServiceTest : public ::testing::Test {
 protected:
  TokenServiceTest() {
    // Long enough for several of the cipher's chunks and stdio buffers.
    std::string document;
    for (int i = 0; document.size() < 150000; ++i) document += "page " + std::to_string(i * 7919) + ";";
    WriteFile(plain, document);
    token.Plug(BidderToken());
  }

  std::optional<rpc::Failure> Run(CryptKey key, std::optional<std::string> pin = {},
                                  std::optional<std::string> passphrase = {},
                                  CryptDirection direction = CryptDirection::kEncrypt,
                                  const std::string& input = {}, const std::string& output = {}) {
    return service.Crypt(CryptRequest{.inputPath = input.empty() ? plain : input,
                                      .outputPath = output.empty() ? sealed : output,
                                      .direction = direction,
                                      .key = key,
                                      .pin = std::move(pin),
                                      .passphrase = std::move(passphrase)});
  }
  std::optional<rpc::Failure> SealWithToken(const char* pin) {
    std::filesystem::remove(sealed);
    return Run(CryptKey::kToken, pin);
  }

  // What `lockvale encrypt` makes of the same file with these key options.
  std::string LockvaleSealed(std::vector<std::string> keyOptions) {
    const std::string out = dir / "lockvale.bin";
    std::vector<std::string> args = {"encrypt", plain, out};
    args.insert(args.end(), keyOptions.begin(), keyOptions.end());
    const auto outcome = lockvale::cli::RunTool(args);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    return ReadFile(out);
  }

  // User PIN checks (verify type 0) the token saw since the last look.
  int PinsShownToToken() const {
    const auto calls = token.TakeCalls();
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
      return call.starts_with("epas_Verify(") && call.find(", 0x0, [") != std::string::npos;
    }));
  }

  test::TempDir dir;
  std::string plain = dir / "tender.pdf";
  std::string sealed = dir / "tender.pdf.enc";
  test::VirtualToken token;
  test::ScopedEnv library{kTokenLibraryVariable, BIDDER_STAND_IN_TOKEN_LIBRARY};
  std::chrono::steady_clock::time_point now{};
  std::function<void()> onClock;  // runs whenever the service asks the time
  TokenService service{[this] {
    if (onClock) onClock();
    return now;
  }};
};

TEST_F(TokenServiceTest, StatusShowsThePresenceAndSerialNumberOnly) {
  ASSERT_TRUE(service.LibraryLoaded());
  struct Row {
    const char* name;
    std::optional<ftnd::TokenImage> image;  // nullopt: nothing plugged in
    bool present;
    std::string serial;
  } rows[] = {
      {"plugged", BidderToken(), true, "1234ABCD"},
      {"small serial", BidderToken(std::string("\x2a\0\0\0", 4)), true, "0000002A"},
      {"unplugged", std::nullopt, false, ""},
      {"device fails", WithFault(ftnd::TokenFault::kNoDevice), false, ""},
      // A token that opens is there, even when its serial number is not to be had.
      {"fixed code refused", WithFault(ftnd::TokenFault::kFixedCodeRefused), true, ""},
      {"serial unreadable", WithFault(ftnd::TokenFault::kPropertyUnreadable), true, ""},
  };
  for (const Row& row : rows) {
    if (row.image) token.Plug(*row.image);
    else token.Unplug();
    const TokenStatus status = service.Status();
    EXPECT_EQ(status.present, row.present) << row.name;
    EXPECT_EQ(status.serial, row.serial) << row.name;
    EXPECT_EQ(PinsShownToToken(), 0) << row.name;
  }
}

TEST_F(TokenServiceTest, TokenKeyGivesLockvalesBytesAndDecryptsBack) {
  ASSERT_EQ(ReasonOf(Run(CryptKey::kToken, kRightPin)), "ok");
  // The token's USERID is the key: lockvale hashes the same GBK bytes.
  EXPECT_EQ(ReadFile(sealed), LockvaleSealed({"--pass", kUserIdUtf8}));
  EXPECT_NE(ReadFile(sealed), ReadFile(plain));

  const std::string back = dir / "back.pdf";
  ASSERT_EQ(ReasonOf(Run(CryptKey::kToken, kRightPin, {}, CryptDirection::kDecrypt, sealed, back)), "ok");
  EXPECT_EQ(ReadFile(back), ReadFile(plain));
}

TEST_F(TokenServiceTest, PassphraseAndEmptyKeysGiveLockvalesBytesWithoutTheToken) {
  struct Row {
    const char* name;
    CryptKey key;
    std::optional<std::string> passphrase;
    std::vector<std::string> lockvaleKey;
  } rows[] = {
      {"Chinese pass phrase", CryptKey::kPassphrase, kPassphrase, {"--pass", kPassphrase}},
      {"no pass phrase", CryptKey::kPassphrase, std::nullopt, {"--empty-key"}},
      {"empty key", CryptKey::kEmpty, std::nullopt, {"--empty-key"}},
      {"empty key ignores a pass phrase", CryptKey::kEmpty, kPassphrase, {"--empty-key"}},
  };
  token.Unplug();  // none of these needs a token
  for (const Row& row : rows) {
    // A PIN sent along is ignored: only the token's key asks for one.
    ASSERT_EQ(ReasonOf(Run(row.key, kWrongPin, row.passphrase)), "ok") << row.name;
    EXPECT_EQ(ReadFile(sealed), LockvaleSealed(row.lockvaleKey)) << row.name;

    const std::string back = dir / "back.pdf";
    ASSERT_EQ(ReasonOf(Run(row.key, {}, row.passphrase, CryptDirection::kDecrypt, sealed, back)), "ok") << row.name;
    EXPECT_EQ(ReadFile(back), ReadFile(plain)) << row.name;
  }
  EXPECT_TRUE(token.TakeCalls().empty());
}

TEST_F(TokenServiceTest, TokenKeyWithoutPinIsRefusedBeforeTheTokenIsAsked) {
  const auto failure = Run(CryptKey::kToken);
  ASSERT_EQ(ReasonOf(failure), "pin");
  EXPECT_EQ(failure->field, "pin");
  EXPECT_EQ(rpc::MessageOf(*failure), Utf8(msg::kPinWrong));
  EXPECT_TRUE(token.TakeCalls().empty());
  EXPECT_FALSE(std::filesystem::exists(sealed));
}

TEST_F(TokenServiceTest, TwoWrongPinsPauseTheTokensPinChecksForTenMinutes) {
  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  EXPECT_EQ(PinsShownToToken(), 2);

  // Even the right PIN is not shown to the token while the pause runs, so
  // none of the token's own tries is spent.
  const auto paused = SealWithToken(kRightPin);
  ASSERT_EQ(ReasonOf(paused), "pin-locked");
  EXPECT_EQ(rpc::MessageOf(*paused), rpc::Describe(ErrorReason::kPinLocked).message);
  EXPECT_EQ(PinsShownToToken(), 0);
  EXPECT_FALSE(std::filesystem::exists(sealed));

  now += 10min - 1s;
  EXPECT_EQ(ReasonOf(SealWithToken(kRightPin)), "pin-locked");
  EXPECT_EQ(PinsShownToToken(), 0);

  now += 1s;
  EXPECT_EQ(ReasonOf(SealWithToken(kRightPin)), "ok");
  EXPECT_EQ(ReadFile(sealed), LockvaleSealed({"--pass", kUserIdUtf8}));

  // After the pause the count starts over: two more wrong PINs pause again.
  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  EXPECT_EQ(ReasonOf(SealWithToken(kRightPin)), "pin-locked");
}

TEST_F(TokenServiceTest, TheRightPinStartsTheCountOverAndEachTokenHasItsOwn) {
  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  EXPECT_EQ(ReasonOf(SealWithToken(kRightPin)), "ok");
  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  EXPECT_EQ(ReasonOf(SealWithToken(kRightPin)), "ok");
  EXPECT_EQ(PinsShownToToken(), 4);

  // A PIN GBK cannot express is refused without reaching the token, and
  // spends none of its tries, so it does not count either.
  EXPECT_EQ(ReasonOf(SealWithToken("\xf0\x9f\x94\x91")), "pin");
  EXPECT_EQ(PinsShownToToken(), 0);
  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  EXPECT_EQ(ReasonOf(SealWithToken(kRightPin)), "ok");

  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  EXPECT_EQ(ReasonOf(SealWithToken(kWrongPin)), "pin");
  token.Plug(BidderToken(std::string("\x2a\0\0\0", 4)));
  EXPECT_EQ(ReasonOf(SealWithToken(kRightPin)), "ok");
  token.Plug(BidderToken());
  EXPECT_EQ(ReasonOf(SealWithToken(kRightPin)), "pin-locked");
}

TEST_F(TokenServiceTest, PinChecksFromManyPagesRunOneAtATime) {
  // The first PIN check to ask the time lingers there, so that any other
  // check not held back would overlap it.
  std::mutex guard;
  int inside = 0, mostInside = 0;
  bool lingered = false;
  onClock = [&] {
    std::unique_lock lock(guard);
    mostInside = std::max(mostInside, ++inside);
    if (!std::exchange(lingered, true)) {
      for (int i = 0; i < 30 && inside == 1; ++i) {
        lock.unlock();
        std::this_thread::sleep_for(10ms);
        lock.lock();
      }
    }
    --inside;
  };
  constexpr int kPages = 6;
  std::vector<std::string> reasons(kPages);
  std::latch start(kPages);
  {
    std::vector<std::jthread> pages;
    for (int i = 0; i < kPages; ++i) {
      pages.emplace_back([this, i, &reasons, &start] {
        start.arrive_and_wait();
        reasons[i] = ReasonOf(Run(CryptKey::kToken, kWrongPin, {}, CryptDirection::kEncrypt, {},
                                  dir / ("out" + std::to_string(i))));
      });
    }
  }
  EXPECT_EQ(mostInside, 1);
  EXPECT_EQ(std::count(reasons.begin(), reasons.end(), "pin"), 2);
  EXPECT_EQ(std::count(reasons.begin(), reasons.end(), "pin-locked"), kPages - 2);
  EXPECT_EQ(PinsShownToToken(), 2);
}

TEST_F(TokenServiceTest, FailuresCarryTheReasonAndTheControlsText) {
  const std::string nowhere = dir / "absent.pdf";
  struct Row {
    const char* name;
    std::function<void()> setUp;
    std::function<std::optional<rpc::Failure>()> call;
    std::string reason;
    std::string message;  // UTF-8
    std::string field;
  };
  auto tokenCall = [this] { return Run(CryptKey::kToken, kRightPin); };
  auto plug = [this](ftnd::TokenImage image) { return [this, image] { token.Plug(image); }; };
  auto nothing = [] {};
  const std::string diskFullText(rpc::Describe(ErrorReason::kDiskFull).message);
  const Row rows[] = {
      {"no token", [this] { token.Unplug(); }, tokenCall, "no-token", Utf8(msg::kCannotOpenDevice), ""},
      {"token refuses the PIN", plug(WithFault(ftnd::TokenFault::kPinRefused)), tokenCall, "pin",
       Utf8(msg::kPinWrong), ""},
      {"fixed code refused", plug(WithFault(ftnd::TokenFault::kFixedCodeRefused)), tokenCall, "token",
       Utf8(msg::kUserIdReadFailed), ""},
      {"serial unreadable", plug(WithFault(ftnd::TokenFault::kPropertyUnreadable)), tokenCall, "token",
       Utf8(msg::kSerialNumberReadFailed), ""},
      {"no USERID directory", plug(WithFault(ftnd::TokenFault::kDirectoryMissing)), tokenCall, "token",
       Utf8(msg::kChangeDirectoryFailed), ""},
      {"USERID unreadable", plug(WithFault(ftnd::TokenFault::kReadFails)), tokenCall, "token",
       Utf8(msg::kUserIdReadFailed), ""},
      {"input missing", nothing,
       [&] { return Run(CryptKey::kEmpty, {}, {}, CryptDirection::kDecrypt, nowhere); }, "not-found",
       Utf8(msg::kSourceNameWrong), ""},
      {"input a folder", nothing,
       [&] { return Run(CryptKey::kEmpty, {}, {}, CryptDirection::kDecrypt, dir.path().string()); }, "not-found",
       Utf8(msg::kSourceNameWrong), ""},
      // Fails while being read, after the output was created.
      {"input unreadable", nothing,
       [&] { return Run(CryptKey::kEmpty, {}, {}, CryptDirection::kEncrypt, "/proc/self/mem"); }, "internal",
       Utf8(msg::kSourceNameWrong), ""},
      {"output folder missing", nothing,
       [&] { return Run(CryptKey::kEmpty, {}, {}, CryptDirection::kEncrypt, {}, dir / "gone/out.bin"); },
       "internal", Utf8(msg::kDestinationNameWrong), ""},
      {"output is the input", nothing,
       [&] { return Run(CryptKey::kEmpty, {}, {}, CryptDirection::kEncrypt, {}, plain); }, "internal",
       Utf8(msg::kDestinationNameWrong), ""},
      {"disk full", nothing,
       [&] { return Run(CryptKey::kEmpty, {}, {}, CryptDirection::kEncrypt, {}, "/dev/full"); }, "disk-full",
       diskFullText, ""},
      {"pass phrase GBK cannot express", nothing, [&] { return Run(CryptKey::kPassphrase, {}, "\xf0\x9f\x94\x91"); },
       "bad-request", Utf8(msg::kSetupFailed), "passphrase"},
  };
  const std::string document = ReadFile(plain);
  for (const Row& row : rows) {
    std::filesystem::remove(sealed);
    token.Plug(BidderToken());
    row.setUp();
    const auto failure = row.call();
    ASSERT_EQ(ReasonOf(failure), row.reason) << row.name;
    EXPECT_EQ(rpc::MessageOf(*failure), row.message) << row.name;
    EXPECT_EQ(failure->field, row.field) << row.name;
    // No half-made output is left to be served, and the input is untouched.
    EXPECT_FALSE(std::filesystem::exists(sealed)) << row.name;
    EXPECT_EQ(ReadFile(plain), document) << row.name;
  }
}

}  // namespace
}  // namespace bidder::desk
