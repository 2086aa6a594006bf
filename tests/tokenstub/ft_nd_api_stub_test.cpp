// The stand-in library called directly, the way a careless or hostile caller
// might: it must fail cleanly, never crash, and keep a real token's rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "support/virtual_token.h"
#include "tokenapi/ft_nd_api.h"

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

#ifdef _WIN32
// A client as the encryption control is one: every function found by its
// undecorated name in FT_ND_API.dll and called through the declared
// convention. On x86 a stdcall caller expects the callee to pop its
// arguments; a function built with another convention leaves the stack
// pointer off after the call, which the check around each call shows (and
// which would corrupt the caller's frame in real use).
std::uintptr_t StackPointer() {
  std::uintptr_t sp = 0;
#if defined(__i386__)
  asm volatile("movl %%esp, %0" : "=r"(sp));
#endif
  return sp;
}

template <class Function, class... Args>
__attribute__((noinline)) bool CallKeepsTheStack(Function function, EPAS_STATUS& status, Args... args) {
  const std::uintptr_t before = StackPointer();
  status = function(args...);
  const std::uintptr_t after = StackPointer();
  return before == after;
}

template <class Function>
Function Lookup(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

TEST(FtNdApiStub, EveryFunctionIsExportedUndecoratedAndKeepsTheCallersStack) {
  VirtualToken token;
  token.Plug(VirtualToken::Typical());
  HMODULE library = LoadLibraryA("FT_ND_API.dll");
  ASSERT_NE(library, nullptr);
  const auto createContext = Lookup<decltype(&epas_CreateContext)>(library, "epas_CreateContext");
  const auto openDevice = Lookup<decltype(&epas_OpenDevice)>(library, "epas_OpenDevice");
  const auto verify = Lookup<decltype(&epas_Verify)>(library, "epas_Verify");
  const auto getProperty = Lookup<decltype(&epas_GetProperty)>(library, "epas_GetProperty");
  const auto changeDir = Lookup<decltype(&epas_ChangeDir)>(library, "epas_ChangeDir");
  const auto openFile = Lookup<decltype(&epas_OpenFile)>(library, "epas_OpenFile");
  const auto read = Lookup<decltype(&epas_Read)>(library, "epas_Read");
  const auto closeDevice = Lookup<decltype(&epas_CloseDevice)>(library, "epas_CloseDevice");
  const auto deleteContext = Lookup<decltype(&epas_DeleteContext)>(library, "epas_DeleteContext");
  ASSERT_TRUE(createContext && openDevice && verify && getProperty && changeDir && openFile && read && closeDevice &&
              deleteContext);

  EPAS_STATUS status = 1;
  EPAS_HANDLE context = nullptr;
  unsigned char serial[8] = {};
  unsigned char info[44] = {};
  char record[33] = {};
  std::uint32_t count = 0;
  EXPECT_TRUE(CallKeepsTheStack(createContext, status, &context, 0u, 0x100u) && status == EPAS_OK);
  EXPECT_TRUE(CallKeepsTheStack(openDevice, status, context, 1u, 0u) && status == EPAS_OK);
  EXPECT_TRUE(CallKeepsTheStack(verify, status, context, EPAS_VERIFY_USER_PIN,
                                reinterpret_cast<const unsigned char*>("1234"), 4u) &&
              status == EPAS_OK);
  EXPECT_TRUE(CallKeepsTheStack(getProperty, status, context, EPAS_PROPERTY_SERIAL_NUMBER, 0u,
                                static_cast<void*>(serial), 4u) &&
              status == EPAS_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(serial), 4), std::string("\xcd\xab\x34\x12", 4));
  EXPECT_TRUE(CallKeepsTheStack(changeDir, status, context, 0x300u, 0u, "vorla") && status == EPAS_OK);
  EXPECT_TRUE(CallKeepsTheStack(openFile, status, context, 0x10u, 3u, static_cast<void*>(info),
                                static_cast<std::uint32_t>(sizeof info)) &&
              status == EPAS_OK);
  EXPECT_TRUE(CallKeepsTheStack(verify, status, context, EPAS_VERIFY_FIXED_CODE,
                                reinterpret_cast<const unsigned char*>("tarvik"), 6u) &&
              status == EPAS_OK);
  EXPECT_TRUE(CallKeepsTheStack(read, status, context, 0u, 0u, static_cast<void*>(record), 32u, &count) &&
              status == EPAS_OK);
  EXPECT_EQ(count, 32u);
  EXPECT_EQ(std::string(record, 7), "BIDDER7");
  EXPECT_TRUE(CallKeepsTheStack(closeDevice, status, context) && status == EPAS_OK);
  EXPECT_TRUE(CallKeepsTheStack(deleteContext, status, context) && status == EPAS_OK);
  FreeLibrary(library);
}
#endif

}  // namespace
