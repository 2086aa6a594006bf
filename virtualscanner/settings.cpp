#include "settings.h"

#include <cctype>
#include <cstdlib>

namespace vscan {
namespace {

class Reader {
 public:
  explicit Reader(HMODULE module) {
    char path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("VSCAN_CONFIG", path, sizeof(path));
    if (n > 0 && n < sizeof(path)) {
      file_ = path;
    } else {
      n = GetModuleFileNameA(module, path, sizeof(path));
      if (n > 0 && n < sizeof(path)) {
        file_ = path;
        const auto slash = file_.find_last_of("\\/");
        file_ = file_.substr(0, slash == std::string::npos ? 0 : slash + 1) + "virtualscanner.ini";
      }
    }
  }

  std::string Text(const char* key, const std::string& fallback) const {
    std::string name = "VSCAN_";
    for (const char* p = key; *p; ++p) name += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    char value[1024] = {};
    DWORD n = GetEnvironmentVariableA(name.c_str(), value, sizeof(value));
    if (n > 0 && n < sizeof(value)) return std::string(value, n);
    if (!file_.empty()) {
      n = GetPrivateProfileStringA("scanner", key, "\x01", value, sizeof(value), file_.c_str());
      if (!(n == 1 && value[0] == '\x01')) return std::string(value, n);
    }
    return fallback;
  }

  int Number(const char* key, int fallback) const {
    const std::string text = Text(key, "");
    if (text.empty()) return fallback;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    return (end && *end == '\0' && v >= -1 && v <= 65535) ? static_cast<int>(v) : fallback;
  }

  bool Flag(const char* key, bool fallback) const { return Number(key, fallback ? 1 : 0) != 0; }

 private:
  std::string file_;
};

}  // namespace

Settings LoadSettings(HMODULE sourceModule) {
  const Reader in(sourceModule);
  Settings s;
  s.pages = in.Number("pages", s.pages);
  s.format.width = static_cast<std::uint32_t>(in.Number("width", static_cast<int>(s.format.width)));
  s.format.height = static_cast<std::uint32_t>(in.Number("height", static_cast<int>(s.format.height)));
  s.format.dpi = static_cast<std::uint32_t>(in.Number("dpi", static_cast<int>(s.format.dpi)));
  const std::string depth = in.Text("depth", "24");
  s.format.kind = depth == "1"    ? PixelKind::kBlackWhite
                  : depth == "8"  ? PixelKind::kGrey
                  : depth == "8p" ? PixelKind::kPalette
                                  : PixelKind::kRgb;
  if (s.pages < 0) s.pages = 0;
  if (s.format.width < 1 || s.format.width > 20000) s.format.width = 200;
  if (s.format.height < 1 || s.format.height > 20000) s.format.height = 100;
  if (s.format.dpi < 1) s.format.dpi = 150;
  s.seed = in.Number("seed", s.seed);
  s.autoScan = in.Flag("autoscan", s.autoScan);
  s.closeAfterScan = in.Flag("close_after", s.closeAfterScan);
  s.closeBeforeScan = in.Flag("close_before_scan", s.closeBeforeScan);
  s.cancelPage = in.Number("cancel_page", s.cancelPage);
  s.failPage = in.Number("fail_page", s.failPage);
  s.imageInfoFailPage = in.Number("imageinfo_fail_page", s.imageInfoFailPage);
  s.unknownCount = in.Flag("unknown_count", s.unknownCount);
  s.refuseTransferCount = in.Flag("refuse_xfercount", s.refuseTransferCount);
  s.openFails = in.Flag("opends_fail", s.openFails);
  s.logPath = in.Text("log", "");
  return s;
}

}  // namespace vscan
