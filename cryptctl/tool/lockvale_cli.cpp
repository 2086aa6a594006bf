#include "tool/lockvale_cli.h"

#include "cipher/file_cipher.h"
#include "cli/read_whole_file.h"
#include "messages.h"
#include "text/codepage.h"
#include "tool/token_command.h"
#include "tool/usage_error.h"

namespace lockvale::cli {
namespace {

// A key string is a pass phrase or a token's USERID: no real one comes near
// this. Reading stops here, so a device or a pipe named as the key file
// cannot take the process's memory.
constexpr std::size_t kMaxKeyFileBytes = 64 * 1024;

constexpr char kUsage[] =
    "usage: lockvale encrypt|decrypt SRC DST KEY [--key-bits 128|40]\n"
    "  KEY is exactly one of:\n"
    "    --pass TEXT                 a pass phrase (hashed as GBK text unless\n"
    "                                --pass-encoding utf-8 is given)\n"
    "    --key-file FILE             the key string's raw bytes\n"
    "    --empty-key                 the empty key string\n"
    "  --key-bits 40 reads files made where the RC4 key length was 40 bits.\n";

struct CipherCommand {
  FileCipherDirection direction = FileCipherDirection::kEncrypt;
  std::string source, destination;
  std::optional<std::string> pass, keyFile;
  bool emptyKey = false;
  std::string passEncoding = "gbk";
  KeyBits keyBits = KeyBits::k128;
};

CipherCommand ParseCipher(const std::vector<std::string>& args) {
  CipherCommand cmd;
  cmd.direction = args[0] == "encrypt" ? FileCipherDirection::kEncrypt : FileCipherDirection::kDecrypt;
  std::vector<std::string> positional;
  int keyOptions = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--pass") {
      cmd.pass = value();
      ++keyOptions;
    } else if (a == "--key-file") {
      cmd.keyFile = value();
      ++keyOptions;
    } else if (a == "--empty-key") {
      cmd.emptyKey = true;
      ++keyOptions;
    } else if (a == "--pass-encoding") {
      cmd.passEncoding = value();
      if (cmd.passEncoding != "gbk" && cmd.passEncoding != "utf-8") throw UsageError{"--pass-encoding is gbk or utf-8"};
    } else if (a == "--key-bits") {
      const std::string& bits = value();
      if (bits == "128") cmd.keyBits = KeyBits::k128;
      else if (bits == "40") cmd.keyBits = KeyBits::k40;
      else throw UsageError{"--key-bits is 128 or 40"};
    } else if (a == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option " + a};
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) throw UsageError{"give a source and a destination"};
  if (keyOptions != 1) throw UsageError{"give exactly one of --pass, --key-file, --empty-key"};
  if (cmd.passEncoding != "gbk" && !cmd.pass) throw UsageError{"--pass-encoding goes with --pass"};
  cmd.source = positional[0];
  cmd.destination = positional[1];
  return cmd;
}


int RunCipher(const std::vector<std::string>& args, const Platform& platform, std::ostream& err) {
  const CipherCommand cmd = ParseCipher(args);

  std::string keyString;
  if (cmd.pass) {
    if (cmd.passEncoding == "utf-8") {
      keyString = *cmd.pass;
    } else {
      auto gbk = bidder::Utf8ToGbk(*cmd.pass);
      if (!gbk) throw UsageError{"the pass phrase has characters that GBK cannot express"};
      keyString = std::move(*gbk);
    }
  } else if (cmd.keyFile) {
    using bidder::cli::FileReadStatus;
    auto path = platform.toFilePath(*cmd.keyFile);
    auto file = path ? bidder::cli::ReadWholeFile(*path, kMaxKeyFileBytes) : bidder::cli::FileRead{};
    if (file.status == FileReadStatus::kTooLarge) {
      err << "lockvale: the key file " << *cmd.keyFile << " is larger than " << kMaxKeyFileBytes << " bytes\n";
      return kExitFailure;
    }
    if (file.status != FileReadStatus::kRead) {
      err << "lockvale: cannot read the key file " << *cmd.keyFile << "\n";
      return kExitFailure;
    }
    keyString = std::move(file.bytes);
  }

  // A path the platform cannot express fails as a name the file system rejects.
  auto source = platform.toFilePath(cmd.source);
  auto destination = platform.toFilePath(cmd.destination);
  std::string message;
  if (!source) message = msg::kSourceNameWrong;
  else if (!destination) message = msg::kDestinationNameWrong;
  else message = TransformFile(*source, *destination, keyString, cmd.direction, cmd.keyBits);

  if (message.empty()) return kExitOk;
  err << platform.toConsoleText(message) << "\n";
  return kExitFailure;
}

}  // namespace

int Run(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw UsageError{};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
      out << kUsage << kTokenUsage;
      return kExitOk;
    }
    if (command == "encrypt" || command == "decrypt") return RunCipher(args, platform, err);
    if (command == "token") return RunToken(args, platform, out, err);
    throw UsageError{"unknown command " + command};
  } catch (const UsageError& e) {
    if (!e.why.empty()) err << "lockvale: " << e.why << "\n";
    err << kUsage << kTokenUsage;
    return kExitUsage;
  } catch (const std::exception& e) {
    err << "lockvale: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace lockvale::cli
