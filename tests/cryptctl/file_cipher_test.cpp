#include "cipher/file_cipher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "messages.h"
#include "support/temp_dir.h"
#include "text/codepage.h"

namespace lockvale {
namespace {

using bidder::test::ReadFile;
using bidder::test::TempDir;
using bidder::test::WriteFile;

std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}
std::string Hex(const std::string& s) { return Hex(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }

std::string Md5Hex(std::string_view text) {
  Md5Digest d{};
  EXPECT_TRUE(ComputeMd5({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, d));
  return Hex(d.data(), d.size());
}

// Bytes that show any misplaced offset: no two 256-byte windows are alike.
std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 256) & 0xff);
  return s;
}

// The key stream in one piece, for comparing against the chunked file transform.
std::string KeyStream(std::string_view keyString, std::size_t n, KeyBits bits = KeyBits::k128) {
  CipherSetup status{};
  auto key = CipherKey::Derive(keyString, bits, status);
  EXPECT_EQ(status, CipherSetup::kOk);
  std::string s(n, '\0');
  if (key) {
    EXPECT_TRUE(key->Apply(reinterpret_cast<std::uint8_t*>(s.data()), n, true, FileCipherDirection::kEncrypt));
  }
  return s;
}

TEST(Primitives, Md5KnownAnswers) {  // RFC 1321, appendix A.5
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Primitives, Rc4KnownAnswer) {  // RFC 6229, 128-bit key 0x0102...10, offsets 0 and 16
  std::array<std::uint8_t, 16> raw{};
  for (int i = 0; i < 16; ++i) raw[i] = static_cast<std::uint8_t>(i + 1);
  CipherSetup status{};
  auto key = CipherKey::FromRawKey(raw, status);
  ASSERT_TRUE(key);
  std::vector<std::uint8_t> stream(32, 0);
  // Two calls: the state must run on between them.
  ASSERT_TRUE(key->Apply(stream.data(), 7, false, FileCipherDirection::kEncrypt));
  ASSERT_TRUE(key->Apply(stream.data() + 7, 25, true, FileCipherDirection::kEncrypt));
  EXPECT_EQ(Hex(stream.data(), 32),
            "9ac7cc9a609d1ef7b2932899cde41b97"
            "5248c4959014126a6e8a84f11d1a9e1c");
}

TEST(Primitives, KeyIsTheWholeMd5Digest) {
  // RC4 keyed with MD5("abc") and with MD5(""), as the openssl command computes them.
  EXPECT_EQ(Hex(KeyStream("abc", 32)), "2be4e9c0308482ea75ae551293fbbdad4c97c516b61dc20e825290767707d33a");
  EXPECT_EQ(Hex(KeyStream("", 32)), "656cd37bb49901240d9f0f0fb9c5875d1b971cf716f1f4e34cddb48ab0253177");
}

TEST(Primitives, FortyBitKeyIsFiveDigestBytesThenZeros) {
  Md5Digest digest{};
  ASSERT_TRUE(ComputeMd5({reinterpret_cast<const std::uint8_t*>("abc"), 3}, digest));
  std::array<std::uint8_t, 16> raw{};
  std::copy_n(digest.begin(), 5, raw.begin());
  CipherSetup status{};
  auto key = CipherKey::FromRawKey(raw, status);
  ASSERT_TRUE(key);
  std::string expected(64, '\0');
  key->Apply(reinterpret_cast<std::uint8_t*>(expected.data()), expected.size(), true, FileCipherDirection::kEncrypt);
  EXPECT_EQ(KeyStream("abc", 64, KeyBits::k40), expected);
  EXPECT_NE(KeyStream("abc", 64, KeyBits::k128), expected);
}

TEST(Messages, AreTheControlsGbkTexts) {
  EXPECT_EQ(bidder::GbkToUtf8(msg::kSourceNameWrong), "\xe6\xba\x90\xe6\x96\x87\xe4\xbb\xb6\xe5\x90\x8d\xe7\xa7\xb0\xe6\x9c\x89\xe8\xaf\xaf");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kDestinationNameWrong),
            "\xe7\x9b\xae\xe6\xa0\x87\xe6\x96\x87\xe4\xbb\xb6\xe5\x90\x8d\xe7\xa7\xb0\xe6\x9c\x89\xe8\xaf\xaf");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kSetupFailed), "\xe5\xbb\xba\xe7\xab\x8b\xe5\xa4\xb1\xe8\xb4\xa5");
}

// Sizes around the 1000-byte chunk: empty, short, exact, one over, a last partial chunk.
class FileSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FileSizes, EncryptIsTheKeyStreamAndDecryptGivesThePlainFileBack) {
  TempDir dir;
  const std::string plain = Pattern(GetParam());
  WriteFile(dir / "plain", plain);

