#include <openssl/evp.h>

#include <stdexcept>

#include "desk/blobs/sha256.h"

namespace bidder::desk {

struct Sha256::State {
  struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, ContextFree> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (!state_->context || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 is not available");
  }
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (size > 0 && EVP_DigestUpdate(state_->context.get(), data, size) != 1) {
    throw std::runtime_error("SHA-256 failed");
  }
}

std::string Sha256::FinishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context.get(), digest, &length) != 1) throw std::runtime_error("SHA-256 failed");
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 0x0f]);
  }
  return hex;
}

}  // namespace bidder::desk
