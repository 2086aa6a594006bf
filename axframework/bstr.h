#pragma once
// Owning BSTR. A null BSTR is the empty string to every COM caller.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <new>
#include <string_view>
#include <utility>

namespace ax {

class Bstr {
 public:
  Bstr() = default;
  // Copies the text; throws std::bad_alloc when the allocation fails.
  explicit Bstr(std::wstring_view text) {
    if (text.size() > 0x7FFFFFF0u) throw std::bad_alloc();
    p_ = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!p_) throw std::bad_alloc();
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~Bstr() { Reset(); }

  static Bstr Adopt(BSTR p) {
    Bstr b;
    b.p_ = p;
    return b;
  }

  BSTR Get() const { return p_; }
  BSTR* Put() {
    Reset();
    return &p_;
  }
  BSTR Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (BSTR p = std::exchange(p_, nullptr)) SysFreeString(p);
  }
  bool IsNull() const { return p_ == nullptr; }
  // The whole string, embedded NULs included.
  std::wstring_view View() const { return p_ ? std::wstring_view(p_, SysStringLen(p_)) : std::wstring_view(); }

 private:
  BSTR p_ = nullptr;
};

// A BSTR argument as text up to its first NUL; a null BSTR is empty.
inline std::wstring_view BstrText(BSTR b) {
  if (!b) return {};
  std::wstring_view all(b, SysStringLen(b));
  return all.substr(0, all.find(L'\0'));
}

}  // namespace ax
