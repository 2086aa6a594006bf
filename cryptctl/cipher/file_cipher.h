#pragma once
// The file cipher: one file into another, RC4 keyed by the MD5 digest of a key
// string, one key stream over the whole file. The output is the bare cipher
// stream, the same length as the input; encrypting twice gives the input back.
#include <string>
#include <string_view>

#include "cipher/cipher_key.h"

namespace lockvale {

// The transform works in chunks of this size; the stream is unaffected by it.
inline constexpr std::size_t kCipherChunkSize = 1000;

// Paths are narrow strings handed unchanged to fopen (the ANSI code page on
// Windows). Returns "" on success, otherwise one of the messages of
// cryptctl/messages.h:
//   msg::kSourceNameWrong       the source can't be opened or read
//   msg::kDestinationNameWrong  the destination can't be opened or written, or
//                               it is the source itself (any spelling, any link)
//   msg::kSetupFailed           the cryptographic provider can't be set up
// A missing source creates no destination. A destination that was opened
// stays on disk whatever happens later (empty, or holding what was written).
std::string TransformFile(const std::string& sourcePath, const std::string& destinationPath,
                          std::string_view keyString, FileCipherDirection direction,
                          KeyBits keyBits = KeyBits::k128);

}  // namespace lockvale
