#pragma once
// libsane behind plain C++ types: the library's lifetime, its device list,
// one open device with its options and its frames. The only part of the
// service that includes SANE's header (sane_device.cpp).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desk/scan/scan_device.h"
#include "desk/scan/scan_options.h"
#include "desk/scan/scanner.h"

namespace bidder::desk {

// sane_init, and sane_exit when the last holder lets go: SANE is one per
// process, so every scanner backend in the process shares the one
// initialisation rather than ending another's.
class SaneLibrary {
 public:
  // nullptr when sane_init fails.
  static std::shared_ptr<SaneLibrary> Acquire();
  ~SaneLibrary();
  SaneLibrary(const SaneLibrary&) = delete;
  SaneLibrary& operator=(const SaneLibrary&) = delete;

  // The devices SANE finds now (local and networked), in its order; none
  // marked default.
  std::vector<ScannerEntry> Devices();

 private:
  SaneLibrary() = default;
};

class SaneDevice final : public ScanDevice {
 public:
  // nullptr with `status` telling why the device did not open.
  static std::unique_ptr<SaneDevice> Open(std::shared_ptr<SaneLibrary> library, const std::string& name,
                                          DeviceStatus& status);
  ~SaneDevice() override;  // sane_close
  SaneDevice(const SaneDevice&) = delete;
  SaneDevice& operator=(const SaneDevice&) = delete;

  // The descriptors as they are now; setting one option may change others.
  std::vector<DeviceOption> Options();
  DeviceStatus Set(const DeviceOption& option, const OptionValue& value);
  // The current value of a single-valued option.
  std::optional<OptionValue> Get(const DeviceOption& option);

  DeviceStatus Start() override;
  DeviceStatus Parameters(FrameParameters& parameters) override;
  DeviceStatus Read(std::span<std::uint8_t> into, std::size_t& got) override;
  void Cancel() override;

 private:
  SaneDevice(std::shared_ptr<SaneLibrary> library, void* handle) : m_library(std::move(library)), m_handle(handle) {}

  std::shared_ptr<SaneLibrary> m_library;  // outlives the handle
  void* m_handle;                          // SANE_Handle
};

}  // namespace bidder::desk
