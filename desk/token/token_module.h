#pragma once
// The token vendor's library file as the platform loads it. This is the one
// platform-specific piece of the token's loading: Linux opens
// libFT_ND_API.so with dlopen, Windows will open FT_ND_API.dll with
// LoadLibrary, each in its own token_module_<platform>.cpp.
#include <memory>

namespace bidder::desk {

// An opened library; closing it is the destructor's.
class TokenModule {
 public:
  virtual ~TokenModule() = default;
  // The address of an exported function by its undecorated name, or nullptr.
  virtual void* Symbol(const char* name) const = 0;
};

// The environment variable that names the library's file exactly, for tests
// and for installations that keep it elsewhere. When it is set, no other
// place is tried: a test that names a missing file gets no library at all.
inline constexpr char kTokenLibraryVariable[] = "BIDDER_DESK_TOKEN_LIBRARY";

// Opens the token library from the first place that has one: the file named
// by kTokenLibraryVariable; otherwise beside the running program, then the
// system's search path. nullptr when none loads.
std::unique_ptr<TokenModule> OpenTokenModule();

}  // namespace bidder::desk
