// make_page_fixtures DIR: writes the test page files into DIR as 00.tif,
// 01.tif, ... (one per kind of page), plus 99.tif, which is no image.
#include <cstdio>
#include <fstream>
#include <string>

#include "fixture_cases.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_page_fixtures DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  try {
    int i = 0;
    for (const auto& c : folvane::test::FixtureCases()) {
      char name[32];
      std::snprintf(name, sizeof name, "/%02d.tif", i++);
      folvane::test::WriteTiffFixture(dir + name, c.spec);
    }
    std::ofstream(dir + "/99.tif") << "not an image\n";
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_page_fixtures: %s\n", e.what());
    return 1;
  }
  return 0;
}
