#pragma once
// The token vendor's library loaded at run time. The encryption control's
// token routines (cryptctl/token/) call the library's epas_ functions by
// name; in the desk service those names are functions of this library's own
// that forward to the loaded file, so the routines are the control's,
// unchanged, and the service starts and runs without any token library.
#include <memory>

#include "desk/token/token_module.h"

namespace bidder::desk {

struct TokenFunctions;

class TokenLibrary {
 public:
  // Loads the library (OpenTokenModule) and, when it has every function the
  // routines call, makes the epas_ functions forward to it for as long as
  // the returned object lives. nullptr without a usable library; the epas_
  // functions then fail as a machine without a token does.
  static std::unique_ptr<TokenLibrary> Load();
  // The same from a module already open (for tests of the forwarding).
  static std::unique_ptr<TokenLibrary> FromModule(std::unique_ptr<TokenModule> module);

  ~TokenLibrary();
  TokenLibrary(const TokenLibrary&) = delete;
  TokenLibrary& operator=(const TokenLibrary&) = delete;

 private:
  TokenLibrary(std::unique_ptr<TokenModule> module, std::unique_ptr<TokenFunctions> functions);

  std::unique_ptr<TokenModule> module_;
  std::unique_ptr<TokenFunctions> functions_;
};

}  // namespace bidder::desk
