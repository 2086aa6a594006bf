#pragma once
// Reading our PDFs back with tools we did not write (qpdf, poppler's pdfinfo
// and pdfimages). Native tests only.
#include <cstdint>
#include <string>
#include <vector>

namespace folvane::test {

struct CommandOutput {
  int status = -1;
  std::string output;  // standard output and standard error together
};
CommandOutput RunCommand(const std::string& commandLine);

// pdfinfo's "Key: value" lines (UTF-8) and the size of each page in points.
struct PdfInfo {
  std::string version, creator, author, title, subject;
  int pages = 0;
  std::vector<std::pair<double, double>> pageSizes;
};
PdfInfo ReadPdfInfo(const std::string& pdfPath);

// Every image of the PDF, in order, as 8-bit RGB.
struct ExtractedImage {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
};
std::vector<ExtractedImage> ExtractImages(const std::string& pdfPath, const std::string& workDir);

std::string ShellQuote(const std::string& s);

}  // namespace folvane::test
