#include "text/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace bidder {
namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// glibc's CP936 is Windows code page 936 (GBK with 0x80 for the euro sign).
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in) {
  iconv_t raw = iconv_open(to, from);
  if (raw == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::unique_ptr<void, IconvCloser> cd(raw);

  std::string out;
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char chunk[256];
  while (true) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    size_t rc = iconv(raw, inLeft ? &inPtr : nullptr, &inLeft, &outPtr, &outLeft);
    out.append(chunk, sizeof chunk - outLeft);
    if (rc != static_cast<size_t>(-1)) {
      if (inLeft == 0) break;
      continue;
    }
    if (errno != E2BIG) return std::nullopt;  // EILSEQ or EINVAL: not expressible
  }
  // Flush any shift state (none for these encodings, but harmless).
  char* outPtr = chunk;
  size_t outLeft = sizeof chunk;
  if (iconv(raw, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return std::nullopt;
  out.append(chunk, sizeof chunk - outLeft);
  return out;
}

}  // namespace

std::optional<std::string> Utf8ToGbk(std::string_view utf8) { return Convert("CP936", "UTF-8", utf8); }
std::optional<std::string> GbkToUtf8(std::string_view gbk) { return Convert("UTF-8", "CP936", gbk); }

}  // namespace bidder
