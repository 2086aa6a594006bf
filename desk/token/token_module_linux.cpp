#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "desk/token/token_module.h"

namespace bidder::desk {
namespace {

constexpr char kLibraryFileName[] = "libFT_ND_API.so";

class DlopenModule final : public TokenModule {
 public:
  explicit DlopenModule(void* handle) : handle_(handle) {}
  ~DlopenModule() override { dlclose(handle_); }
  DlopenModule(const DlopenModule&) = delete;
  DlopenModule& operator=(const DlopenModule&) = delete;

  void* Symbol(const char* name) const override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

// The places to try, in order. A name without a slash makes dlopen search
// LD_LIBRARY_PATH and the system's library directories.
std::vector<std::string> Candidates() {
  const char* named = std::getenv(kTokenLibraryVariable);
  if (named && *named) return {named};

  std::vector<std::string> candidates;
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && program.has_parent_path()) candidates.push_back((program.parent_path() / kLibraryFileName).string());
  candidates.emplace_back(kLibraryFileName);
  return candidates;
}

}  // namespace

std::unique_ptr<TokenModule> OpenTokenModule() {
  for (const std::string& candidate : Candidates()) {
    // RTLD_LOCAL: the vendor's symbols stay out of the program's scope, so
    // they never stand in for the service's own forwarding functions.
    if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      return std::make_unique<DlopenModule>(handle);
    }
  }
  return nullptr;
}

}  // namespace bidder::desk
