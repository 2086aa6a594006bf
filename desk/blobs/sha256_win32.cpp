#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

#include "desk/blobs/sha256.h"

namespace bidder::desk {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

struct ProviderClose {
  void operator()(void* provider) const { BCryptCloseAlgorithmProvider(provider, 0); }
};
struct HashDestroy {
  void operator()(void* hash) const { BCryptDestroyHash(hash); }
};

}  // namespace

struct Sha256::State {
  std::unique_ptr<void, ProviderClose> provider;
  std::unique_ptr<void, HashDestroy> hash;
  std::vector<UCHAR> hashObject;  // the hash's state, ours to hold
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    throw std::runtime_error("SHA-256 is not available");
  }
  state_->provider.reset(provider);
  DWORD objectSize = 0;
  ULONG written = 0;
  if (!Succeeded(BCryptGetProperty(provider, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectSize),
                                   sizeof objectSize, &written, 0))) {
    throw std::runtime_error("SHA-256 is not available");
  }
  state_->hashObject.resize(objectSize);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Succeeded(BCryptCreateHash(provider, &hash, state_->hashObject.data(), objectSize, nullptr, 0, 0))) {
    throw std::runtime_error("SHA-256 is not available");
  }
  state_->hash.reset(hash);
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));  // BCrypt only reads it
  while (size > 0) {
    const std::size_t piece = std::min<std::size_t>(size, ULONG_MAX);
    if (!Succeeded(BCryptHashData(state_->hash.get(), bytes, static_cast<ULONG>(piece), 0))) {
      throw std::runtime_error("SHA-256 failed");
    }
    bytes += piece;
    size -= piece;
  }
}

std::string Sha256::FinishHex() {
  UCHAR digest[32];
  if (!Succeeded(BCryptFinishHash(state_->hash.get(), digest, sizeof digest, 0))) {
    throw std::runtime_error("SHA-256 failed");
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(sizeof digest * 2);
  for (UCHAR b : digest) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0f]);
  }
  return hex;
}

}  // namespace bidder::desk
