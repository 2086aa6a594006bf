#pragma once
// Owners for global memory handles: the bitmaps a source delivers and the
// capability containers exchanged with it.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace folvane {

// A block allocated with GlobalAlloc (or handed over by a source), freed with
// GlobalFree unless released.
class GlobalBlock {
 public:
  GlobalBlock() = default;
  explicit GlobalBlock(HGLOBAL handle) : handle_(handle) {}
  static GlobalBlock Allocate(UINT flags, SIZE_T bytes) { return GlobalBlock(GlobalAlloc(flags, bytes)); }
  ~GlobalBlock() { Reset(); }
  GlobalBlock(GlobalBlock&& other) noexcept : handle_(other.Release()) {}
  GlobalBlock& operator=(GlobalBlock&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.Release();
    }
    return *this;
  }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;

  HGLOBAL get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HGLOBAL Release() {
    HGLOBAL h = handle_;
    handle_ = nullptr;
    return h;
  }
  void Reset() {
    if (handle_) GlobalFree(handle_);
    handle_ = nullptr;
  }

 private:
  HGLOBAL handle_ = nullptr;
};

// A lock on a global memory block for one scope; does not own the block.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL handle)
      : handle_(handle), data_(handle ? GlobalLock(handle) : nullptr), size_(data_ ? GlobalSize(handle) : 0) {}
  ~GlobalLockGuard() {
    if (data_) GlobalUnlock(handle_);
  }
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

  explicit operator bool() const { return data_ != nullptr; }
  void* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::span<const std::uint8_t> bytes() const {
    return {static_cast<const std::uint8_t*>(data_), data_ ? size_ : 0};
  }

 private:
  HGLOBAL handle_;
  void* data_;
  std::size_t size_;
};

}  // namespace folvane
