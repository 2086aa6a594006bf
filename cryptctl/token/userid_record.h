#pragma once
// The USERID record: the first 32 bytes of file 3 in the token's "vorla"
// directory. They hold the USERID's bytes (GBK text) followed by 0xFF; what
// follows the first 0xFF is ignored, and a 0x00 among the USERID bytes ends
// the text there (the stored USERID is NUL-terminated text). Also where the
// record lives on the token, and how the token's serial number is shown: what
// the token routines read and the token image tool writes.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lockvale {

inline constexpr char kUserIdDirectory[] = "vorla";
inline constexpr std::uint32_t kUserIdFileId = 3;

inline constexpr std::size_t kUserIdRecordSize = 32;
inline constexpr std::uint8_t kUserIdTerminator = 0xFF;
inline constexpr std::size_t kMaxUserIdBytes = kUserIdRecordSize - 1;

using UserIdRecord = std::array<std::uint8_t, kUserIdRecordSize>;

// The USERID a record holds: the bytes before the first 0xFF, cut at the
// first 0x00. A record without any 0xFF gives the bytes up to the first 0x00,
// or all 32 bytes: the scan never leaves the record.
std::string UserIdFromRecord(const UserIdRecord& record);

// The record for a USERID of up to 31 bytes without 0xFF or 0x00: the bytes,
// 0xFF, then 0xFF up to 32 bytes. nullopt when the USERID does not fit.
std::optional<UserIdRecord> RecordForUserId(std::string_view userId);

// The serial number as the control shows it: the first four bytes of the
// serial number property (fewer when shorter) as a little-endian number, in
// eight upper-case hex digits ("0000000A" for 0a 00 00 00).
std::string SerialNumberText(std::string_view property);

}  // namespace lockvale
