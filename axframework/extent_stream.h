#pragma once
// The persisted form of a control's extent, shared by IPersistStreamInit and
// IPersistStorage (stream "Contents"): a 32-bit format version (0x0800), then
// the width and the height, each as a VARTYPE (VT_UI4) and a 32-bit value,
// little-endian. Versions above 0x0800 are refused; VT_I4 values are read too.
#include <windows.h>
#include <ole2.h>
#include <objidl.h>

namespace ax {

inline constexpr DWORD kExtentStreamVersion = 0x0800;
inline constexpr ULONG kExtentStreamSize = 4 + 2 * (2 + 4);

HRESULT SaveExtent(IStream* stream, const SIZEL& extent);
HRESULT LoadExtent(IStream* stream, SIZEL& extent);

}  // namespace ax
