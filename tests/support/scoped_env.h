#pragma once
// Sets (or removes) an environment variable for one scope, then restores it.
// On Windows it goes through the Win32 environment, which is what a DLL
// reading GetEnvironmentVariableW sees.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace bidder::test {

class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::filesystem::path>& value) : name_(std::move(name)) {
    old_ = Get();
    Set(value ? std::optional<std::filesystem::path::string_type>(value->native()) : std::nullopt);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  using Native = std::filesystem::path::string_type;
#ifdef _WIN32
  std::wstring WideName() const { return std::wstring(name_.begin(), name_.end()); }  // ASCII names
  std::optional<Native> Get() const {
    const DWORD n = GetEnvironmentVariableW(WideName().c_str(), nullptr, 0);
    if (n == 0) return std::nullopt;
    std::wstring value(n, L'\0');
    value.resize(GetEnvironmentVariableW(WideName().c_str(), value.data(), n));
    return value;
  }
  void Set(const std::optional<Native>& value) const {
    SetEnvironmentVariableW(WideName().c_str(), value ? value->c_str() : nullptr);
  }
#else
  std::optional<Native> Get() const {
    const char* value = std::getenv(name_.c_str());
    return value ? std::optional<Native>(value) : std::nullopt;
  }
  void Set(const std::optional<Native>& value) const {
    if (value) setenv(name_.c_str(), value->c_str(), 1);
    else unsetenv(name_.c_str());
  }
#endif
  std::string name_;
  std::optional<Native> old_;
};

}  // namespace bidder::test
