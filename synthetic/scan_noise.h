#pragma once
// Deterministic noise for synthetic scanned pages: a xorshift generator whose
// numbers depend on its state alone, so the same state gives the same page on
// every platform and compiler.
#include <cstdint>

namespace bidder::synthetic {

class ScanNoise {
 public:
  // Starts from `state` as it is (a state of 0 yields only zeros).
  explicit ScanNoise(std::uint32_t state) : state_(state) {}
  // Spreads a small seed (a page number, a fixture's seed) over the state;
  // generators given the same seeds differ by `stream`.
  static ScanNoise Seeded(std::uint32_t seed, std::uint32_t stream) {
    return ScanNoise(seed * 2654435761u + stream);
  }

  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // A number from lo to hi, both included.
  int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint32_t>(hi - lo + 1)); }

 private:
  std::uint32_t state_;
};

}  // namespace bidder::synthetic
