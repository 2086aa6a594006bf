#include "output/file_span_copy.h"

#include "pagefile/file_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

#ifdef __linux__
#include <sys/types.h>
#include <unistd.h>
#endif

namespace folvane {
namespace {

// Large enough that a strip costs few system calls, small enough for any
// process: the most this side ever holds of a strip.
constexpr std::size_t kPieceBytes = std::size_t{4} << 20;

bool CopyByReading(std::FILE* from, std::uint64_t offset, std::uint64_t length, std::FILE* to) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX) || !SeekFile(from, static_cast<std::int64_t>(offset), SEEK_SET))
    return false;
  const std::size_t pieceBytes = static_cast<std::size_t>(std::min<std::uint64_t>(length, kPieceBytes));
  const std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[std::max<std::size_t>(pieceBytes, 1)]);
  if (!piece) return false;
  for (std::uint64_t left = length; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, pieceBytes));
    if (std::fread(piece.get(), 1, n, from) != n || std::fwrite(piece.get(), 1, n, to) != n) return false;
    left -= n;
  }
  return true;
}

#ifdef __linux__
// The kernel copies from file to file. When it cannot for these two files
// (another file system on older kernels, a file system or file kind without
// support, a kernel without the call), the rest goes through a buffer.
bool CopyInKernel(std::FILE* from, std::uint64_t offset, std::uint64_t length, std::FILE* to) {
  if (std::fflush(to) != 0) return false;
  loff_t in = static_cast<loff_t>(offset);
  std::uint64_t left = length;
  while (left > 0) {
    const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(left, std::uint64_t{1} << 30));
    const ssize_t n = copy_file_range(fileno(from), &in, fileno(to), nullptr, ask, 0);
    if (n > 0) {
      left -= static_cast<std::uint64_t>(n);
      continue;
    }
    if (n == 0) return false;  // the source ends before the span does
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return false;
    // stdio's position of the output moves on to where the kernel stopped.
    return SeekFile(to, 0, SEEK_END) && CopyByReading(from, static_cast<std::uint64_t>(in), left, to);
  }
  return SeekFile(to, 0, SEEK_END);
}
#endif

}  // namespace

bool CopyFileSpanByReading(const FileSpan& span, std::FILE* to) {
  return span.file && to && CopyByReading(span.file.get(), span.offset, span.length, to);
}

bool CopyFileSpan(const FileSpan& span, std::FILE* to) {
  if (!span.file || !to) return false;
#ifdef __linux__
  return CopyInKernel(span.file.get(), span.offset, span.length, to);
#else
  return CopyByReading(span.file.get(), span.offset, span.length, to);
#endif
}

}  // namespace folvane
