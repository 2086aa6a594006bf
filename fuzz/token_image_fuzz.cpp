// Token images: any text parses or is refused with a reason, and an image
// that parses is written back as text that parses to the same image.
#include <cstdlib>
#include <string_view>

#include "tokenimage/token_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ftnd::ParsedTokenImage parsed = ftnd::ParseTokenImage(text);
  if (!parsed.image) {
    if (parsed.error.empty()) std::abort();
    return 0;
  }
  const ftnd::ParsedTokenImage again = ftnd::ParseTokenImage(ftnd::FormatTokenImage(*parsed.image));
  if (!again.image || !(*again.image == *parsed.image)) std::abort();
  return 0;
}
