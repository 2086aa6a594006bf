// Page capture speed: scanned A4 pages at 300 dpi, as bitmaps the way a
// scanner's native transfer delivers them, stored through PageStore::AddPage
// (bitmap to TIFF page file). Prints pages per second for each kind of page.
//
//   page_capture_bench [--pages N] [--work DIR] [--keep] [--memory KIND]
//
// --memory KIND (0 bilevel, 1 grey, 2 colour) stores one page of that kind
// instead and prints the peak memory of storing it (Linux: the peak resident
// size, reset just before, after a first page of the kind), against the
// bitmap's own size; the bitmap is counted in the peak. One kind per process, so that no memory freed by an
// earlier page hides the working set of the next.
//
// The pages are synthetic but scan-like: paper noise, lines of text-like
// glyphs, a photograph-like region and a red seal; the bilevel page is the
// grey page thresholded, with the photograph dithered, as scanners make it.
// --keep leaves the page files of the last round in DIR (a mix for PDF
// benchmarks: 0.tif, 1.tif, ... cycling through the kinds).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <fstream>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "acquire/page_store.h"
#include "synthetic/scan_noise.h"

namespace {

constexpr int kWidth = 2480, kHeight = 3508;  // A4 at 300 dpi
constexpr std::int32_t kPelsPerMeter = 11811;

using bidder::synthetic::ScanNoise;

// A colour page: RGB, top row first.
struct Canvas {
  std::vector<std::uint8_t> rgb = std::vector<std::uint8_t>(std::size_t{kWidth} * kHeight * 3);
  std::uint8_t* At(int x, int y) { return &rgb[(std::size_t{static_cast<std::size_t>(y)} * kWidth + x) * 3]; }
  void Put(int x, int y, int r, int g, int b) {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
    std::uint8_t* p = At(x, y);
    p[0] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
    p[1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
    p[2] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
  }
};

bool InPhoto(int x, int y) { return x >= 1300 && x < 2230 && y >= 700 && y < 1400; }

Canvas MakeScan(std::uint32_t seed) {
  Canvas c;
  ScanNoise rnd(seed);
  // Paper with sensor noise (a scanner's few levels of it, mostly 0 or +-1).
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const std::uint32_t r = rnd.Next();
      const int n = static_cast<int>(r % 3) + static_cast<int>((r >> 8) % 3) - 2;
      c.Put(x, y, 241 + n, 239 + n, 232 + n);
    }
  }
  // A photograph: smooth gradients and texture.
  for (int y = 700; y < 1400; ++y) {
    for (int x = 1300; x < 2230; ++x) {
      const double u = (x - 1300) / 930.0, v = (y - 700) / 700.0;
      const int n = static_cast<int>(rnd.Next() % 7) - 3;
      const double t = 40 * std::sin(u * 17 + v * 5) * std::cos(v * 11);
      c.Put(x, y, static_cast<int>(90 + 120 * u + t) + n, static_cast<int>(140 - 60 * v + t) + n,
            static_cast<int>(60 + 150 * v * u) + n);
    }
  }
  // Lines of text: glyphs of a few strokes each, words of 2 to 9 of them.
  for (int line = 0; line < 58; ++line) {
    const int top = 300 + line * 50;
    if (top > 3250) break;
    int x = 250;
    const int right = (top + 30 >= 700 && top < 1400) ? 1240 : 2230;
    while (x < right - 60) {
      const int letters = rnd.Range(2, 9);
      for (int l = 0; l < letters && x < right - 25; ++l, x += 24) {
        for (int s = rnd.Range(2, 4); s > 0; --s) {
          const int x0 = x + rnd.Range(0, 18), y0 = top + rnd.Range(0, 28);
          const int x1 = x + rnd.Range(0, 18), y1 = top + rnd.Range(0, 28);
          const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
          for (int i = 0; i <= steps; ++i) {
            const int px = x0 + (x1 - x0) * i / steps, py = y0 + (y1 - y0) * i / steps;
            for (int dy = 0; dy < 3; ++dy) {
              for (int dx = 0; dx < 3; ++dx) {
                const int n = static_cast<int>(rnd.Next() % 21);
                c.Put(px + dx, py + dy, 25 + n, 28 + n, 45 + n);
              }
            }
          }
        }
      }
      x += 24;  // space
    }
  }
  // A red seal over the signature.
  for (int y = 2900; y < 3300; ++y) {
    for (int x = 1600; x < 2000; ++x) {
      const double d = std::hypot(x - 1800, y - 3100);
      if ((d > 170 && d < 190) || (d < 60 && rnd.Next() % 3 == 0)) {
        const int n = static_cast<int>(rnd.Next() % 31);
        c.Put(x, y, 200 + n / 2, 30 + n, 35 + n);
      }
    }
  }
  return c;
}

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> DibHeader(int bits, std::uint32_t tableEntries, std::uint32_t stride) {
  std::vector<std::uint8_t> b(40 + tableEntries * 4, 0);
  PutU32(b, 0, 40);
  PutU32(b, 4, kWidth);
  PutU32(b, 8, kHeight);  // bottom-up, as most scanners deliver
  b[12] = 1;
  b[14] = static_cast<std::uint8_t>(bits);
  PutU32(b, 20, stride * kHeight);
  PutU32(b, 24, kPelsPerMeter);
  PutU32(b, 28, kPelsPerMeter);
  return b;
}

