#pragma once
// The control's extent through a stream, in the record of extent_record.h,
// shared by IPersistStreamInit and IPersistStorage (stream "Contents").
//
// A control may put a version word of its own first (a 32-bit value, the
// major version in the high 16 bits): state stored by an older version of
// the control is read and converted, a newer major version is refused.
#include <windows.h>
#include <ole2.h>
#include <objidl.h>

#include "extent_record.h"

namespace ax {

inline constexpr DWORD kExtentStreamVersion = kExtentRecordVersion;
inline constexpr ULONG kExtentStreamSize = kExtentRecordSize;

HRESULT SaveExtent(IStream* stream, const SIZEL& extent);
// STG_E_READFAULT when the stream ends before the record does, E_FAIL for a
// record that is refused; the extent is left as it was on any failure.
HRESULT LoadExtent(IStream* stream, SIZEL& extent);

HRESULT SaveControlVersion(IStream* stream, DWORD version);
// Reads the stored version word; fails without data or when its major
// version is above `current`'s.
HRESULT LoadControlVersion(IStream* stream, DWORD current);

}  // namespace ax
