#include "extent_stream.h"

#include <algorithm>

namespace ax {
namespace {

HRESULT ReadExact(IStream* stream, void* data, ULONG size) {
  ULONG read = 0;
  HRESULT hr = stream->Read(data, size, &read);
  if (FAILED(hr)) return hr;
  return read == size ? S_OK : STG_E_READFAULT;
}

}  // namespace

static_assert(VT_UI4 == 19 && VT_I4 == 3, "the record's types");

HRESULT SaveExtent(IStream* stream, const SIZEL& extent) {
  if (!stream) return E_POINTER;
  const auto bytes = FormatExtentRecord(extent.cx, extent.cy);
  ULONG written = 0;
  HRESULT hr = stream->Write(bytes.data(), kExtentStreamSize, &written);
  if (FAILED(hr)) return hr;
  return written == kExtentStreamSize ? S_OK : STG_E_WRITEFAULT;
}

HRESULT LoadExtent(IStream* stream, SIZEL& extent) {
  if (!stream) return E_POINTER;
  std::array<std::uint8_t, kExtentRecordSize> bytes{};
  ULONG read = 0;
  HRESULT hr = stream->Read(bytes.data(), kExtentStreamSize, &read);
  if (FAILED(hr)) return hr;
  const ExtentRecord record = ParseExtentRecord(std::span(bytes.data(), std::min<std::size_t>(read, bytes.size())));
  switch (record.status) {
    case ExtentRecordStatus::kShort: return STG_E_READFAULT;
    case ExtentRecordStatus::kRefused: return E_FAIL;
    case ExtentRecordStatus::kRead: break;
  }
  extent = {record.cx, record.cy};
  return S_OK;
}

HRESULT SaveControlVersion(IStream* stream, DWORD version) {
  if (!stream) return E_POINTER;
  ULONG written = 0;
  HRESULT hr = stream->Write(&version, sizeof version, &written);
  if (FAILED(hr)) return hr;
  return written == sizeof version ? S_OK : STG_E_WRITEFAULT;
}

HRESULT LoadControlVersion(IStream* stream, DWORD current) {
  if (!stream) return E_POINTER;
  DWORD stored = 0;
  HRESULT hr = ReadExact(stream, &stored, sizeof stored);
  if (FAILED(hr)) return hr;
  return HIWORD(stored) > HIWORD(current) ? E_FAIL : S_OK;
}

}  // namespace ax
