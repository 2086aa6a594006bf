#pragma once
// The virtual token behind the stand-in FT_ND_API library, kept in a small
// text file (a token image) that `lockvale token init` writes and the
// stand-in reads. The format, one item per line:
//
//   FT_ND_API token image 1            first line, always
//   # comment                          comments and blank lines are ignored
//   serial-property = 0a000000         device property 7 as hex bytes (absent:
//                                      the property cannot be read)
//   user-pin = 31323334                bytes the token accepts for verify type 0
//   fixed-code = 74617276696b          bytes for verify type 1 (default "tarvik")
//   directory = vorla                  a directory, declared before its files
//   file = vorla 3 41424344ff...       directory, decimal file id, hex bytes
//   fault = no-device                  one fault per line (names below)
//
// Hex is case-insensitive with an even number of digits; lines end in LF or
// CRLF. Anything else (unknown keys, repeated items, bad hex, a file in an
// undeclared directory, text over kMaxImageBytes) makes the image invalid.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ftnd {

// Failures the token can be told to show; each is independent.
enum class TokenFault : std::uint8_t {
  kNoContext,           // epas_CreateContext fails
  kNoDevice,            // epas_OpenDevice fails
  kPinRefused,          // verify type 0 fails whatever is presented
  kFixedCodeRefused,    // verify type 1 fails whatever is presented
  kPropertyUnreadable,  // epas_GetProperty fails
  kDirectoryMissing,    // epas_ChangeDir fails
  kFileMissing,         // epas_OpenFile fails
  kReadFails,           // epas_Read fails
};
inline constexpr TokenFault kAllFaults[] = {
    TokenFault::kNoContext,          TokenFault::kNoDevice,         TokenFault::kPinRefused,
    TokenFault::kFixedCodeRefused,   TokenFault::kPropertyUnreadable, TokenFault::kDirectoryMissing,
    TokenFault::kFileMissing,        TokenFault::kReadFails,
};

// "no-context", "no-device", "pin-refused", "fixed-code-refused",
// "property-unreadable", "directory-missing", "file-missing", "read-fails".
std::string_view FaultName(TokenFault fault);
std::optional<TokenFault> FaultFromName(std::string_view name);

inline constexpr std::size_t kMaxImageBytes = 1 << 20;
inline constexpr std::size_t kMaxDirectoryNameBytes = 64;
inline constexpr char kDefaultFixedCode[] = "tarvik";

struct TokenFile {
  std::uint32_t id = 0;
  std::string bytes;
  bool operator==(const TokenFile&) const = default;
};

struct TokenDirectory {
  std::string name;  // 1 to 64 printable ASCII characters, no blanks
  std::vector<TokenFile> files;
  const TokenFile* FindFile(std::uint32_t id) const;
  bool operator==(const TokenDirectory&) const = default;
};

struct TokenImage {
  std::optional<std::string> serialProperty;
  std::string userPin;
  std::string fixedCode = kDefaultFixedCode;
  std::vector<TokenDirectory> directories;
  std::vector<TokenFault> faults;  // in the order given, without repeats

  bool Has(TokenFault fault) const;
  const TokenDirectory* FindDirectory(std::string_view name) const;
  bool operator==(const TokenImage&) const = default;
};

struct ParsedTokenImage {
  std::optional<TokenImage> image;
  std::string error;  // why the text is not a token image, with its line number
};

ParsedTokenImage ParseTokenImage(std::string_view text);

// The image as text that ParseTokenImage reads back unchanged. Directory
// names must be valid (see TokenDirectory).
std::string FormatTokenImage(const TokenImage& image);

bool IsValidDirectoryName(std::string_view name);

std::string ToHex(std::string_view bytes);
std::optional<std::string> FromHex(std::string_view hex);

}  // namespace ftnd
