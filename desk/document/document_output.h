#pragma once
// What a document becomes: one PDF, one page's PNG, a page's thumbnail.
// The same code and bytes as the scanning control's outputs.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bidder::desk {

// Document information as the page gives it: UTF-8, any Unicode.
struct DocumentInfo {
  std::string creator;
  std::string author;
  std::string title;
  std::string subject;
};

enum class OutputOutcome {
  kWritten,
  kNoPages,         // nothing to bind, or no page file could be read
  kDiskFull,        // the file system is full
  kFailed,          // any other write failure; nothing left at the output path
};

struct OutputResult {
  OutputOutcome outcome = OutputOutcome::kFailed;
  std::string controlMessage;  // the scanning control's text for the failure (GBK), if it has one
};

// The pages in order into one PDF 1.4 at `outputPath`, as `folvane pdf`
// binds them with this information (written as Unicode text).
OutputResult BindPdf(const std::vector<std::string>& pagePaths, const std::string& outputPath,
                     const DocumentInfo& info);

// One page file as a PNG at `outputPath`, as the control's PNG export.
OutputResult PagePng(const std::string& pagePath, const std::string& outputPath);

// A small PNG of the page (longest side at most `maxSide` pixels, never
// enlarged), in memory; nullopt when the page file cannot be read.
std::optional<std::vector<std::uint8_t>> ThumbnailPng(const std::string& pagePath, std::uint32_t maxSide = 256);

// The same from the bitmap a scanner delivered (a packed DIB), which a page
// file stores losslessly: no need to read back what was just written.
std::optional<std::vector<std::uint8_t>> ThumbnailPngOfDib(std::span<const std::uint8_t> packedDib,
                                                           std::uint32_t maxSide = 256);

// "data:image/png;base64,..."
std::string PngDataUrl(const std::vector<std::uint8_t>& png);

}  // namespace bidder::desk
