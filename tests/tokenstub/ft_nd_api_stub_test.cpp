// The stand-in library called directly, the way a careless or hostile caller
// might: it must fail cleanly, never crash, and keep a real token's rules.
#include <gtest/gtest.h>

#include <cstdint>

#include "support/virtual_token.h"
#include "token/ft_nd_api.h"

namespace {

using bidder::test::VirtualToken;

EPAS_HANDLE OpenContext() {
  EPAS_HANDLE context = nullptr;
  EXPECT_EQ(epas_CreateContext(&context, 0, 0x100), EPAS_OK);
  EXPECT_EQ(epas_OpenDevice(context, 1, 0), EPAS_OK);
  return context;
}

TEST(FtNdApiStub, WrongHandlesAndArgumentsFailWithoutCrashing) {
  VirtualToken token;
  token.Plug(VirtualToken::Typical());
  const EPAS_HANDLE bogus = reinterpret_cast<EPAS_HANDLE>(static_cast<std::uintptr_t>(0xdead0000));
  unsigned char buffer[32] = {};
  std::uint32_t count = 0;
  EXPECT_NE(epas_CreateContext(nullptr, 0, 0x100), EPAS_OK);
  EXPECT_NE(epas_OpenDevice(bogus, 1, 0), EPAS_OK);
  EXPECT_NE(epas_Verify(bogus, 0, buffer, 4), EPAS_OK);
  EXPECT_NE(epas_GetProperty(nullptr, 7, 0, buffer, 8), EPAS_OK);
  EXPECT_NE(epas_ChangeDir(bogus, 0x300, 0, "vorla"), EPAS_OK);
  EXPECT_NE(epas_OpenFile(bogus, 0x10, 3, buffer, 32), EPAS_OK);
  EXPECT_NE(epas_Read(bogus, 0, 0, buffer, 32, &count), EPAS_OK);
  EXPECT_NE(epas_CloseDevice(bogus), EPAS_OK);
  EXPECT_NE(epas_DeleteContext(bogus), EPAS_OK);

  EPAS_HANDLE context = OpenContext();
  EXPECT_NE(epas_OpenDevice(context, 1, 0), EPAS_OK);  // already open
  EXPECT_NE(epas_Verify(context, 0, nullptr, 4), EPAS_OK);
  EXPECT_NE(epas_Verify(context, 2, buffer, 0), EPAS_OK);
  EXPECT_NE(epas_GetProperty(context, 7, 0, nullptr, 8), EPAS_OK);
  EXPECT_NE(epas_GetProperty(context, 8, 0, buffer, 8), EPAS_OK);
  EXPECT_NE(epas_ChangeDir(context, 0x300, 0, nullptr), EPAS_OK);
  EXPECT_NE(epas_OpenFile(context, 0x10, 3, buffer, 44), EPAS_OK);  // no directory selected
  EXPECT_NE(epas_Read(context, 0, 0, buffer, 32, &count), EPAS_OK);  // no file open
  EXPECT_EQ(epas_CloseDevice(context), EPAS_OK);
  EXPECT_NE(epas_CloseDevice(context), EPAS_OK);  // not open any more
  EXPECT_NE(epas_Verify(context, 1, reinterpret_cast<const unsigned char*>("tarvik"), 6), EPAS_OK);
  EXPECT_EQ(epas_DeleteContext(context), EPAS_OK);
  EXPECT_NE(epas_DeleteContext(context), EPAS_OK);  // stale
}

TEST(FtNdApiStub, ReadingAFileNeedsAVerifiedCode) {
  VirtualToken token;
  token.Plug(VirtualToken::Typical());
  EPAS_HANDLE context = OpenContext();
  unsigned char info[44];
  char buffer[40] = {};
  std::uint32_t count = 99;
  ASSERT_EQ(epas_ChangeDir(context, 0x300, 0, "vorla"), EPAS_OK);
  ASSERT_EQ(epas_OpenFile(context, 0x10, 3, info, sizeof info), EPAS_OK);
  EXPECT_NE(epas_Read(context, 0, 0, buffer, 32, &count), EPAS_OK);
  EXPECT_NE(epas_Verify(context, 1, reinterpret_cast<const unsigned char*>("tarvi"), 5), EPAS_OK);
  EXPECT_NE(epas_Read(context, 0, 0, buffer, 32, &count), EPAS_OK);
  ASSERT_EQ(epas_Verify(context, 1, reinterpret_cast<const unsigned char*>("tarvik"), 6), EPAS_OK);
  // The length asked for bounds what is written; the count says what came.
  ASSERT_EQ(epas_Read(context, 0, 0, buffer, 7, &count), EPAS_OK);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "BIDDER7" + std::string(33, '\0'));
  ASSERT_EQ(epas_Read(context, 0, 30, buffer, 32, &count), EPAS_OK);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(epas_Read(context, 0, 4000, buffer, 32, nullptr), EPAS_OK);
  epas_CloseDevice(context);
  epas_DeleteContext(context);
}

TEST(FtNdApiStub, AnUnreadableImageIsNoToken) {
  VirtualToken token;
  for (const char* text : {"", "FT_ND_API token image 1\nbroken\n", "\xff\xfe garbage"}) {
    token.PlugRaw(text);
    EPAS_HANDLE context = nullptr;
    ASSERT_EQ(epas_CreateContext(&context, 0, 0x100), EPAS_OK);
    EXPECT_NE(epas_OpenDevice(context, 1, 0), EPAS_OK) << text;
    EXPECT_EQ(epas_DeleteContext(context), EPAS_OK);
  }
}

}  // namespace