std::vector<std::uint8_t> ColourDib(Canvas& c) {
  const std::uint32_t stride = (kWidth * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> dib = DibHeader(24, 0, stride);
  const std::size_t bits = dib.size();
  dib.resize(bits + std::size_t{stride} * kHeight, 0);
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = &dib[bits + std::size_t{stride} * static_cast<std::size_t>(kHeight - 1 - y)];
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t* p = c.At(x, y);
      row[x * 3] = p[2];
      row[x * 3 + 1] = p[1];
      row[x * 3 + 2] = p[0];
    }
  }
  return dib;
}

int Luma(const std::uint8_t* p) { return (p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8; }

std::vector<std::uint8_t> GreyDib(Canvas& c) {
  const std::uint32_t stride = (kWidth + 3) / 4 * 4;
  std::vector<std::uint8_t> dib = DibHeader(8, 256, stride);
  for (int i = 0; i < 256; ++i) dib[40 + i * 4] = dib[40 + i * 4 + 1] = dib[40 + i * 4 + 2] = static_cast<std::uint8_t>(i);
  const std::size_t bits = dib.size();
  dib.resize(bits + std::size_t{stride} * kHeight, 0);
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = &dib[bits + std::size_t{stride} * static_cast<std::size_t>(kHeight - 1 - y)];
    for (int x = 0; x < kWidth; ++x) row[x] = static_cast<std::uint8_t>(Luma(c.At(x, y)));
  }
  return dib;
}

std::vector<std::uint8_t> BilevelDib(Canvas& c, std::uint32_t seed) {
  static const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  const std::uint32_t stride = (kWidth + 31) / 32 * 4;
  std::vector<std::uint8_t> dib = DibHeader(1, 2, stride);
  // Index 0 white, 1 black: how many scanners deliver text pages.
  dib[40] = dib[41] = dib[42] = 255;
  const std::size_t bits = dib.size();
  dib.resize(bits + std::size_t{stride} * kHeight, 0);
  ScanNoise rnd(seed);
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = &dib[bits + std::size_t{stride} * static_cast<std::size_t>(kHeight - 1 - y)];
    for (int x = 0; x < kWidth; ++x) {
      const int l = Luma(c.At(x, y));
      const int threshold = InPhoto(x, y) ? (kBayer[y & 3][x & 3] * 16 + 8) : 128;
      const bool speck = rnd.Next() % 4000 == 0;  // dust
      if (l < threshold || speck) row[x >> 3] = static_cast<std::uint8_t>(row[x >> 3] | (0x80 >> (x & 7)));
    }
  }
  return dib;
}

