#pragma once
// The persisted form of a control's extent, shared by IPersistStreamInit and
// IPersistStorage (stream "Contents"): a 32-bit format version (0x0800), then
// the width and the height, each as a VARTYPE (VT_UI4) and a 32-bit value,
// little-endian. Versions above 0x0800 are refused; VT_I4 values are read too.
//
// A control may put a version word of its own first (a 32-bit value, the
// major version in the high 16 bits): state stored by an older version of
// the control is read and converted, a newer major version is refused.
#include <windows.h>
#include <ole2.h>
#include <objidl.h>

namespace ax {

inline constexpr DWORD kExtentStreamVersion = 0x0800;
inline constexpr ULONG kExtentStreamSize = 4 + 2 * (2 + 4);

HRESULT SaveExtent(IStream* stream, const SIZEL& extent);
HRESULT LoadExtent(IStream* stream, SIZEL& extent);

HRESULT SaveControlVersion(IStream* stream, DWORD version);
// Reads the stored version word; fails without data or when its major
// version is above `current`'s.
HRESULT LoadControlVersion(IStream* stream, DWORD current);

}  // namespace ax
