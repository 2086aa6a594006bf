#include "tool/bmp_file.h"

#include "acquire/dib.h"

namespace folvane {

std::optional<std::vector<std::uint8_t>> PackedDibFromBmpFile(std::span<const std::uint8_t> file) {
  constexpr std::size_t kFileHeaderSize = 14;
  if (file.size() < kFileHeaderSize || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  const std::uint32_t bitsOffset =
      std::uint32_t{file[10]} | std::uint32_t{file[11]} << 8 | std::uint32_t{file[12]} << 16 | std::uint32_t{file[13]} << 24;
  const auto dib = file.subspan(kFileHeaderSize);
  const auto headerAndTable = DibHeaderAndTableSize(dib);
  if (!headerAndTable || *headerAndTable > dib.size()) return std::nullopt;
  // An offset of 0 is left unset by some writers: the bits follow the table.
  const std::size_t bitsStart = bitsOffset == 0 ? kFileHeaderSize + *headerAndTable : bitsOffset;
  if (bitsStart < kFileHeaderSize + *headerAndTable || bitsStart > file.size()) return std::nullopt;

  std::vector<std::uint8_t> packed(dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(*headerAndTable));
  packed.insert(packed.end(), file.begin() + static_cast<std::ptrdiff_t>(bitsStart), file.end());
  return packed;
}

}  // namespace folvane
