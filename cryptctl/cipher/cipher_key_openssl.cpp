// CipherKey and ComputeMd5 on OpenSSL's libcrypto. RC4 lives in OpenSSL's
// legacy provider; it is loaded into a library context of our own so that the
// process-wide default context (and any other user of libcrypto) is untouched.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <climits>

#include "cipher/cipher_key.h"

namespace lockvale {
namespace {

struct LibraryContext {
  OSSL_LIB_CTX* ctx = nullptr;
  OSSL_PROVIDER* defaults = nullptr;
  OSSL_PROVIDER* legacy = nullptr;
  EVP_CIPHER* rc4 = nullptr;
  EVP_MD* md5 = nullptr;

  LibraryContext() {
    ctx = OSSL_LIB_CTX_new();
    if (!ctx) return;
    defaults = OSSL_PROVIDER_load(ctx, "default");
    legacy = OSSL_PROVIDER_load(ctx, "legacy");
    rc4 = EVP_CIPHER_fetch(ctx, "RC4", nullptr);
    md5 = EVP_MD_fetch(ctx, "MD5", nullptr);
  }
  ~LibraryContext() {
    EVP_MD_free(md5);
    EVP_CIPHER_free(rc4);
    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (defaults) OSSL_PROVIDER_unload(defaults);
    OSSL_LIB_CTX_free(ctx);
  }
  LibraryContext(const LibraryContext&) = delete;
  LibraryContext& operator=(const LibraryContext&) = delete;
};

const LibraryContext& Library() {
  static const LibraryContext library;  // thread-safe one-time set-up
  return library;
}

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

class OpenSslRc4Key final : public CipherKey {
 public:
  OpenSslRc4Key(CipherCtxPtr ctx, const std::array<std::uint8_t, 16>& key) : ctx_(std::move(ctx)), key_(key) {}
  ~OpenSslRc4Key() override { OPENSSL_cleanse(key_.data(), key_.size()); }

  bool Init() { return EVP_CipherInit_ex2(ctx_.get(), Library().rc4, key_.data(), nullptr, 1, nullptr) == 1; }

  bool Apply(std::uint8_t* data, std::size_t size, bool final, FileCipherDirection) override {
    while (size > 0) {
      const int part = size > INT_MAX ? INT_MAX : static_cast<int>(size);
      int written = 0;
      if (EVP_CipherUpdate(ctx_.get(), data, &written, data, part) != 1 || written != part) return false;
      data += part;
      size -= static_cast<std::size_t>(part);
    }
    // After the final piece the stream starts again from the key, as the
    // Windows provider does.
    return !final || Init();
  }

 private:
  CipherCtxPtr ctx_;
  std::array<std::uint8_t, 16> key_;
};

}  // namespace

bool ComputeMd5(std::span<const std::uint8_t> bytes, Md5Digest& digest) {
  const LibraryContext& lib = Library();
  if (!lib.md5) return false;
  unsigned int length = 0;
  return EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, lib.md5, nullptr) == 1 &&
         length == digest.size();
}

std::unique_ptr<CipherKey> CipherKey::FromRawKey(const std::array<std::uint8_t, 16>& key, CipherSetup& status) {
  status = CipherSetup::kProviderUnavailable;
  if (!Library().rc4) return nullptr;
  CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return nullptr;
  auto result = std::make_unique<OpenSslRc4Key>(std::move(ctx), key);
  if (!result->Init()) {
    status = CipherSetup::kKeyFailed;
    return nullptr;
  }
  status = CipherSetup::kOk;
  return result;
}

std::unique_ptr<CipherKey> CipherKey::Derive(std::string_view keyString, KeyBits bits, CipherSetup& status) {
  status = CipherSetup::kProviderUnavailable;
  if (!Library().rc4 || !Library().md5) return nullptr;
  Md5Digest digest{};
  if (!ComputeMd5({reinterpret_cast<const std::uint8_t*>(keyString.data()), keyString.size()}, digest)) {
    status = CipherSetup::kKeyFailed;
    return nullptr;
  }
  std::array<std::uint8_t, 16> key = digest;
  if (bits == KeyBits::k40) std::fill(key.begin() + 5, key.end(), std::uint8_t{0});
  auto result = FromRawKey(key, status);
  OPENSSL_cleanse(key.data(), key.size());
  OPENSSL_cleanse(digest.data(), digest.size());
  return result;
}

}  // namespace lockvale
