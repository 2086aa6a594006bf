#pragma once
// SHA-256 of bytes that arrive in pieces (a file read a buffer at a time).
// The system's own implementation: OpenSSL's libcrypto here; a Windows build
// gets a CryptoAPI version of the same class.
#include <cstddef>
#include <memory>
#include <string>

namespace bidder::desk {

class Sha256 {
 public:
  // Throws std::runtime_error when the library cannot hash.
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest as 64 lower-case hex digits; the hasher is spent afterwards.
  std::string FinishHex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace bidder::desk
