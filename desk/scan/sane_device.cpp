#include "desk/scan/sane_device.h"

#include <sane/sane.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

namespace bidder::desk {
namespace {

DeviceStatus FromSane(SANE_Status status) {
  switch (status) {
    case SANE_STATUS_GOOD: return DeviceStatus::kGood;
    case SANE_STATUS_UNSUPPORTED: return DeviceStatus::kUnsupported;
    case SANE_STATUS_CANCELLED: return DeviceStatus::kCancelled;
    case SANE_STATUS_DEVICE_BUSY: return DeviceStatus::kDeviceBusy;
    case SANE_STATUS_INVAL: return DeviceStatus::kInvalid;
    case SANE_STATUS_EOF: return DeviceStatus::kEof;
    case SANE_STATUS_JAMMED: return DeviceStatus::kJammed;
    case SANE_STATUS_NO_DOCS: return DeviceStatus::kNoDocs;
    case SANE_STATUS_COVER_OPEN: return DeviceStatus::kCoverOpen;
    case SANE_STATUS_IO_ERROR: return DeviceStatus::kIoError;
    case SANE_STATUS_NO_MEM: return DeviceStatus::kNoMemory;
    case SANE_STATUS_ACCESS_DENIED: return DeviceStatus::kAccessDenied;
  }
  return DeviceStatus::kOther;
}

FrameFormat FromSane(SANE_Frame frame) {
  switch (frame) {
    case SANE_FRAME_GRAY: return FrameFormat::kGray;
    case SANE_FRAME_RGB: return FrameFormat::kRgb;
    case SANE_FRAME_RED: return FrameFormat::kRed;
    case SANE_FRAME_GREEN: return FrameFormat::kGreen;
    case SANE_FRAME_BLUE: return FrameFormat::kBlue;
  }
  return FrameFormat::kOther;
}

std::optional<OptionType> FromSane(SANE_Value_Type type) {
  switch (type) {
    case SANE_TYPE_BOOL: return OptionType::kBool;
    case SANE_TYPE_INT: return OptionType::kInt;
    case SANE_TYPE_FIXED: return OptionType::kFixed;
    case SANE_TYPE_STRING: return OptionType::kString;
    case SANE_TYPE_BUTTON: return OptionType::kButton;
    case SANE_TYPE_GROUP: return OptionType::kGroup;
  }
  return std::nullopt;
}

double WordAsNumber(SANE_Word word, OptionType type) {
  return type == OptionType::kFixed ? SANE_UNFIX(word) : static_cast<double>(word);
}

// A number as the option's word; out-of-range values are clamped to what a
// word holds (the device then clamps to what it offers).
SANE_Word NumberAsWord(double number, OptionType type) {
  if (type == OptionType::kFixed) {
    number = std::clamp(number, -32767.0, 32767.0);
    return static_cast<SANE_Word>(std::lround(number * (1 << SANE_FIXED_SCALE_SHIFT)));
  }
  return static_cast<SANE_Word>(std::lround(std::clamp(number, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX))));
}

// Words of an int or fixed option, bytes of a string, as the descriptor's
// size says.
std::size_t ValueCount(const SANE_Option_Descriptor& d) {
  if (d.size <= 0) return 0;
  const auto size = static_cast<std::size_t>(d.size);
  return d.type == SANE_TYPE_INT || d.type == SANE_TYPE_FIXED ? size / sizeof(SANE_Word) : size;
}

void ReadConstraint(const SANE_Option_Descriptor& d, DeviceOption& option) {
  switch (d.constraint_type) {
    case SANE_CONSTRAINT_RANGE:
      if (d.constraint.range && (option.type == OptionType::kInt || option.type == OptionType::kFixed)) {
        option.range = NumericRange{WordAsNumber(d.constraint.range->min, option.type),
                                    WordAsNumber(d.constraint.range->max, option.type),
                                    WordAsNumber(d.constraint.range->quant, option.type)};
      }
      break;
    case SANE_CONSTRAINT_WORD_LIST:
      // The first word counts the ones after it.
      if (d.constraint.word_list && d.constraint.word_list[0] > 0) {
        const SANE_Word count = std::min<SANE_Word>(d.constraint.word_list[0], 4096);
        for (SANE_Word i = 1; i <= count; ++i) option.wordList.push_back(WordAsNumber(d.constraint.word_list[i], option.type));
      }
      break;
    case SANE_CONSTRAINT_STRING_LIST:
      if (d.constraint.string_list) {
        for (const SANE_String_Const* s = d.constraint.string_list; *s && option.stringList.size() < 4096; ++s)
          option.stringList.emplace_back(*s);
      }
      break;
    case SANE_CONSTRAINT_NONE:
      break;
  }
}

// More options than any device has: a count beyond it is a broken one.
constexpr SANE_Int kMaxOptions = 4096;

std::mutex libraryMutex;
int libraryHolders = 0;  // under libraryMutex
// sane_get_devices' list lives until its next call.
std::mutex deviceListMutex;

}  // namespace

