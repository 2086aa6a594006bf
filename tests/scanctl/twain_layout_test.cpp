// The TWAIN structures as the build of each architecture lays them out,
// against the TWAIN 1.x layout that every data source manager and source was
// compiled with: fields packed on 2-byte boundaries, handles and memory
// references pointer-sized. The fake manager and the virtual scanner are
// built from the same header, so a packing fault would pass every other test
// here and only show against a real scanner's source.
#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "twain/twain_api.h"

namespace {

constexpr std::size_t kPointer = sizeof(void*);

struct FieldCase {
  const char* field;
  std::size_t offset;
  std::size_t expected;
};

#define TW_FIELD(type, member, expected) \
  FieldCase { #type "." #member, offsetof(type, member), expected }

TEST(TwainLayout, StructuresHaveTheTwain1SizesOnThisArchitecture) {
  struct SizeCase {
    const char* type;
    std::size_t size;
    std::size_t expected;
  };
  const SizeCase cases[] = {
      {"TW_FIX32", sizeof(TW_FIX32), 4},
      {"TW_VERSION", sizeof(TW_VERSION), 42},
      {"TW_IDENTITY", sizeof(TW_IDENTITY), 156},
      {"TW_IMAGEINFO", sizeof(TW_IMAGEINFO), 42},
      {"TW_ONEVALUE", sizeof(TW_ONEVALUE), 6},
      {"TW_PENDINGXFERS", sizeof(TW_PENDINGXFERS), 6},
      {"TW_STATUS", sizeof(TW_STATUS), 4},
      {"TW_CAPABILITY", sizeof(TW_CAPABILITY), 4 + kPointer},
      {"TW_USERINTERFACE", sizeof(TW_USERINTERFACE), 4 + kPointer},
      {"TW_EVENT", sizeof(TW_EVENT), kPointer + 2},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(c.size, c.expected) << c.type;
}

TEST(TwainLayout, FieldsSitWhereTwain1PutsThem) {
  const FieldCase cases[] = {
      TW_FIELD(TW_VERSION, MinorNum, 2),
      TW_FIELD(TW_VERSION, Country, 6),
      TW_FIELD(TW_VERSION, Info, 8),
      TW_FIELD(TW_IDENTITY, Version, 4),
      TW_FIELD(TW_IDENTITY, ProtocolMajor, 46),
      TW_FIELD(TW_IDENTITY, ProtocolMinor, 48),
      // A 4-byte field on a 2-byte boundary: the first that natural alignment moves.
      TW_FIELD(TW_IDENTITY, SupportedGroups, 50),
      TW_FIELD(TW_IDENTITY, Manufacturer, 54),
      TW_FIELD(TW_IDENTITY, ProductFamily, 88),
      TW_FIELD(TW_IDENTITY, ProductName, 122),
      TW_FIELD(TW_IMAGEINFO, ImageWidth, 8),
      TW_FIELD(TW_IMAGEINFO, ImageLength, 12),
      TW_FIELD(TW_IMAGEINFO, SamplesPerPixel, 16),
      TW_FIELD(TW_IMAGEINFO, BitsPerSample, 18),
      TW_FIELD(TW_IMAGEINFO, BitsPerPixel, 34),
      TW_FIELD(TW_IMAGEINFO, Planar, 36),
      TW_FIELD(TW_IMAGEINFO, PixelType, 38),
      TW_FIELD(TW_IMAGEINFO, Compression, 40),
      TW_FIELD(TW_ONEVALUE, Item, 2),
      TW_FIELD(TW_PENDINGXFERS, u, 2),
      TW_FIELD(TW_CAPABILITY, ConType, 2),
      TW_FIELD(TW_CAPABILITY, hContainer, 4),
      TW_FIELD(TW_USERINTERFACE, ModalUI, 2),
      TW_FIELD(TW_USERINTERFACE, hParent, 4),
      TW_FIELD(TW_EVENT, TWMessage, kPointer),
  };
  for (const FieldCase& c : cases) EXPECT_EQ(c.offset, c.expected) << c.field;
}

// The manager's and a source's entry points are called with the platform
// APIs' convention (stdcall on x86): a cdecl pointer type here would leave the
// stack unbalanced after every call into a real manager.
static_assert(std::is_same_v<DSMENTRYPROC, TW_UINT16(WINAPI*)(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16,
                                                              TW_UINT16, TW_MEMREF)>,
              "DSM_Entry is a WINAPI function");
static_assert(std::is_same_v<DSENTRYPROC,
                             TW_UINT16(WINAPI*)(pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF)>,
              "DS_Entry is a WINAPI function");

}  // namespace
