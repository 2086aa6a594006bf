#include "pdf_writer.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace folvane {
namespace {

constexpr std::uint64_t kUnwritten = std::numeric_limits<std::uint64_t>::max();
// Offsets are written with ten digits in the cross-reference table.
constexpr std::uint64_t kMaxOffset = 9'999'999'999ull;
// Large writes of image data go straight through; the buffer collects the
// many small pieces of dictionaries and the table.
constexpr std::size_t kFileBufferSize = 1 << 16;

}  // namespace

bool PdfWriter::Open(const std::string& path) {
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) return false;
  std::setvbuf(file_.get(), nullptr, _IOFBF, kFileBufferSize);
  offset_ = 0;
  offsets_.clear();
  failed_ = false;
  // The comment of bytes above 127 marks the file as binary for transfer programs.
  Put(std::string_view("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"));
  return true;
}

PdfObjectId PdfWriter::Reserve() {
  offsets_.push_back(kUnwritten);
  return static_cast<PdfObjectId>(offsets_.size());
}

void PdfWriter::Put(std::string_view bytes) {
  Put(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void PdfWriter::Put(std::span<const std::uint8_t> bytes) {
  if (failed_ || !file_) {
    failed_ = true;
    return;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) failed_ = true;
  Advance(bytes.size());
}

void PdfWriter::Advance(std::uint64_t bytes) {
  offset_ += bytes;
  if (offset_ > kMaxOffset) failed_ = true;
}

void PdfWriter::BeginObject(PdfObjectId id) {
  if (id == 0 || id > offsets_.size() || offsets_[id - 1] != kUnwritten) {
    failed_ = true;  // a programming error; never write a file with a broken table
    return;
  }
  offsets_[id - 1] = offset_;
  Put(std::to_string(id) + " 0 obj\n");
}

void PdfWriter::WriteObject(PdfObjectId id, std::string_view body) {
  BeginObject(id);
  Put(body);
  Put(std::string_view("\nendobj\n"));
}

void PdfWriter::BeginStream(PdfObjectId id, std::string_view dictionaryEntries, std::uint64_t length) {
  BeginObject(id);
  Put(std::string_view("<<"));
  Put(dictionaryEntries);
  Put(" /Length " + std::to_string(length) + " >>\nstream\n");
}

void PdfWriter::WriteStreamObject(PdfObjectId id, std::string_view dictionaryEntries,
                                  std::span<const std::uint8_t> data) {
  BeginStream(id, dictionaryEntries, data.size());
  Put(data);
  Put(std::string_view("\nendstream\nendobj\n"));
}

void PdfWriter::WriteStreamObject(PdfObjectId id, std::string_view dictionaryEntries, const FileSpan& data) {
  BeginStream(id, dictionaryEntries, data.length);
  if (failed_ || !file_ || !CopyFileSpan(data, file_.get())) failed_ = true;
  Advance(data.length);
  Put(std::string_view("\nendstream\nendobj\n"));
}

bool PdfWriter::Finish(PdfObjectId root, PdfObjectId info) {
  for (std::uint64_t offset : offsets_)
    if (offset == kUnwritten) failed_ = true;
  const std::uint64_t xrefOffset = offset_;
  const std::size_t size = offsets_.size() + 1;
  Put("xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n");
  char entry[24];
  for (std::uint64_t offset : offsets_) {
    std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offset));
    Put(std::string_view(entry, 20));
  }
  Put("trailer\n<< /Size " + std::to_string(size) + " /Root " + std::to_string(root) + " 0 R /Info " +
      std::to_string(info) + " 0 R >>\nstartxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n");
  if (file_) {
    if (std::fflush(file_.get()) != 0) failed_ = true;
    if (std::fclose(file_.release()) != 0) failed_ = true;
  }
  return !failed_;
}

void PdfWriter::Abandon() {
  file_.reset();
  failed_ = true;
}

std::string PdfReal(double value) {
  if (!std::isfinite(value)) return "0";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
  if (ec != std::errc()) return "0";
  std::string text(buffer, end);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

}  // namespace folvane
