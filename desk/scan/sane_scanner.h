#pragma once
// The SANE scanner backend's extras beyond scanner.h.
#include <memory>
#include <string>
#include <vector>

#include "desk/scan/scanner.h"

namespace bidder::desk {

// A value for a device's own option, by its SANE name, given as text ("yes",
// "300", "/path/page.ppm"): set after the scan's own settings on every device
// that has the option settable, and ignored by the others. For devices that
// need a setting of their own, and for tests.
struct SaneOptionPreset {
  std::string name;
  std::string value;
};

std::unique_ptr<ScannerBackend> OpenSaneScanners(std::vector<SaneOptionPreset> presets);

}  // namespace bidder::desk