std::shared_ptr<SaneLibrary> SaneLibrary::Acquire() {
  std::lock_guard lock(libraryMutex);
  if (libraryHolders == 0) {
    SANE_Int version = 0;
    if (sane_init(&version, nullptr) != SANE_STATUS_GOOD) return nullptr;
  }
  ++libraryHolders;
  return std::shared_ptr<SaneLibrary>(new SaneLibrary());
}

SaneLibrary::~SaneLibrary() {
  std::lock_guard lock(libraryMutex);
  if (--libraryHolders == 0) sane_exit();
}

std::vector<ScannerEntry> SaneLibrary::Devices() {
  std::vector<ScannerEntry> entries;
  std::lock_guard lock(deviceListMutex);
  const SANE_Device** devices = nullptr;
  if (sane_get_devices(&devices, SANE_FALSE) != SANE_STATUS_GOOD || !devices) return entries;
  for (const SANE_Device** d = devices; *d; ++d) {
    if (!(*d)->name || !*(*d)->name) continue;
    std::string name;
    for (const char* part : {(*d)->vendor, (*d)->model}) {
      if (!part || !*part) continue;
      if (!name.empty()) name += ' ';
      name += part;
    }
    entries.push_back(ScannerEntry{(*d)->name, name.empty() ? std::string((*d)->name) : name, false});
  }
  return entries;
}

std::unique_ptr<SaneDevice> SaneDevice::Open(std::shared_ptr<SaneLibrary> library, const std::string& name,
                                             DeviceStatus& status) {
  SANE_Handle handle = nullptr;
  status = FromSane(sane_open(name.c_str(), &handle));
  if (status != DeviceStatus::kGood || !handle) {
    if (status == DeviceStatus::kGood) status = DeviceStatus::kInvalid;
    return nullptr;
  }
  return std::unique_ptr<SaneDevice>(new SaneDevice(std::move(library), handle));
}

SaneDevice::~SaneDevice() { sane_close(m_handle); }

