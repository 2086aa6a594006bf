#include "acquire/tiff_file.h"

#include <cstdarg>

namespace folvane {
namespace {

// Returning 1 tells libtiff the message was handled: the global handler,
// which writes to stderr, is not called.
int Swallow(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

}  // namespace

TiffPtr OpenTiffQuietly(const std::string& path, const char* mode) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Swallow, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Swallow, nullptr);
  const std::string fullMode = std::string(mode) + "m";
  return TiffPtr(TIFFOpenExt(path.c_str(), fullMode.c_str(), options.get()));
}

}  // namespace folvane
