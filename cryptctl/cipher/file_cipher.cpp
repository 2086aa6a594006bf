#include "cipher/file_cipher.h"

#include <array>
#include <cstdio>
#include <memory>

#include "cipher/same_file.h"
#include "messages.h"

namespace lockvale {
namespace {

// stdio buffer for each file. The transform keeps its 1000-byte chunk; a larger
// file buffer turns those chunks into few large reads and writes. Measured with
// bench/cipher_throughput.sh: the 4 KiB default runs at openssl's speed, 64 KiB
// at about 1.6x, and larger buffers gain nothing.
constexpr std::size_t kFileBufferSize = 64 * 1024;

// A FILE* with its own stdio buffer; the buffer outlives the stream.
class BufferedFile {
 public:
  bool Open(const std::string& path, const char* mode) {
    file_ = std::fopen(path.c_str(), mode);
    if (!file_) return false;
    buffer_ = std::make_unique<char[]>(kFileBufferSize);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kFileBufferSize);
    return true;
  }
  // Closes now; false when buffered data could not be written.
  bool Close() {
    if (!file_) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }
  ~BufferedFile() { Close(); }
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;  // freed only after the destructor's Close
};

}  // namespace

std::string TransformFile(const std::string& sourcePath, const std::string& destinationPath,
                          std::string_view keyString, FileCipherDirection direction, KeyBits keyBits) {
  BufferedFile source;
  if (!source.Open(sourcePath, "rb")) return msg::kSourceNameWrong;
  // Found out only when reading, a directory would cost the destination's
  // earlier contents first.
  if (IsOpenDirectory(source.get())) return msg::kSourceNameWrong;

  // Opening the source itself with "wb" would empty it before a byte is read.
  if (NamesOpenFile(source.get(), destinationPath)) return msg::kDestinationNameWrong;

  BufferedFile destination;
  if (!destination.Open(destinationPath, "wb")) return msg::kDestinationNameWrong;

  CipherSetup setup = CipherSetup::kOk;
  std::unique_ptr<CipherKey> key = CipherKey::Derive(keyString, keyBits, setup);
  if (!key) return msg::kSetupFailed;

  std::array<std::uint8_t, kCipherChunkSize> chunk{};
  for (;;) {
    const std::size_t count = std::fread(chunk.data(), 1, chunk.size(), source.get());
    if (std::ferror(source.get())) return msg::kSourceNameWrong;
    const bool final = std::feof(source.get()) != 0;
    // No message is defined for a failing transform; it is a failure of the
    // cryptographic set-up as far as the caller can tell.
    if (!key->Apply(chunk.data(), count, final, direction)) return msg::kSetupFailed;
    if (std::fwrite(chunk.data(), 1, count, destination.get()) != count || std::ferror(destination.get())) {
      return msg::kDestinationNameWrong;
    }
    if (final) break;
  }
  // Buffered output reaches the disk here: a full disk shows up now, and must
  // not be reported as success.
  if (!destination.Close()) return msg::kDestinationNameWrong;
  return {};
}

}  // namespace lockvale