std::vector<DeviceOption> SaneDevice::Options() {
  std::vector<DeviceOption> options;
  SANE_Int count = 0;
  if (sane_control_option(m_handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) return options;
  count = std::min<SANE_Int>(count, kMaxOptions);
  for (SANE_Int i = 1; i < count; ++i) {
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(m_handle, i);
    if (!d) continue;
    const auto type = FromSane(d->type);
    if (!type || !d->name || !*d->name) continue;
    DeviceOption option;
    option.index = i;
    option.name = d->name;
    option.type = *type;
    option.valueCount = ValueCount(*d);
    option.active = SANE_OPTION_IS_ACTIVE(d->cap);
    option.settable = SANE_OPTION_IS_SETTABLE(d->cap);
    ReadConstraint(*d, option);
    options.push_back(std::move(option));
  }
  return options;
}

DeviceStatus SaneDevice::Set(const DeviceOption& option, const OptionValue& value) {
  if (!option.Usable()) return DeviceStatus::kInvalid;
  SANE_Int info = 0;
  SANE_Status status = SANE_STATUS_INVAL;
  if (option.type == OptionType::kBool && std::holds_alternative<bool>(value)) {
    SANE_Bool word = std::get<bool>(value) ? SANE_TRUE : SANE_FALSE;
    status = sane_control_option(m_handle, option.index, SANE_ACTION_SET_VALUE, &word, &info);
  } else if ((option.type == OptionType::kInt || option.type == OptionType::kFixed) && option.valueCount == 1 &&
             std::holds_alternative<double>(value)) {
    SANE_Word word = NumberAsWord(std::get<double>(value), option.type);
    status = sane_control_option(m_handle, option.index, SANE_ACTION_SET_VALUE, &word, &info);
  } else if (option.type == OptionType::kString && std::holds_alternative<std::string>(value)) {
    const std::string& text = std::get<std::string>(value);
    // A value cut to fit would be another value (a file name, a mode).
    if (text.size() >= option.valueCount || text.find('\0') != std::string::npos) return DeviceStatus::kInvalid;
    std::vector<char> buffer(option.valueCount, '\0');
    std::memcpy(buffer.data(), text.data(), text.size());
    status = sane_control_option(m_handle, option.index, SANE_ACTION_SET_VALUE, buffer.data(), &info);
  }
  return FromSane(status);
}

std::optional<OptionValue> SaneDevice::Get(const DeviceOption& option) {
  if (!option.active) return std::nullopt;
  switch (option.type) {
    case OptionType::kBool:
    case OptionType::kInt:
    case OptionType::kFixed: {
      if (option.valueCount != 1) return std::nullopt;
      SANE_Word word = 0;
      if (sane_control_option(m_handle, option.index, SANE_ACTION_GET_VALUE, &word, nullptr) != SANE_STATUS_GOOD)
        return std::nullopt;
      if (option.type == OptionType::kBool) return OptionValue{word == SANE_TRUE};
      return OptionValue{WordAsNumber(word, option.type)};
    }
    case OptionType::kString: {
      if (option.valueCount == 0) return std::nullopt;
      std::vector<char> buffer(option.valueCount + 1, '\0');
      if (sane_control_option(m_handle, option.index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD)
        return std::nullopt;
      buffer.back() = '\0';  // a device that fills the whole buffer still ends here
      return OptionValue{std::string(buffer.data())};
    }
    case OptionType::kButton:
    case OptionType::kGroup:
      break;
  }
  return std::nullopt;
}

DeviceStatus SaneDevice::Start() { return FromSane(sane_start(m_handle)); }

DeviceStatus SaneDevice::Parameters(FrameParameters& parameters) {
  SANE_Parameters p{};
  const DeviceStatus status = FromSane(sane_get_parameters(m_handle, &p));
  if (status != DeviceStatus::kGood) return status;
  parameters.format = FromSane(p.format);
  parameters.lastFrame = p.last_frame != SANE_FALSE;
  parameters.bytesPerLine = p.bytes_per_line;
  parameters.pixelsPerLine = p.pixels_per_line;
  parameters.lines = p.lines;
  parameters.depth = p.depth;
  return status;
}

DeviceStatus SaneDevice::Read(std::span<std::uint8_t> into, std::size_t& got) {
  got = 0;
  SANE_Int length = 0;
  const auto capacity = static_cast<SANE_Int>(std::min<std::size_t>(into.size(), INT_MAX));
  const DeviceStatus status = FromSane(sane_read(m_handle, into.data(), capacity, &length));
  if (status == DeviceStatus::kGood) got = static_cast<std::size_t>(std::clamp<SANE_Int>(length, 0, capacity));
  return status;
}

void SaneDevice::Cancel() { sane_cancel(m_handle); }

}  // namespace bidder::desk
