// A rendered page as a scanner delivers it: the paper's tint, sensor noise
// (about sigma 3 per channel, the sum of four uniform draws) and a red seal
// stamped near the foot of the page. Reads and writes binary PPM (P6, 8 bits).
//   add_scan_noise IN.ppm OUT.ppm SEED
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "synthetic/scan_noise.h"

namespace {

bool ReadPpm(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& pixels) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> width >> height >> maxval;
  in.get();
  if (!in || magic != "P6" || maxval != 255 || width <= 0 || height <= 0 || width > 20000 || height > 20000) return false;
  pixels.resize(static_cast<std::size_t>(width) * height * 3);
  in.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
  return static_cast<std::size_t>(in.gcount()) == pixels.size();
}

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: add_scan_noise IN.ppm OUT.ppm SEED\n";
    return 2;
  }
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
  if (!ReadPpm(argv[1], width, height, pixels)) {
    std::cerr << "add_scan_noise: " << argv[1] << " is not an 8-bit binary PPM\n";
    return 1;
  }
  auto noise = bidder::synthetic::ScanNoise::Seeded(static_cast<std::uint32_t>(std::stoul(argv[3])), 7);
  // A seal of radius 1/12 of the width, its ring and a star-less centre mark.
  const double cx = width * 0.7, cy = height * 0.85, radius = width / 12.0;
  constexpr int kTint[3] = {-6, -4, -14};  // warm paper
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
      const double d = std::hypot(x - cx, y - cy);
      const bool seal = (d > radius * 0.86 && d < radius) || (d < radius * 0.25 && (x + y) % 5 < 3);
      for (int c = 0; c < 3; ++c) {
        int v = p[c] + kTint[c];
        if (seal) v = std::min(v, c == 0 ? 205 : 40);
        // Four draws of -3..3 add up to a bell of sigma about 4; halved and rounded, about 3.
        v += (noise.Range(-3, 3) + noise.Range(-3, 3) + noise.Range(-3, 3) + noise.Range(-3, 3)) * 3 / 4;
        p[c] = Clamp(v);
      }
    }
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << "P6\n" << width << " " << height << "\n255\n";
  out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
  return out ? 0 : 1;
}
