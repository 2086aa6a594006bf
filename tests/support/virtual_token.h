#pragma once
// A virtual token for the stand-in FT_ND_API library: a token image and a call
// log in a temporary directory, named through FT_ND_API_TOKEN and
// FT_ND_API_LOG for as long as the object lives.
#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tokenimage/token_image.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace bidder::test {

class VirtualToken {
 public:
  VirtualToken()
      : imageVar_("FT_ND_API_TOKEN", dir_.path() / "token.img"), logVar_("FT_ND_API_LOG", dir_.path() / "calls.log") {}

  // A token holding the USERID record "BIDDER7" on file 3 of "vorla",
  // serial number 0x1234ABCD, user PIN "1234".
  static ftnd::TokenImage Typical() {
    ftnd::TokenImage image;
    image.serialProperty = std::string("\xcd\xab\x34\x12", 4);
    image.userPin = "1234";
    std::string record = "BIDDER7" + std::string(25, '\xff');
    image.directories.push_back({"vorla", {{3, record}}});
    return image;
  }

  void Plug(const ftnd::TokenImage& image) const { WriteFile(ImagePath(), ftnd::FormatTokenImage(image)); }
  void PlugRaw(std::string_view text) const { WriteFile(ImagePath(), text); }
  void Unplug() const { std::filesystem::remove(dir_.path() / "token.img"); }
  std::string ImagePath() const { return dir_ / "token.img"; }
  const TempDir& Dir() const { return dir_; }

  // The calls since the last look, one per line, with context handles
  // numbered by first appearance (#1, #2, ...) and every failing status
  // shown as "fail"; the log starts over.
  std::vector<std::string> TakeCalls() const {
    std::istringstream log(ReadFile(dir_ / "calls.log"));
    std::filesystem::remove(dir_.path() / "calls.log");
    std::map<std::string, std::string> handles;
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
      std::string out;
      for (std::size_t i = 0; i < line.size();) {
        if (line[i] == '#') {
          std::size_t end = i + 1;
          while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
          const std::string raw = line.substr(i, end - i);
          auto [it, added] = handles.emplace(raw, "#" + std::to_string(handles.size() + 1));
          out += it->second;
          i = end;
        } else {
          out += line[i++];
        }
      }
      const auto arrow = out.find(") -> ");
      if (arrow != std::string::npos) {
        const auto start = arrow + 5, end = out.find(' ', start);
        const std::string status = out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (status != "0x0") out = out.substr(0, start) + "fail" + (end == std::string::npos ? "" : out.substr(end));
      }
      lines.push_back(out);
    }
    return lines;
  }

 private:
  TempDir dir_;
  ScopedEnv imageVar_, logVar_;
};

}  // namespace bidder::test
