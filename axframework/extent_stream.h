#pragma once
// The control's extent through a stream, in the record of extent_record.h.
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

}  // namespace ax
