// Copying a passed-through strip from its page file into the document.
#include "output/file_span_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace folvane {
namespace {

using bidder::test::ReadFile;
using bidder::test::TempDir;
using bidder::test::WriteFile;

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 12345;
  for (char& c : bytes) {
    x = x * 1103515245 + 12345;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

FileSpan Span(const std::string& path, std::uint64_t offset, std::uint64_t length) {
  return FileSpan{FilePtr(std::fopen(path.c_str(), "rb")), offset, length};
}

using Copier = bool (*)(const FileSpan&, std::FILE*);

// The output already holds bytes that stdio has not yet written, and more
// follow the copy: all of it must land in order.
bool CopyBetween(Copier copy, const FileSpan& span, const std::string& outPath) {
  FilePtr out(std::fopen(outPath.c_str(), "wb"));
  if (!out) return false;
  std::fputs("head", out.get());
  const bool copied = copy(span, out.get());
  std::fputs("tail", out.get());
  return std::fclose(out.release()) == 0 && copied;
}

TEST(CopyFileSpan, CopiesTheSpanWholeInPiecesAndAroundBufferedOutput) {
  TempDir dir;
  const std::string source = dir / "page.tif";
  const std::string content = Pattern((std::size_t{9} << 20) + 123);  // more than two copy pieces
  WriteFile(source, content);
  // Another file system for the output, where there is one: the kernel may
  // refuse to copy across, and the copy goes on through a buffer. Named after
  // this run's directory, so that runs side by side never share the file.
  std::vector<std::string> outputs{dir / "out.pdf"};
  if (std::filesystem::is_directory("/dev/shm")) {
    outputs.push_back("/dev/shm/" + dir.path().filename().string() + "-span-copy.pdf");
  }
  const struct {
    const char* what;
    std::uint64_t offset, length;
  } cases[] = {
      {"a small strip", 8, 1000},
      {"a strip larger than one piece", 8, content.size() - 8},
      {"the whole file", 0, content.size()},
      {"nothing", 100, 0},
  };
  for (const std::string& out : outputs) {
    for (Copier copy : {&CopyFileSpan, &CopyFileSpanByReading}) {
      for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " to " + out + (copy == &CopyFileSpan ? "" : ", by reading"));
        ASSERT_TRUE(CopyBetween(copy, Span(source, c.offset, c.length), out));
        const auto expected = content.substr(static_cast<std::size_t>(c.offset), static_cast<std::size_t>(c.length));
        EXPECT_TRUE(ReadFile(out) == "head" + expected + "tail");
      }
    }
    std::filesystem::remove(out);
  }
}

TEST(CopyFileSpan, ASourceShorterThanTheSpanIsAFailure) {
  TempDir dir;
  const std::string source = dir / "page.tif", out = dir / "out.pdf";
  WriteFile(source, Pattern(5000));
  for (Copier copy : {&CopyFileSpan, &CopyFileSpanByReading}) {
    EXPECT_FALSE(CopyBetween(copy, Span(source, 10, 5000), out)) << "past the end";
    EXPECT_FALSE(CopyBetween(copy, Span(source, 6000, 1), out)) << "beyond the file";
    EXPECT_FALSE(CopyBetween(copy, FileSpan{nullptr, 0, 1}, out)) << "no file";
  }
}

}  // namespace
}  // namespace folvane
