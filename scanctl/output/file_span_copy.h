#pragma once
// Bytes of one file copied into another in bounded pieces, for strips that go
// into a document unchanged: a strip may be 512 MiB, and the control runs in
// a 32-bit process. Where the system can copy between files itself (Linux's
// copy_file_range), the bytes do not pass through this process at all.
#include <cstdint>
#include <cstdio>

#include "pagefile/file_ops.h"

namespace folvane {

// `length` bytes of `file` from `offset` on.
struct FileSpan {
  FilePtr file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// Appends the span to `to` (opened for writing, positioned at its end). True
// only when every byte was copied; false, with part of the span written, when
// the source is shorter than the span or a read or write fails.
bool CopyFileSpan(const FileSpan& span, std::FILE* to);

// The same through a buffer of a few MiB in large reads and writes: what
// CopyFileSpan does where the system cannot copy between the two files.
bool CopyFileSpanByReading(const FileSpan& span, std::FILE* to);

}  // namespace folvane
