#include "tokenimage/token_image.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>
#include <unordered_set>

namespace ftnd {
namespace {

constexpr std::string_view kMagic = "FT_ND_API token image 1";

constexpr std::string_view kFaultNames[] = {
    "no-context", "no-device", "pin-refused", "fixed-code-refused",
    "property-unreadable", "directory-missing", "file-missing", "read-fails",
};
static_assert(std::size(kFaultNames) == std::size(kAllFaults));

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits "a b c" at runs of blanks.
std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> words;
  while (true) {
    s = Trim(s);
    if (s.empty()) return words;
    const auto end = s.find_first_of(" \t");
    words.push_back(s.substr(0, end));
    if (end == std::string_view::npos) return words;
    s.remove_prefix(end);
  }
}

std::optional<std::uint32_t> ParseFileId(std::string_view text) {
  std::uint32_t id = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, id, 10);
  if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
  return id;
}

class Parser {
 public:
  ParsedTokenImage Parse(std::string_view text) {
    if (text.size() > kMaxImageBytes) return Fail("the image is larger than 1 MiB");
    bool first = true;
    while (!text.empty()) {
      ++line_;
      const auto eol = text.find('\n');
      std::string_view line = text.substr(0, eol);
      text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (first) {
        if (line != kMagic) return Fail("the first line is not \"" + std::string(kMagic) + "\"");
        first = false;
        continue;
      }
      line = Trim(line);
      if (line.empty() || line.front() == '#') continue;
      const auto equals = line.find('=');
      if (equals == std::string_view::npos) return Fail("expected KEY = VALUE");
      if (!Item(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)))) return Fail(error_);
    }
    if (first) return Fail("the image is empty");
    return {std::move(image_), ""};
  }

 private:
  bool Item(std::string_view key, std::string_view value) {
    if (key == "serial-property") return Once(seenSerial_, key) && Hex(value, image_.serialProperty.emplace());
    if (key == "user-pin") return Once(seenPin_, key) && Hex(value, image_.userPin);
    if (key == "fixed-code") return Once(seenFixedCode_, key) && Hex(value, image_.fixedCode);
    if (key == "directory") return Directory(value);
    if (key == "file") return File(value);
    if (key == "fault") return Fault(value);
    return Error("unknown key \"" + std::string(key) + "\"");
  }

  bool Once(bool& seen, std::string_view key) {
    if (seen) return Error(std::string(key) + " is given twice");
    seen = true;
    return true;
  }

  bool Hex(std::string_view value, std::string& out) {
    auto bytes = FromHex(value);
    if (!bytes) return Error("not an even number of hex digits");
    out = std::move(*bytes);
    return true;
  }

  bool Directory(std::string_view name) {
    if (!IsValidDirectoryName(name)) return Error("bad directory name");
    if (!directoryIndex_.emplace(std::string(name), image_.directories.size()).second)
      return Error("directory " + std::string(name) + " is given twice");
    image_.directories.push_back({std::string(name), {}});
    return true;
  }

  bool File(std::string_view value) {
    const auto words = Words(value);
    if (words.size() < 2 || words.size() > 3) return Error("expected file = DIRECTORY ID HEX");
    const auto dir = directoryIndex_.find(std::string(words[0]));
    if (dir == directoryIndex_.end()) return Error("file in an undeclared directory");
    const auto id = ParseFileId(words[1]);
    if (!id) return Error("the file id is not a 32-bit decimal number");
    if (!fileKeys_.insert(std::uint64_t{dir->second} << 32 | *id).second)
      return Error("file " + std::string(words[1]) + " is given twice");
    TokenFile file{*id, {}};
    if (words.size() == 3 && !Hex(words[2], file.bytes)) return false;
    image_.directories[dir->second].files.push_back(std::move(file));
    return true;
  }

  bool Fault(std::string_view name) {
    const auto fault = FaultFromName(name);
    if (!fault) return Error("unknown fault \"" + std::string(name) + "\"");
    if (!image_.Has(*fault)) image_.faults.push_back(*fault);
    return true;
  }

  bool Error(std::string why) {
    error_ = std::move(why);
    return false;
  }

  ParsedTokenImage Fail(const std::string& why) const {
    return {std::nullopt, "line " + std::to_string(line_) + ": " + why};
  }

  TokenImage image_;
  // What is declared so far, for repeats: an image may hold tens of
  // thousands of directories or files, and searching the image's own lists
  // for each would make parsing quadratic in its size.
  std::unordered_map<std::string, std::size_t> directoryIndex_;  // name -> position in image_.directories
  std::unordered_set<std::uint64_t> fileKeys_;                    // directory position << 32 | file id
  std::size_t line_ = 0;
  bool seenSerial_ = false, seenPin_ = false, seenFixedCode_ = false;
  std::string error_;
};

}  // namespace

std::string_view FaultName(TokenFault fault) { return kFaultNames[static_cast<std::size_t>(fault)]; }

std::optional<TokenFault> FaultFromName(std::string_view name) {
  for (TokenFault fault : kAllFaults) {
    if (FaultName(fault) == name) return fault;
  }
  return std::nullopt;
}

const TokenFile* TokenDirectory::FindFile(std::uint32_t id) const {
  const auto it = std::find_if(files.begin(), files.end(), [&](const TokenFile& f) { return f.id == id; });
  return it == files.end() ? nullptr : &*it;
}

bool TokenImage::Has(TokenFault fault) const {
  return std::find(faults.begin(), faults.end(), fault) != faults.end();
}

const TokenDirectory* TokenImage::FindDirectory(std::string_view name) const {
  const auto it =
      std::find_if(directories.begin(), directories.end(), [&](const TokenDirectory& d) { return d.name == name; });
  return it == directories.end() ? nullptr : &*it;
}

bool IsValidDirectoryName(std::string_view name) {
  if (name.empty() || name.size() > kMaxDirectoryNameBytes) return false;
  return std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xf];
  }
  return hex;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high << 4 | low);
  }
  return bytes;
}

ParsedTokenImage ParseTokenImage(std::string_view text) { return Parser().Parse(text); }

std::string FormatTokenImage(const TokenImage& image) {
  std::string text = std::string(kMagic) + "\n";
  text += "# A virtual USB token for the stand-in FT_ND_API library.\n";
  if (image.serialProperty) text += "serial-property = " + ToHex(*image.serialProperty) + "\n";
  text += "user-pin = " + ToHex(image.userPin) + "\n";
  text += "fixed-code = " + ToHex(image.fixedCode) + "\n";
  for (const TokenDirectory& dir : image.directories) {
    text += "directory = " + dir.name + "\n";
    for (const TokenFile& file : dir.files) {
      text += "file = " + dir.name + " " + std::to_string(file.id);
      if (!file.bytes.empty()) text += " " + ToHex(file.bytes);
      text += "\n";
    }
  }
  for (TokenFault fault : image.faults) text += "fault = " + std::string(FaultName(fault)) + "\n";
  return text;
}

}  // namespace ftnd
