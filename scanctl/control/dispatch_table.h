#pragma once
// The dispatch table of _DFolvane: the position of an entry is its DISPID,
// so the order is the interface. PDFList holds DISPID 2 without being in
// the type library.
#include <array>

#include "axframework/table_dispatch.h"

namespace folvane {

class CFolvaneCtrl;

inline constexpr std::size_t kFolvaneMethodCount = 6;
extern const std::array<ax::DispatchMethod<CFolvaneCtrl>, kFolvaneMethodCount> kFolvaneDispatchTable;

}  // namespace folvane
