#include "tool/bmp_file.h"

#include <cstdint>
#include <cstring>
#include <span>

#include "acquire/dib.h"

namespace folvane {

bool PackBmpFileInPlace(std::string& bytes) {
  constexpr std::size_t kFileHeaderSize = 14;
  const std::span<const std::uint8_t> file(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (file.size() < kFileHeaderSize || file[0] != 'B' || file[1] != 'M') return false;
  const std::uint32_t bitsOffset =
      std::uint32_t{file[10]} | std::uint32_t{file[11]} << 8 | std::uint32_t{file[12]} << 16 | std::uint32_t{file[13]} << 24;
  const auto headerAndTable = DibHeaderAndTableSize(file.subspan(kFileHeaderSize));
  if (!headerAndTable || *headerAndTable > file.size() - kFileHeaderSize) return false;
  // An offset of 0 is left unset by some writers: the bits follow the table.
  const std::size_t bitsStart = bitsOffset == 0 ? kFileHeaderSize + *headerAndTable : bitsOffset;
  if (bitsStart < kFileHeaderSize + *headerAndTable || bitsStart > file.size()) return false;

  // Both parts move towards the front, each to before where it was.
  char* data = bytes.data();
  std::memmove(data, data + kFileHeaderSize, *headerAndTable);
  const std::size_t bits = bytes.size() - bitsStart;
  std::memmove(data + *headerAndTable, data + bitsStart, bits);
  bytes.resize(*headerAndTable + bits);
  return true;
}

}  // namespace folvane
