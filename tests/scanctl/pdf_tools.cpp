#include "pdf_tools.h"

#include <png.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace folvane::test {

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

CommandOutput RunCommand(const std::string& commandLine) {
  CommandOutput result;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((commandLine + " 2>&1").c_str(), "r"), pclose);
  if (!pipe) return result;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) result.output.append(buffer.data(), n);
  const int status = pclose(pipe.release());
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

PdfInfo ReadPdfInfo(const std::string& pdfPath) {
  // -f/-l with a large last page prints every page's size.
  const CommandOutput out = RunCommand("pdfinfo -enc UTF-8 -f 1 -l 100000 " + ShellQuote(pdfPath));
  if (out.status != 0) throw std::runtime_error("pdfinfo failed: " + out.output);
  PdfInfo info;
  std::istringstream lines(out.output);
  std::string line;
  auto valueOf = [&](const std::string& key) -> std::optional<std::string> {
    if (line.rfind(key + ":", 0) != 0) return std::nullopt;
    std::size_t start = key.size() + 1;
    while (start < line.size() && line[start] == ' ') ++start;
    return line.substr(start);
  };
  while (std::getline(lines, line)) {
    if (auto v = valueOf("PDF version")) info.version = *v;
    else if (auto c = valueOf("Creator")) info.creator = *c;
    else if (auto a = valueOf("Author")) info.author = *a;
    else if (auto t = valueOf("Title")) info.title = *t;
    else if (auto s = valueOf("Subject")) info.subject = *s;
    else if (auto p = valueOf("Pages")) info.pages = std::stoi(*p);
    else if (line.rfind("Page ", 0) == 0 && line.find(" size:") != std::string::npos) {
      double w = 0, h = 0;
      const std::string rest = line.substr(line.find(" size:") + 6);
      if (std::sscanf(rest.c_str(), " %lf x %lf", &w, &h) == 2) info.pageSizes.emplace_back(w, h);
    }
  }
  return info;
}

namespace {

ExtractedImage ReadPngAsRgb(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) throw std::runtime_error("cannot open " + path);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ExtractedImage image;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("cannot decode " + path);
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_read_update_info(png, info);
  image.width = png_get_image_width(png, info);
  image.height = png_get_image_height(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{image.width} * 3) throw std::runtime_error("unexpected layout");
  image.rgb.resize(std::size_t{image.width} * image.height * 3);
  std::vector<png_bytep> rows(image.height);
  for (std::uint32_t y = 0; y < image.height; ++y) rows[y] = &image.rgb[std::size_t{y} * image.width * 3];
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

}  // namespace

std::vector<ExtractedImage> ExtractImages(const std::string& pdfPath, const std::string& workDir) {
  const std::string prefix = workDir + "/extracted";
  const CommandOutput out = RunCommand("pdfimages -png " + ShellQuote(pdfPath) + " " + ShellQuote(prefix));
  if (out.status != 0) throw std::runtime_error("pdfimages failed: " + out.output);
  std::vector<ExtractedImage> images;
  for (int i = 0;; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "-%03d.png", i);
    if (!std::filesystem::exists(prefix + name)) break;
    images.push_back(ReadPngAsRgb(prefix + name));
    std::filesystem::remove(prefix + name);
  }
  return images;
}

}  // namespace folvane::test
