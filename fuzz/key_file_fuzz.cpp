// lockvale's key files: any file is a key string of its bytes up to the
// limit, refused above it; a file encrypted with it decrypts with it.
#include <cstdlib>
#include <optional>
#include <sstream>

#include "fuzz_file.h"
#include "tool/lockvale_cli.h"

namespace {

int Lockvale(const std::vector<std::string>& args, std::string& err) {
  lockvale::cli::Platform platform;
  platform.toFilePath = [](const std::string& p) -> std::optional<std::string> { return p; };
  platform.toConsoleText = [](const std::string& gbk) { return gbk; };
  std::ostringstream out, errors;
  const int code = lockvale::cli::Run(args, platform, out, errors);
  err = errors.str();
  return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& dir = bidder::fuzz::WorkDir();
  static const std::string plain = [&] {
    const std::string path = dir / "plain";
    bidder::test::WriteFile(path, "the bid itself");
    return path;
  }();
  const std::string key = bidder::fuzz::InputFile("key", data, size);
  std::string err;
  const int encrypted = Lockvale({"encrypt", plain, dir / "sealed", "--key-file", key}, err);
  if (size > 64 * 1024) {
    if (encrypted != lockvale::cli::kExitFailure || err.find("is larger than 65536 bytes") == std::string::npos)
      std::abort();
    return 0;
  }
  if (encrypted != lockvale::cli::kExitOk) std::abort();
  if (Lockvale({"decrypt", dir / "sealed", dir / "opened", "--key-file", key}, err) != lockvale::cli::kExitOk ||
      bidder::test::ReadFile(dir / "opened") != "the bid itself")
    std::abort();
  return 0;
}
