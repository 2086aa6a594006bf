#include "text/codepage.h"
#ifdef _WIN32
#include "text/codepage_win32.h"
#endif

#include <gtest/gtest.h>

namespace {

TEST(Codepage, RoundTripsChineseAndAscii) {
  const std::string utf8 = "\xe6\x8b\x9b\xe6\xa0\x87 tender 2026";  // 招标 tender 2026
  auto gbk = bidder::Utf8ToGbk(utf8);
  ASSERT_TRUE(gbk);
  EXPECT_EQ(*gbk, "\xd5\xd0\xb1\xea tender 2026");
  EXPECT_EQ(bidder::GbkToUtf8(*gbk), utf8);
  EXPECT_EQ(bidder::Utf8ToGbk(""), "");
}

TEST(Codepage, EuroSignFollowsCodePage936) {
  EXPECT_EQ(bidder::Utf8ToGbk("\xe2\x82\xac"), "\x80");
}

TEST(Codepage, RefusesWhatTheTargetCannotExpress) {
  EXPECT_FALSE(bidder::Utf8ToGbk("\xe0\xb8\x81"));      // Thai ko kai: not in GBK
  EXPECT_FALSE(bidder::Utf8ToGbk("\xf0\x9f\x94\x91"));  // an emoji
  EXPECT_FALSE(bidder::Utf8ToGbk("\xff\xfe"));          // not UTF-8
  EXPECT_FALSE(bidder::GbkToUtf8("\xd5"));              // a lead byte alone
}

#ifdef _WIN32
TEST(Codepage, NeverBestFitsToALookAlike) {
  // Code page 936 has no A with grave nor yen sign; Windows would otherwise
  // write a with grave and the full-width yen sign in their place.
  EXPECT_FALSE(bidder::WideToCodePage(L"plain\u00c0.bin", 936));
  EXPECT_FALSE(bidder::WideToCodePage(L"\u00a5", 936));
  EXPECT_EQ(bidder::WideToCodePage(L"\u00e0", 936), "\xa8\xa4");
}
#endif

}  // namespace