  ASSERT_EQ(TransformFile(dir / "plain", dir / "enc", "tender-key", FileCipherDirection::kEncrypt), "");
  const std::string encrypted = ReadFile(dir / "enc");
  ASSERT_EQ(encrypted.size(), plain.size());
  const std::string stream = KeyStream("tender-key", plain.size());
  for (std::size_t i = 0; i < plain.size(); ++i) {
    ASSERT_EQ(encrypted[i], static_cast<char>(plain[i] ^ stream[i])) << "byte " << i;
  }

  ASSERT_EQ(TransformFile(dir / "enc", dir / "dec", "tender-key", FileCipherDirection::kDecrypt), "");
  EXPECT_EQ(ReadFile(dir / "dec"), plain);
  // Both directions apply the same stream: encrypting again also restores it.
  ASSERT_EQ(TransformFile(dir / "enc", dir / "again", "tender-key", FileCipherDirection::kEncrypt), "");
  EXPECT_EQ(ReadFile(dir / "again"), plain);
  // Deterministic: no salt, no IV.
  ASSERT_EQ(TransformFile(dir / "plain", dir / "enc2", "tender-key", FileCipherDirection::kEncrypt), "");
  EXPECT_EQ(ReadFile(dir / "enc2"), encrypted);
}

INSTANTIATE_TEST_SUITE_P(AroundTheChunk, FileSizes, ::testing::Values(0, 1, 999, 1000, 1001, 2000, 2500, 70001));

TEST(TransformFile, EmptyKeyStringIsAKeyLikeAnyOther) {
  TempDir dir;
  WriteFile(dir / "plain", std::string(32, '\0'));
  ASSERT_EQ(TransformFile(dir / "plain", dir / "enc", "", FileCipherDirection::kEncrypt), "");
  EXPECT_EQ(Hex(ReadFile(dir / "enc")), "656cd37bb49901240d9f0f0fb9c5875d1b971cf716f1f4e34cddb48ab0253177");
}

TEST(TransformFile, MissingSourceCreatesNoDestination) {
  TempDir dir;
  EXPECT_EQ(TransformFile(dir / "missing", dir / "out", "k", FileCipherDirection::kEncrypt), msg::kSourceNameWrong);
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

TEST(TransformFile, DestinationThatCannotBeOpened) {
  TempDir dir;
  WriteFile(dir / "plain", "data");
  EXPECT_EQ(TransformFile(dir / "plain", dir / "no-such-dir/out", "k", FileCipherDirection::kEncrypt),
            msg::kDestinationNameWrong);
  EXPECT_EQ(TransformFile(dir / "plain", dir.path().string(), "k", FileCipherDirection::kEncrypt),
            msg::kDestinationNameWrong);
}

TEST(TransformFile, NeverEmptiesTheSourceThroughAnotherSpellingOfItsName) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "sub");
  const std::string plain = Pattern(3000);
  WriteFile(dir / "sub/file", plain);
  std::filesystem::create_hard_link(dir.path() / "sub/file", dir.path() / "link");

  const std::vector<std::string> sameFile = {
      dir / "sub/file",
      dir / "sub/./file",
      dir / "sub/../sub/file",
      dir / "link",
  };
  for (const std::string& destination : sameFile) {
    for (auto direction : {FileCipherDirection::kEncrypt, FileCipherDirection::kDecrypt}) {
      EXPECT_EQ(TransformFile(dir / "sub/file", destination, "k", direction), msg::kDestinationNameWrong) << destination;
      EXPECT_EQ(ReadFile(dir / "sub/file"), plain) << destination;
    }
  }
}

#ifndef _WIN32
TEST(TransformFile, WriteFailureIsNotReportedAsSuccess) {
  TempDir dir;
  WriteFile(dir / "plain", Pattern(5000));
  // Small enough to sit in the file buffer until the destination is closed.
  WriteFile(dir / "small", "abc");
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(TransformFile(dir / "plain", "/dev/full", "k", FileCipherDirection::kEncrypt), msg::kDestinationNameWrong);
  EXPECT_EQ(TransformFile(dir / "small", "/dev/full", "k", FileCipherDirection::kEncrypt), msg::kDestinationNameWrong);
}

#endif

TEST(TransformFile, DirectoryAsSourceLeavesTheDestinationAlone) {
  // POSIX systems open a directory for reading and fail only on the first
  // read: by then "wb" would have emptied the destination.
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "folder");
  WriteFile(dir / "earlier", "earlier contents");
  EXPECT_EQ(TransformFile(dir / "folder", dir / "earlier", "k", FileCipherDirection::kEncrypt), msg::kSourceNameWrong);
  EXPECT_EQ(ReadFile(dir / "earlier"), "earlier contents");
}

}  // namespace
}  // namespace lockvale
