// make_dib_seeds DIR: the test suite's kinds of bitmap as packed DIBs
// (DIR/NN.dib), and one of them as a bitmap file (DIR/file.bmp), for the
// capture fuzz target.
#include <cstdio>
#include <fstream>
#include <string>

#include "dib_fixture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_dib_seeds DIR\n");
    return 2;
  }
  using namespace folvane;
  using namespace folvane::test;
  const std::string dir = argv[1];
  const std::vector<DibColour> blackWhite = {{0, 0, 0}, {255, 255, 255}};
  DibFixture specs[] = {
      {1, 37, 9, false, blackWhite},
      {1, 16, 5, true, {{255, 255, 255}, {0, 0, 0}}},
      {1, 9, 4, false, RandomPalette(2, 3)},
      {4, 13, 6, false, GreyRamp(4)},
      {4, 7, 3, true, RandomPalette(5, 4), 5},
      {8, 21, 5, false, GreyRamp(8)},
      {8, 6, 6, false, RandomPalette(17, 5), 17},
      {24, 11, 7, false, {}},
      {24, 5, 3, true, {}, 0, 0, 0},
  };
  int i = 0;
  for (const DibFixture& spec : specs) {
    const TestDib dib = MakeDib(spec);
    char name[32];
    std::snprintf(name, sizeof name, "/%02d.dib", i++);
    std::ofstream(dir + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(dib.bytes.data()), static_cast<std::streamsize>(dib.bytes.size()));
  }
  const TestDib dib = MakeDib(specs[3]);
  const auto headerAndTable = DibHeaderAndTableSize(dib.bytes);
  if (!headerAndTable) return 1;
  std::ofstream(dir + "/file.bmp", std::ios::binary) << AsBmpFile(dib.bytes, *headerAndTable, 3);
  return 0;
}
