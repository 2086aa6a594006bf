#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "desk/token/token_module.h"

namespace bidder::desk {
namespace {

constexpr wchar_t kLibraryFileName[] = L"FT_ND_API.dll";

class LoadedModule final : public TokenModule {
 public:
  explicit LoadedModule(HMODULE module) : module_(module) {}
  ~LoadedModule() override { FreeLibrary(module_); }
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  void* Symbol(const char* name) const override {
    // A function's address as a data pointer, as dlsym gives it; the caller
    // casts it back to the function's own type.
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

std::wstring ProgramFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      const std::size_t slash = path.find_last_of(L"\\/");
      return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

// The places to try, in order: the variable's file alone when it is set;
// else beside the program, then the search path (a bare name).
std::vector<std::wstring> Candidates() {
  std::wstring variable(kTokenLibraryVariable, kTokenLibraryVariable + sizeof kTokenLibraryVariable - 1);
  if (const wchar_t* named = _wgetenv(variable.c_str()); named && *named) return {named};
  std::vector<std::wstring> candidates;
  if (const std::wstring folder = ProgramFolder(); !folder.empty()) candidates.push_back(folder + kLibraryFileName);
  candidates.emplace_back(kLibraryFileName);
  return candidates;
}

}  // namespace

std::unique_ptr<TokenModule> OpenTokenModule() {
  // A missing or broken library is "no token", never a dialog box.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  std::unique_ptr<TokenModule> opened;
  for (const std::wstring& candidate : Candidates()) {
    if (HMODULE module = LoadLibraryW(candidate.c_str())) {
      opened = std::make_unique<LoadedModule>(module);
      break;
    }
  }
  SetErrorMode(previousMode);
  return opened;
}

}  // namespace bidder::desk
