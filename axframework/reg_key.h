#pragma once
// Owning registry key handle.
#include <windows.h>

#include <utility>

namespace ax {

class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : key_(key) {}
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) {
      Reset();
      key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
  }
  ~RegKey() { Reset(); }

  HKEY Get() const { return key_; }
  HKEY* Put() {
    Reset();
    return &key_;
  }
  explicit operator bool() const { return key_ != nullptr; }
  void Reset() {
    if (HKEY k = std::exchange(key_, nullptr)) RegCloseKey(k);
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace ax
