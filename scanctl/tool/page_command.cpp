// folvane page IN.bmp OUT.tif
#include <span>

#include "acquire/dib.h"
#include "cli/read_whole_file.h"
#include "acquire/dib_page_writer.h"
#include "tool/bmp_file.h"
#include "tool/folvane_commands.h"

namespace folvane::cli {
namespace {

// More than any bitmap a page can be made of (the outputs read no page of
// over 512 MiB of pixels); reading stops here, so a device or a pipe named
// as the bitmap cannot take the process's memory.
constexpr std::size_t kMaxBitmapFileBytes = std::size_t{1} << 30;

}  // namespace

int RunPageCommand(const std::vector<std::string>& args, const Platform& platform, std::ostream&,
                   std::ostream& err) {
  std::vector<std::string> positional;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (args[i].size() > 1 && args[i][0] == '-') throw UsageError{"unknown option " + args[i]};
    positional.push_back(args[i]);
  }
  if (positional.size() != 2) throw UsageError{"page takes a bitmap file and a page file"};

  const auto in = FilePathOrReport(platform, positional[0], err);
  const auto out = FilePathOrReport(platform, positional[1], err);
  if (!in || !out) return kExitFailure;

  auto file = bidder::cli::ReadWholeFile(*in, kMaxBitmapFileBytes);
  if (file.status == bidder::cli::FileReadStatus::kTooLarge) {
    err << "folvane: " << positional[0] << ": larger than " << kMaxBitmapFileBytes << " bytes, more than a page holds\n";
    return kExitFailure;
  }
  if (file.status != bidder::cli::FileReadStatus::kRead) {
    err << "folvane: " << positional[0] << ": cannot read it\n";
    return kExitFailure;
  }
  // The bitmap is held once, as the control holds a scanner's.
  const bool packed = PackBmpFileInPlace(file.bytes);
  const std::span<const std::uint8_t> dib(reinterpret_cast<const std::uint8_t*>(file.bytes.data()), file.bytes.size());
  if (!packed || !DibView::Parse(dib)) {
    err << "folvane: " << positional[0]
        << ": not a bitmap a page can be made of (uncompressed, 1, 4, 8 or 24 bits per pixel)\n";
    return kExitFailure;
  }
  if (!WriteDibPage(dib, *out)) {
    err << "folvane: " << positional[1] << ": cannot write it\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace folvane::cli
