// How parsing a token image grows with its size: images of nothing but
// directories, or of files in one directory, at a quarter, a half and the
// whole of the size limit. Linear parsing doubles its time with the size;
// the ratios printed say which it is (a search of the lists read so far for
// every line once made the largest image take half a minute).
#include <chrono>
#include <cstdio>
#include <string>

#include "tokenimage/token_image.h"

namespace {

constexpr char kHeader[] = "FT_ND_API token image 1\n";

std::string Image(bool directories, std::size_t bytes) {
  std::string text = kHeader;
  if (!directories) text += "directory = v\n";
  for (int i = 0; text.size() < bytes - 100; ++i) {
    text += directories ? "directory = d" + std::to_string(i) + "\n" : "file = v " + std::to_string(i) + "\n";
  }
  return text;
}

double Seconds(const std::string& text) {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const bool valid = ftnd::ParseTokenImage(text).image.has_value();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!valid) std::fprintf(stderr, "image refused\n");
    if (seconds < best) best = seconds;
  }
  return best;
}

}  // namespace

int main() {
  for (const bool directories : {true, false}) {
    double previous = 0;
    for (const std::size_t bytes : {ftnd::kMaxImageBytes / 4, ftnd::kMaxImageBytes / 2, ftnd::kMaxImageBytes}) {
      const double seconds = Seconds(Image(directories, bytes));
      std::printf("%-11s %8zu bytes: %8.4f s", directories ? "directories" : "files", bytes, seconds);
      if (previous > 0) std::printf("  (x%.1f for twice the size)", seconds / previous);
      std::printf("\n");
      previous = seconds;
    }
  }
  return 0;
}
