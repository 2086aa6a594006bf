#include "tool/token_command.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>

#include "text/codepage.h"
#include "token/userid_record.h"
#include "tokenimage/token_image.h"
#include "tool/usage_error.h"

namespace lockvale::cli {

const char kTokenUsage[] =
    "       lockvale token init IMAGE --serial HEX8 --pin PIN\n"
    "                      [--userid TEXT | --record-hex HEX64] [--fault NAME]...\n"
    "       lockvale token show IMAGE\n"
    "  A token image is the virtual token the stand-in FT_ND_API library serves\n"
    "  (named by FT_ND_API_TOKEN). --serial is the serial number as the control\n"
    "  shows it (8 hex digits); PIN and USERID are stored as GBK bytes, the USERID\n"
    "  as the record of file 3 in directory vorla (the bytes, then 0xFF up to 32\n"
    "  bytes); --record-hex gives those 32 bytes raw. Without either the token has\n"
    "  no vorla directory. Faults: no-context, no-device, pin-refused,\n"
    "  fixed-code-refused, property-unreadable, directory-missing, file-missing,\n"
    "  read-fails.\n";

namespace {


std::string Gbk(const std::string& utf8, const char* what) {
  auto gbk = bidder::Utf8ToGbk(utf8);
  if (!gbk) throw UsageError{std::string(what) + " has characters that GBK cannot express"};
  return std::move(*gbk);
}

std::uint32_t ParseSerial(const std::string& hex) {
  auto bytes = hex.size() == 8 ? ftnd::FromHex(hex) : std::nullopt;
  if (!bytes) throw UsageError{"--serial is 8 hex digits"};
  std::uint32_t serial = 0;
  for (unsigned char b : *bytes) serial = serial << 8 | b;
  return serial;
}


ftnd::TokenImage ParseInit(const std::vector<std::string>& args, std::string& imagePath) {
  ftnd::TokenImage image;
  std::optional<std::string> serial, pin, userId, recordHex;
  std::vector<std::string> positional;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    auto once = [&](std::optional<std::string>& slot) {
      if (slot) throw UsageError{a + " is given twice"};
      slot = value();
    };
    if (a == "--serial") once(serial);
    else if (a == "--pin") once(pin);
    else if (a == "--userid") once(userId);
    else if (a == "--record-hex") once(recordHex);
    else if (a == "--fault") {
      const std::string& name = value();
      const auto fault = ftnd::FaultFromName(name);
      if (!fault) throw UsageError{"unknown fault " + name};
      if (!image.Has(*fault)) image.faults.push_back(*fault);
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option " + a};
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 1) throw UsageError{"give one token image"};
  if (!serial || !pin) throw UsageError{"token init needs --serial and --pin"};
  if (userId && recordHex) throw UsageError{"give --userid or --record-hex, not both"};
  imagePath = positional[0];

  const std::uint32_t number = ParseSerial(*serial);
  std::string property;
  for (int i = 0; i < 4; ++i) property += static_cast<char>(number >> (8 * i) & 0xff);
  image.serialProperty = property;
  image.userPin = Gbk(*pin, "--pin");

  std::optional<std::string> record;
  if (userId) {
    const auto built = RecordForUserId(Gbk(*userId, "--userid"));
    if (!built) throw UsageError{"--userid is at most 31 bytes in GBK"};
    record = std::string(built->begin(), built->end());
  } else if (recordHex) {
    record = recordHex->size() == 2 * kUserIdRecordSize ? ftnd::FromHex(*recordHex) : std::nullopt;
    if (!record) throw UsageError{"--record-hex is 64 hex digits"};
  }
  if (record) image.directories.push_back({kUserIdDirectory, {{kUserIdFileId, *record}}});
  return image;
}

// Bytes as the console shows text, or a note when they are not GBK text.
std::string Shown(const std::string& gbk, const Platform& platform) {
  if (!bidder::GbkToUtf8(gbk)) return "(not GBK text)";
  return "\"" + platform.toConsoleText(gbk) + "\"";
}

void Show(const ftnd::TokenImage& image, const Platform& platform, std::ostream& out) {
  if (image.serialProperty) {
    out << "serial number: " << SerialNumberText(*image.serialProperty) << " (property 7: "
        << ftnd::ToHex(*image.serialProperty) << ")\n";
  } else {
    out << "serial number: none (property 7 absent)\n";
  }
  out << "user PIN: " << Shown(image.userPin, platform) << " (" << ftnd::ToHex(image.userPin) << ")\n";
  out << "fixed code: " << Shown(image.fixedCode, platform) << " (" << ftnd::ToHex(image.fixedCode) << ")\n";
  for (const ftnd::TokenDirectory& dir : image.directories) {
    out << "directory " << dir.name << "\n";
    for (const ftnd::TokenFile& file : dir.files) {
      out << "  file " << file.id << ": " << file.bytes.size() << " bytes " << ftnd::ToHex(file.bytes) << "\n";
    }
  }
  const ftnd::TokenDirectory* dir = image.FindDirectory(kUserIdDirectory);
  const ftnd::TokenFile* file = dir ? dir->FindFile(kUserIdFileId) : nullptr;
  if (file) {
    // What the control reads: the first 32 bytes, a shorter file reading as zeros.
    UserIdRecord record{};
    for (std::size_t i = 0; i < record.size() && i < file->bytes.size(); ++i) {
      record[i] = static_cast<std::uint8_t>(file->bytes[i]);
    }
    const std::string userId = UserIdFromRecord(record);
    out << "USERID: " << Shown(userId, platform) << " (" << userId.size() << " bytes " << ftnd::ToHex(userId)
        << ")\n";
  } else {
    out << "USERID: none (no file 3 in directory vorla)\n";
  }
  out << "faults:";
  if (image.faults.empty()) out << " none";
  for (std::size_t i = 0; i < image.faults.size(); ++i) out << (i ? ", " : " ") << ftnd::FaultName(image.faults[i]);
  out << "\n";
}

std::optional<std::string> ReadImageFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > ftnd::kMaxImageBytes) return std::nullopt;
  }
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

int RunToken(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err) {
  const std::string action = args.size() > 1 ? args[1] : "";
  if (action == "init") {
    std::string imageArg;
    const ftnd::TokenImage image = ParseInit(args, imageArg);
    const auto path = platform.toFilePath(imageArg);
    std::ofstream file;
    if (path) file.open(*path, std::ios::binary | std::ios::trunc);
    const std::string text = ftnd::FormatTokenImage(image);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!path || !file) {
      err << "lockvale: cannot write the token image " << imageArg << "\n";
      return kExitFailure;
    }
    return kExitOk;
  }
  if (action == "show") {
    if (args.size() != 3) throw UsageError{"token show takes one token image"};
    const auto path = platform.toFilePath(args[2]);
    const auto bytes = path ? ReadImageFile(*path) : std::nullopt;
    if (!bytes) {
      err << "lockvale: cannot read the token image " << args[2] << "\n";
      return kExitFailure;
    }
    const ftnd::ParsedTokenImage parsed = ftnd::ParseTokenImage(*bytes);
    if (!parsed.image) {
      err << "lockvale: " << args[2] << " is not a token image: " << parsed.error << "\n";
      return kExitFailure;
    }
    Show(*parsed.image, platform, out);
    return kExitOk;
  }
  throw UsageError{"token init or token show"};
}

}  // namespace lockvale::cli
