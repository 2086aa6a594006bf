// CipherKey and ComputeMd5 on the Windows CryptoAPI: MD5 hash of the key
// string, RC4 key derived from it, CryptEncrypt / CryptDecrypt per chunk.
//
// Two deliberate differences from acquiring the provider the plain way:
//  - CRYPT_VERIFYCONTEXT: we need no key container, and a fresh user profile
//    has none, which would make every call fail for no reason.
//  - the RC4 length is always requested as 128 bits (the whole digest), so the
//    same key string gives the same file whatever the machine's default length.
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "cipher/cipher_key.h"

namespace lockvale {
namespace {

class Provider {
 public:
  Provider() = default;
  ~Provider() {
    if (handle_) CryptReleaseContext(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  Provider(Provider&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}

  bool Acquire() {
    return CryptAcquireContextW(&handle_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) != FALSE;
  }
  HCRYPTPROV get() const { return handle_; }

 private:
  HCRYPTPROV handle_ = 0;
};

class Hash {
 public:
  explicit Hash(HCRYPTPROV provider) {
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &handle_)) handle_ = 0;
  }
  ~Hash() {
    if (handle_) CryptDestroyHash(handle_);
  }
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;

  bool Add(const void* data, std::size_t size) {
    if (!handle_ || size > ULONG_MAX) return false;
    return CryptHashData(handle_, static_cast<const BYTE*>(data), static_cast<DWORD>(size), 0) != FALSE;
  }
  HCRYPTHASH get() const { return handle_; }

 private:
  HCRYPTHASH handle_ = 0;
};

class CryptoApiRc4Key final : public CipherKey {
 public:
  CryptoApiRc4Key(Provider provider, HCRYPTKEY key) : provider_(std::move(provider)), key_(key) {}
  ~CryptoApiRc4Key() override { CryptDestroyKey(key_); }

  bool Apply(std::uint8_t* data, std::size_t size, bool final, FileCipherDirection direction) override {
    do {
      const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      const BOOL last = final && part == size;
      DWORD length = part;
      BOOL ok = direction == FileCipherDirection::kEncrypt
                    ? CryptEncrypt(key_, 0, last, 0, data, &length, part)
                    : CryptDecrypt(key_, 0, last, 0, data, &length);
      if (!ok || length != part) return false;
      data += part;
      size -= part;
    } while (size > 0);
    return true;
  }

 private:
  Provider provider_;  // outlives the key: destroyed after ~CryptoApiRc4Key's body
  HCRYPTKEY key_;
};

}  // namespace

bool ComputeMd5(std::span<const std::uint8_t> bytes, Md5Digest& digest) {
  Provider provider;
  if (!provider.Acquire()) return false;
  Hash hash(provider.get());
  if (!hash.Add(bytes.data(), bytes.size())) return false;
  DWORD length = static_cast<DWORD>(digest.size());
  return CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &length, 0) && length == digest.size();
}

std::unique_ptr<CipherKey> CipherKey::FromRawKey(const std::array<std::uint8_t, 16>& key, CipherSetup& status) {
  status = CipherSetup::kProviderUnavailable;
  Provider provider;
  if (!provider.Acquire()) return nullptr;

  struct {
    BLOBHEADER header;
    DWORD keySize;
    BYTE key[16];
  } blob{};
  blob.header.bType = PLAINTEXTKEYBLOB;
  blob.header.bVersion = CUR_BLOB_VERSION;
  blob.header.aiKeyAlg = CALG_RC4;
  blob.keySize = sizeof blob.key;
  std::memcpy(blob.key, key.data(), sizeof blob.key);

  HCRYPTKEY handle = 0;
  const BOOL imported = CryptImportKey(provider.get(), reinterpret_cast<const BYTE*>(&blob), sizeof blob, 0, 0, &handle);
  SecureZeroMemory(&blob, sizeof blob);
  if (!imported) {
    status = CipherSetup::kKeyFailed;
    return nullptr;
  }
  status = CipherSetup::kOk;
  return std::make_unique<CryptoApiRc4Key>(std::move(provider), handle);
}

std::unique_ptr<CipherKey> CipherKey::Derive(std::string_view keyString, KeyBits bits, CipherSetup& status) {
  if (bits == KeyBits::k40) {
    // Defined as a layout, not as whatever a provider's salt rules give.
    Md5Digest digest{};
    status = CipherSetup::kKeyFailed;
    if (!ComputeMd5({reinterpret_cast<const std::uint8_t*>(keyString.data()), keyString.size()}, digest)) {
      return nullptr;
    }
    std::fill(digest.begin() + 5, digest.end(), std::uint8_t{0});
    auto key = FromRawKey(digest, status);
    SecureZeroMemory(digest.data(), digest.size());
    return key;
  }

  status = CipherSetup::kProviderUnavailable;
  Provider provider;
  if (!provider.Acquire()) return nullptr;
  status = CipherSetup::kKeyFailed;
  HCRYPTKEY handle = 0;
  {
    Hash hash(provider.get());
    if (!hash.Add(keyString.data(), keyString.size())) return nullptr;
    constexpr DWORD kRc4Length128 = 128u << 16;  // key length in the upper word
    if (!CryptDeriveKey(provider.get(), CALG_RC4, hash.get(), kRc4Length128, &handle)) return nullptr;
  }  // the hash is destroyed as soon as the key exists
  status = CipherSetup::kOk;
  return std::make_unique<CryptoApiRc4Key>(std::move(provider), handle);
}

}  // namespace lockvale
