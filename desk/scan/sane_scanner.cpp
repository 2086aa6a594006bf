// The scanner backend on SANE: which device, which options, then the page
// loop. The SANE calls themselves are in sane_device.cpp.
#include "desk/scan/sane_scanner.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <variant>

#include "desk/scan/sane_device.h"
#include "desk/scan/scan_loop.h"
#include "desk/scan/scan_options.h"
#include "desk/scan/scan_texts.h"

namespace bidder::desk {
namespace {

using rpc::ErrorReason;

// The scan's plan once the device's options are set, or why it cannot run.
using Configured = std::variant<ScanPlan, ScanOutcome>;

void SetIfOffered(SaneDevice& device, std::string_view name, const OptionValue& value) {
  const std::vector<DeviceOption> options = device.Options();
  if (const DeviceOption* option = FindOption(options, name)) device.Set(*option, value);
}

Configured Configure(SaneDevice& device, const ScanSettings& settings, const std::vector<SaneOptionPreset>& presets) {
  // Source first, then mode, then depth: each may change what the next offers.
  // A setting the device refuses leaves its own value; what is set is read
  // back below, so the scan follows the device, not the request.
  if (settings.source) {
    const auto source = ChooseSource(device.Options(), *settings.source);
    if (source) {
      SetIfOffered(device, kSourceOption, *source);
    } else if (*settings.source == ScanSource::kFeeder) {
      return ScanOutcome{0, ErrorReason::kScanner, scan_text::kNoFeederText};
    }
    // A flatbed asked of a feeder-only device: the device's own source.
  }
  const auto mode = ChooseMode(device.Options(), settings.mode);
  if (mode) SetIfOffered(device, kModeOption, mode->value);
  if (const auto depth = ChooseDepth(device.Options(), settings.mode, mode && mode->bilevel))
    SetIfOffered(device, kDepthOption, static_cast<double>(*depth));
  if (settings.resolution) {
    const std::vector<DeviceOption> options = device.Options();
    if (const DeviceOption* option = FindOption(options, kResolutionOption)) {
      if (const auto dpi = NearestResolution(*option, *settings.resolution)) device.Set(*option, *dpi);
    }
  }
  for (const SaneOptionPreset& preset : presets) {
    const std::vector<DeviceOption> options = device.Options();
    const DeviceOption* option = FindOption(options, preset.name);
    if (!option || !option->Usable()) continue;
    if (const auto value = ParseOptionText(*option, preset.value)) device.Set(*option, *value);
  }

  ScanPlan plan;
  plan.bilevelFromGrey = settings.mode == ScanMode::kBlackWhite;
  const std::vector<DeviceOption> options = device.Options();
  if (const DeviceOption* source = FindOption(options, kSourceOption)) {
    const auto value = device.Get(*source);
    plan.feeder = value && std::holds_alternative<std::string>(*value) && IsFeederSource(std::get<std::string>(*value));
  }
  if (const DeviceOption* resolution = FindOption(options, kResolutionOption)) {
    const auto value = device.Get(*resolution);
    if (value && std::holds_alternative<double>(*value)) plan.dpi = std::get<double>(*value);
  }
  return plan;
}

class SaneScanners final : public ScannerBackend {
 public:
  SaneScanners(std::shared_ptr<SaneLibrary> library, std::vector<SaneOptionPreset> presets)
      : m_library(std::move(library)), m_presets(std::move(presets)) {}

  std::vector<ScannerEntry> List() override {
    if (!m_library) return {};
    {
      // Backends are not made to list devices while one of theirs scans on
      // another thread: a page that asks meanwhile gets the last list.
      std::lock_guard lock(m_runningMutex);
      if (m_running) return m_lastEntries;
    }
    std::vector<ScannerEntry> entries;
    {
      std::lock_guard opening(m_openingMutex);
      entries = m_library->Devices();
    }
    if (!entries.empty()) entries.front().isDefault = true;
    std::lock_guard lock(m_runningMutex);
    m_lastEntries = entries;
    return entries;
  }

  ScanOutcome Scan(const ScanSettings& settings, ScanSink& sink) override {
    m_cancelRequested = false;
    if (!m_library) return ScanOutcome{0, ErrorReason::kNoScanner, {}};
    // Listing and opening are not overlapped with a page's List().
    std::unique_lock opening(m_openingMutex);
    const std::vector<ScannerEntry> entries = m_library->Devices();
    std::string name;
    if (settings.scanner) {
      const bool known = std::any_of(entries.begin(), entries.end(),
                                     [&](const ScannerEntry& entry) { return entry.id == *settings.scanner; });
      if (known) name = *settings.scanner;
    } else if (!entries.empty()) {
      name = entries.front().id;
    }
    if (name.empty()) return ScanOutcome{0, ErrorReason::kNoScanner, {}};

    DeviceStatus status = DeviceStatus::kGood;
    std::unique_ptr<SaneDevice> device = SaneDevice::Open(m_library, name, status);
    if (!device) {
      // Gone since the list was read: as if it had never been there.
      if (status == DeviceStatus::kInvalid) return ScanOutcome{0, ErrorReason::kNoScanner, {}};
      return FaultOutcome(status, 0, sink);
    }
    {
      std::lock_guard lock(m_runningMutex);
      m_running = device.get();
    }
    opening.unlock();
    Configured configured = Configure(*device, settings, m_presets);
    ScanOutcome outcome = std::holds_alternative<ScanOutcome>(configured)
                              ? std::get<ScanOutcome>(configured)
                              : RunScanLoop(*device, std::get<ScanPlan>(configured), sink, m_cancelRequested);
    {
      std::lock_guard lock(m_runningMutex);
      m_running = nullptr;
    }
    // Ends the device's batch, whatever state the loop left it in.
    device->Cancel();
    return outcome;
  }

  void Cancel() override {
    m_cancelRequested = true;
    std::lock_guard lock(m_runningMutex);
    if (m_running) m_running->Cancel();
  }

 private:
  std::shared_ptr<SaneLibrary> m_library;  // null: sane_init failed
  std::vector<SaneOptionPreset> m_presets;
  std::atomic<bool> m_cancelRequested{false};
  std::mutex m_runningMutex;
  SaneDevice* m_running = nullptr;  // the open device of the scan under way
  std::vector<ScannerEntry> m_lastEntries;
  std::mutex m_openingMutex;  // held while devices are listed or one is opened
};

}  // namespace

std::unique_ptr<ScannerBackend> OpenSaneScanners(std::vector<SaneOptionPreset> presets) {
  return std::make_unique<SaneScanners>(SaneLibrary::Acquire(), std::move(presets));
}

std::unique_ptr<ScannerBackend> OpenSaneScanners() { return OpenSaneScanners({}); }

}  // namespace bidder::desk
