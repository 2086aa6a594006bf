#pragma once
// The cryptographic primitives of the file cipher, from the platform's
// provider: CryptoAPI on Windows, OpenSSL's libcrypto elsewhere. Nothing here
// is our own cryptography; this only keys and drives the library's RC4.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace lockvale {

using Md5Digest = std::array<std::uint8_t, 16>;

// RC4 key length. 128: the whole MD5 digest (what the control always uses).
// 40: the first 5 digest bytes followed by 11 zero bytes, which is what a
// provider whose default RC4 length is 40 bits derived; kept for reading such files.
enum class KeyBits { k128 = 128, k40 = 40 };

enum class CipherSetup { kOk, kProviderUnavailable, kKeyFailed };

// Encryption and decryption apply the same key stream; the direction only
// selects the provider's call (CryptEncrypt or CryptDecrypt on Windows).
enum class FileCipherDirection { kEncrypt, kDecrypt };

// MD5 of the bytes; false when the provider fails.
bool ComputeMd5(std::span<const std::uint8_t> bytes, Md5Digest& digest);

// One RC4 key stream. The state runs on across Apply calls until the call
// with final = true, after which the stream starts again from its key.
class CipherKey {
 public:
  // RC4 keyed from the MD5 digest of the key string's bytes.
  static std::unique_ptr<CipherKey> Derive(std::string_view keyString, KeyBits bits, CipherSetup& status);
  // RC4 keyed with these 16 bytes as they are.
  static std::unique_ptr<CipherKey> FromRawKey(const std::array<std::uint8_t, 16>& key, CipherSetup& status);

  virtual ~CipherKey() = default;
  // XORs the key stream into data[0, size) in place; false when the provider fails.
  virtual bool Apply(std::uint8_t* data, std::size_t size, bool final, FileCipherDirection direction) = 0;
};

}  // namespace lockvale