// kB of the process's peak ("VmHWM") or present ("VmRSS") resident size.
long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear.flush());
}

}  // namespace

int main(int argc, char** argv) {
  int pages = 10;
  std::filesystem::path work = std::filesystem::temp_directory_path() / "page-capture-bench";
  bool keep = false;
  int memoryKind = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--pages" && i + 1 < argc) pages = std::max(1, std::atoi(argv[++i]));
    else if (a == "--work" && i + 1 < argc) work = argv[++i];
    else if (a == "--keep") keep = true;
    else if (a == "--memory" && i + 1 < argc) memoryKind = std::clamp(std::atoi(argv[++i]), 0, 2);
    else {
      std::cerr << "usage: page_capture_bench [--pages N] [--work DIR] [--keep] [--memory KIND]\n";
      return 2;
    }
  }
  std::filesystem::create_directories(work);

  Canvas canvas = MakeScan(12345);
  struct Kind {
    const char* name;
    std::vector<std::uint8_t> dib;
  };
  std::vector<Kind> kinds;
  kinds.push_back({"1-bit text (G4)", BilevelDib(canvas, 99)});
  kinds.push_back({"8-bit grey (Deflate)", GreyDib(canvas)});
  kinds.push_back({"24-bit colour (Deflate)", ColourDib(canvas)});
  canvas = Canvas{};  // only the bitmaps stay in memory

  folvane::PageStore store((work / "").string());
  if (memoryKind >= 0) {
    const Kind k = std::move(kinds[static_cast<std::size_t>(memoryKind)]);
    kinds.clear();
    {
      // A first page of the kind brings in the code it runs, which is no
      // working set; the second one is measured. Buffers from 64 KiB up go
      // back to the system when freed, so that the first page's leave no
      // resident memory for the second to reuse unseen.
#ifdef __GLIBC__
      mallopt(M_MMAP_THRESHOLD, 64 * 1024);
      mallopt(M_TRIM_THRESHOLD, 64 * 1024);
#endif
      if (!store.AddPage(k.dib)) return 1;
      store.DeletePages();
      const long before = StatusKb("VmRSS");
      if (!ResetPeak() || before < 0) {
        std::fprintf(stderr, "no /proc/self/clear_refs: peak memory cannot be measured here\n");
        return 1;
      }
      if (!store.AddPage(k.dib)) return 1;
      store.DeletePages();
      const double working = static_cast<double>(StatusKb("VmHWM") - before) * 1024.0;
      const double bitmap = static_cast<double>(k.dib.size());
      std::printf("%-26s %11.1f %14.2f %15.2fx\n", k.name, bitmap / 1e6, working / 1e6, (bitmap + working) / bitmap);
    }
    std::filesystem::remove_all(work);
    return 0;
  }

  std::printf("page capture: A4 at 300 dpi (%d x %d), %d pages of each kind, bitmap to TIFF page file\n", kWidth,
              kHeight, pages);
  std::printf("%-26s %9s %9s %11s %12s\n", "kind", "pages/s", "ms/page", "bitmap MB", "page file KB");
  for (const Kind& k : kinds) {
    store.DeletePages();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < pages; ++i) {
      if (!store.AddPage(k.dib)) {
        std::fprintf(stderr, "page %d of %s could not be written\n", i, k.name);
        return 1;
      }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto fileSize = std::filesystem::file_size(store.PageFileName(0));
    std::printf("%-26s %9.1f %9.1f %11.1f %12.1f\n", k.name, pages / seconds, 1000 * seconds / pages,
                static_cast<double>(k.dib.size()) / 1e6, static_cast<double>(fileSize) / 1024.0);
  }
  store.DeletePages();
  if (keep) {
    for (int i = 0; i < pages; ++i) store.AddPage(kinds[static_cast<std::size_t>(i) % kinds.size()].dib);
    std::printf("kept %d page files in %s\n", pages, work.string().c_str());
  } else {
    std::filesystem::remove_all(work);
  }
  return 0;
}
