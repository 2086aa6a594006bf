#pragma once
// A PDF file written front to back, object by object. Each object goes to disk
// as soon as it is complete; the writer keeps only the byte offset of every
// object for the cross-reference table, so memory does not grow with the
// content of the document.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output/file_span_copy.h"

namespace folvane {

using PdfObjectId = std::uint32_t;

class PdfWriter {
 public:
  PdfWriter() = default;
  PdfWriter(const PdfWriter&) = delete;
  PdfWriter& operator=(const PdfWriter&) = delete;

  // Creates (or truncates) the file and writes the PDF 1.4 header. False when
  // the file cannot be created.
  bool Open(const std::string& path);

  // A number for an object that will be written later (objects may be written
  // in any order; every reserved object must be written before Finish).
  PdfObjectId Reserve();

  // One whole object: "<id> 0 obj <body> endobj".
  void WriteObject(PdfObjectId id, std::string_view body);
  // One stream object: `dictionaryEntries` go inside << >> next to /Length.
  void WriteStreamObject(PdfObjectId id, std::string_view dictionaryEntries, std::span<const std::uint8_t> data);
  // The same with the data copied from another file, never held whole here.
  void WriteStreamObject(PdfObjectId id, std::string_view dictionaryEntries, const FileSpan& data);

  // Writes the cross-reference table and the trailer, then closes the file.
  // True only when every byte reached the file and it closed cleanly.
  bool Finish(PdfObjectId root, PdfObjectId info);

  // Closes the file without finishing it (after a failure); idempotent.
  void Abandon();

  bool Failed() const { return failed_; }

 private:
  void Put(std::string_view bytes);
  void Put(std::span<const std::uint8_t> bytes);
  void BeginObject(PdfObjectId id);
  void BeginStream(PdfObjectId id, std::string_view dictionaryEntries, std::uint64_t length);
  void Advance(std::uint64_t bytes);

  FilePtr file_;
  std::uint64_t offset_ = 0;
  // offsets_[id - 1]; kUnwritten until the object is on disk.
  std::vector<std::uint64_t> offsets_;
  bool failed_ = false;
};

// A real number as PDF writes it: fixed point, at most four decimals, no
// trailing zeros ("595.2", "612", "0.0001").
std::string PdfReal(double value);

}  // namespace folvane
