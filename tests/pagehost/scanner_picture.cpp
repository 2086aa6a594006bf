// scanner_picture: writes the pictures the virtual scanner delivers
// (virtualscanner/page_pattern.h) as binary PPM files, so that a test can
// compare what came out of a PDF or PNG with what the scanner put in.
//
//   scanner_picture DEPTH:WIDTH:HEIGHT:PICTURE:OUT.ppm ...
//
// DEPTH as the scanner's setting: 1, 8, 8p or 24. Exit 0, or 2 on bad
// arguments, 1 when a file cannot be written.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "file/file_ptr.h"
#include "page_pattern.h"

namespace {

struct Request {
  vscan::PageFormat format;
  std::uint32_t picture = 0;
  std::string out;
};

bool Number(const std::string& text, std::uint32_t limit, std::uint32_t& value) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v > limit) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

bool Parse(const std::string& arg, Request& request) {
  std::vector<std::string> parts;
  std::stringstream in(arg);
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
  // The output path may hold a drive colon: everything after the fourth field.
  if (parts.size() < 5) return false;
  for (std::size_t i = 5; i < parts.size(); ++i) parts[4] += ":" + parts[i];
  const std::string& depth = parts[0];
  if (depth == "1") {
    request.format.kind = vscan::PixelKind::kBlackWhite;
  } else if (depth == "8") {
    request.format.kind = vscan::PixelKind::kGrey;
  } else if (depth == "8p") {
    request.format.kind = vscan::PixelKind::kPalette;
  } else if (depth == "24") {
    request.format.kind = vscan::PixelKind::kRgb;
  } else {
    return false;
  }
  request.out = parts[4];
  return Number(parts[1], 20000, request.format.width) && request.format.width > 0 &&
         Number(parts[2], 20000, request.format.height) && request.format.height > 0 &&
         Number(parts[3], 0xFFFFFFFFu, request.picture) && !request.out.empty();
}

bool Write(const Request& r) {
  bidder::FilePtr file(std::fopen(r.out.c_str(), "wb"));
  if (!file) return false;
  std::fprintf(file.get(), "P6\n%u %u\n255\n", r.format.width, r.format.height);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(r.format.width) * 3);
  for (std::uint32_t y = 0; y < r.format.height; ++y) {
    for (std::uint32_t x = 0; x < r.format.width; ++x) {
      const vscan::Rgb c = vscan::PixelColour(r.format.kind, r.picture, x, y);
      row[3 * x] = c.r;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.b;
    }
    if (std::fwrite(row.data(), 1, row.size(), file.get()) != row.size()) return false;
  }
  return std::fflush(file.get()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: scanner_picture DEPTH:WIDTH:HEIGHT:PICTURE:OUT.ppm ...\n", stderr);
    return 2;
  }
  std::vector<Request> requests(static_cast<std::size_t>(argc - 1));
  for (int i = 1; i < argc; ++i) {
    if (!Parse(argv[i], requests[static_cast<std::size_t>(i - 1)])) {
      std::fprintf(stderr, "scanner_picture: bad picture '%s'\n", argv[i]);
      return 2;
    }
  }
  for (const Request& r : requests) {
    if (!Write(r)) {
      std::fprintf(stderr, "scanner_picture: cannot write %s\n", r.out.c_str());
      return 1;
    }
  }
  return 0;
}
