// `lockvale token`: images it writes are what the stand-in serves and what
// the token routines then read.
#include <gtest/gtest.h>

#include "messages.h"
#include "support/virtual_token.h"
#include "token/token_access.h"
#include "run_lockvale.h"

namespace lockvale::cli {
namespace {

using bidder::test::ReadFile;
using bidder::test::VirtualToken;

TEST(TokenCommand, InitWritesATokenTheRoutinesRead) {
  VirtualToken token;
  // USERID 投标人01 in UTF-8 on the command line, GBK on the token.
  const Outcome init = RunTool({"token", "init", token.ImagePath(), "--serial", "0000000a", "--pin",
                                "\xe5\x8f\xa3\xe4\xbb\xa4", "--userid", "\xe6\x8a\x95\xe6\xa0\x87\xe4\xba\xba" "01"});
  ASSERT_EQ(init.exitCode, kExitOk) << init.err;
  EXPECT_EQ(init.out + init.err, "");

  const UserIdRead read = ReadUSBKeyUserID();
  EXPECT_EQ(read.message, "");
  EXPECT_EQ(read.serialNumber, "0000000A");
  EXPECT_EQ(read.userId, "\xcd\xb6\xb1\xea\xc8\xcb" "01");
  EXPECT_EQ(VerifyPIN("\xbf\xda\xc1\xee"), "");  // 口令 in GBK
  EXPECT_EQ(VerifyPIN("\xe5\x8f\xa3\xe4\xbb\xa4"), msg::kPinWrong);

  const Outcome show = RunTool({"token", "show", token.ImagePath()});
  ASSERT_EQ(show.exitCode, kExitOk) << show.err;
  EXPECT_EQ(show.out,
            "serial number: 0000000A (property 7: 0a000000)\n"
            "user PIN: \"[\xbf\xda\xc1\xee]\" (bfdac1ee)\n"
            "fixed code: \"[tarvik]\" (74617276696b)\n"
            "directory vorla\n"
            "  file 3: 32 bytes cdb6b1eac8cb3031ffffffffffffffffffffffffffffffffffffffffffffffff\n"
            "USERID: \"[\xcd\xb6\xb1\xea\xc8\xcb" "01]\" (8 bytes cdb6b1eac8cb3031)\n"
            "faults: none\n");
}

TEST(TokenCommand, RawRecordsFaultsAndTokensWithoutUserId) {
  VirtualToken token;
  const std::string record = "41" + std::string(62, '0');  // "A", then NULs, no 0xFF
  ASSERT_EQ(RunTool({"token", "init", token.ImagePath(), "--serial", "89ABCDEF", "--pin", "", "--record-hex", record,
                     "--fault", "read-fails", "--fault", "pin-refused"})
                .exitCode,
            kExitOk);
  EXPECT_EQ(ReadUSBKeyUserID().message, msg::kUserIdReadFailed);
  EXPECT_EQ(VerifyPIN(""), msg::kPinWrong);
  const Outcome show = RunTool({"token", "show", token.ImagePath()});
  EXPECT_NE(show.out.find("serial number: 89ABCDEF (property 7: efcdab89)\n"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("USERID: \"[A]\" (1 bytes 41)\n"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("faults: read-fails, pin-refused\n"), std::string::npos) << show.out;

  ASSERT_EQ(RunTool({"token", "init", token.ImagePath(), "--serial", "00000001", "--pin", "1"}).exitCode, kExitOk);
  EXPECT_EQ(ReadUSBKeyUserID().message, msg::kChangeDirectoryFailed);
  EXPECT_EQ(VerifyPIN("1"), "");
  EXPECT_NE(RunTool({"token", "show", token.ImagePath()}).out.find("USERID: none"), std::string::npos);

  // Every fault name the tool takes reaches the token.
  for (ftnd::TokenFault fault : ftnd::kAllFaults) {
    const std::string name(ftnd::FaultName(fault));
    ASSERT_EQ(RunTool({"token", "init", token.ImagePath(), "--serial", "00000001", "--pin", "1", "--fault", name})
                  .exitCode,
              kExitOk);
    const auto parsed = ftnd::ParseTokenImage(ReadFile(token.ImagePath()));
    ASSERT_TRUE(parsed.image);
    EXPECT_EQ(parsed.image->faults, std::vector<ftnd::TokenFault>{fault}) << name;
  }
}

TEST(TokenCommand, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"token"},
      {"token", "erase", "img"},
      {"token", "init", "img", "--pin", "1"},                                  // no serial
      {"token", "init", "img", "--serial", "00000001"},                        // no PIN
      {"token", "init", "--serial", "00000001", "--pin", "1"},                 // no image
      {"token", "init", "a", "b", "--serial", "00000001", "--pin", "1"},       // two images
      {"token", "init", "img", "--serial", "1", "--pin", "1"},                 // not 8 digits
      {"token", "init", "img", "--serial", "0000000g", "--pin", "1"},
      {"token", "init", "img", "--serial", "00000001", "--serial", "00000002", "--pin", "1"},
      {"token", "init", "img", "--serial", "00000001", "--pin", "\xe0\xb8\x81"},  // not in GBK
      {"token", "init", "img", "--serial", "00000001", "--pin", "1", "--userid", std::string(32, 'u')},
      {"token", "init", "img", "--serial", "00000001", "--pin", "1", "--userid", "u", "--record-hex",
       std::string(64, 'f')},
      {"token", "init", "img", "--serial", "00000001", "--pin", "1", "--record-hex", std::string(62, 'f')},
      {"token", "init", "img", "--serial", "00000001", "--pin", "1", "--fault", "melted"},
      {"token", "init", "img", "--serial", "00000001", "--pin", "1", "--verbose"},
      {"token", "init", "img", "--serial", "00000001", "--pin"},
      {"token", "show"},
      {"token", "show", "a", "b"},
  };
  for (const auto& args : cases) {
    const Outcome o = RunTool(args);
    EXPECT_EQ(o.exitCode, kExitUsage) << ::testing::PrintToString(args);
    EXPECT_NE(o.err.find("usage:"), std::string::npos);
  }
}

TEST(TokenCommand, UnreadableImagesAndUnwritablePaths) {
  VirtualToken token;
  Outcome o = RunTool({"token", "show", token.Dir() / "missing.img"});
  EXPECT_EQ(o.exitCode, kExitFailure);
  EXPECT_NE(o.err.find("cannot read"), std::string::npos);

  token.PlugRaw("FT_ND_API token image 1\nuser-pin = 1\n");
  o = RunTool({"token", "show", token.ImagePath()});
  EXPECT_EQ(o.exitCode, kExitFailure);
  EXPECT_NE(o.err.find("line 2"), std::string::npos) << o.err;

  o = RunTool({"token", "init", token.Dir() / "no-such-dir/img", "--serial", "00000001", "--pin", "1"});
  EXPECT_EQ(o.exitCode, kExitFailure);
  EXPECT_NE(o.err.find("cannot write"), std::string::npos);
}

}  // namespace
}  // namespace lockvale::cli
