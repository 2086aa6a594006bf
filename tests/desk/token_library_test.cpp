// Where the desk service finds the token library, and what it does without
// one: the stand-in named exactly, found beside the program, or missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "desk/token/token_library.h"
#include "desk/token/token_module.h"
#include "desk/token/token_service.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/virtual_token.h"

namespace bidder::desk {
namespace {

using test::WriteFile;

std::string ReasonOf(const std::optional<rpc::Failure>& failure) {
  return failure ? std::string(rpc::Describe(failure->reason).key) : "ok";
}

// The variable names the one file tried: a missing file, or one that is no
// library, leaves the service without a token, not without its other work.
TEST(TokenServiceWithoutLibrary, RunsWithoutAToken) {
  test::TempDir dir;
  const std::string notALibrary = dir / "libFT_ND_API.txt";
  WriteFile(notALibrary, "not a library");
  const std::string plain = dir / "plain.bin", sealed = dir / "sealed.bin";
  WriteFile(plain, "tender");
  for (const std::string& named : {dir / "libFT_ND_API.so", notALibrary}) {
    std::filesystem::remove(sealed);
    test::ScopedEnv library(kTokenLibraryVariable, named);
    TokenService service;
    EXPECT_FALSE(service.LibraryLoaded()) << named;
    const TokenStatus status = service.Status();
    EXPECT_FALSE(status.present) << named;
    EXPECT_EQ(status.serial, "") << named;

    CryptRequest request{.inputPath = plain, .outputPath = sealed, .key = CryptKey::kToken, .pin = "1234",
                          .passphrase = {}};
    EXPECT_EQ(ReasonOf(service.Crypt(request)), "no-token") << named;
    EXPECT_FALSE(std::filesystem::exists(sealed)) << named;

    request.key = CryptKey::kPassphrase;
    request.passphrase = "pass phrase";
    EXPECT_EQ(ReasonOf(service.Crypt(request)), "ok") << named;
  }
}

// A library file that lacks one of the token's functions is not used at all.
TEST(TokenLibrary, NeedsEveryFunctionTheRoutinesCall) {
  class Hiding final : public TokenModule {
   public:
    Hiding(std::unique_ptr<TokenModule> real, std::string hidden)
        : real_(std::move(real)), hidden_(std::move(hidden)) {}
    void* Symbol(const char* name) const override { return name == hidden_ ? nullptr : real_->Symbol(name); }

   private:
    std::unique_ptr<TokenModule> real_;
    std::string hidden_;
  };
  test::ScopedEnv library(kTokenLibraryVariable, BIDDER_STAND_IN_TOKEN_LIBRARY);
  const char* names[] = {"epas_CreateContext", "epas_OpenDevice", "epas_Verify",
                         "epas_GetProperty",   "epas_ChangeDir",  "epas_OpenFile",
                         "epas_Read",          "epas_CloseDevice", "epas_DeleteContext"};
  ASSERT_NE(OpenTokenModule(), nullptr);
  for (const char* name : names) {
    EXPECT_EQ(TokenLibrary::FromModule(std::make_unique<Hiding>(OpenTokenModule(), name)), nullptr) << name;
  }
  EXPECT_NE(TokenLibrary::FromModule(std::make_unique<Hiding>(OpenTokenModule(), "")), nullptr);
}

// Without the variable the service looks beside its program first; the
// build puts a copy of the stand-in beside this test.
TEST(TokenLibrary, IsFoundBesideTheProgram) {
  test::ScopedEnv library(kTokenLibraryVariable, std::nullopt);
  test::VirtualToken token;
  token.Plug(test::VirtualToken::Typical());
  TokenService service;
  ASSERT_TRUE(service.LibraryLoaded());
  EXPECT_EQ(service.Status().serial, "1234ABCD");
}

}  // namespace
}  // namespace bidder::desk
