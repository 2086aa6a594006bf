#pragma once
// Random identifiers from the operating system's generator: session keys,
// the instance id of a run, blob ids. Guessing one must be as hard as
// guessing the bits themselves, so no seeded library generator is used.
#include <cstddef>
#include <string>

namespace bidder {

// `bytes` random bytes as lower-case hex (2 * bytes characters). Throws
// std::runtime_error when the system gives no random bits: no identifier is
// better than a guessable one.
std::string RandomHex(std::size_t bytes);

}  // namespace bidder
