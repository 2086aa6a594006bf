#include "extent_stream.h"

#include <cstring>

namespace ax {
namespace {

HRESULT ReadExact(IStream* stream, void* data, ULONG size) {
  ULONG read = 0;
  HRESULT hr = stream->Read(data, size, &read);
  if (FAILED(hr)) return hr;
  return read == size ? S_OK : STG_E_READFAULT;
}

HRESULT ReadDimension(IStream* stream, LONG& value) {
  VARTYPE type = VT_EMPTY;
  HRESULT hr = ReadExact(stream, &type, sizeof type);
  if (FAILED(hr)) return hr;
  if (type != VT_UI4 && type != VT_I4) return E_FAIL;
  DWORD raw = 0;
  if (FAILED(hr = ReadExact(stream, &raw, sizeof raw))) return hr;
  // An extent is a size: a negative or huge one is not a state to restore.
  if (raw > 0x7FFFFFFFu) return E_FAIL;
  value = static_cast<LONG>(raw);
  return S_OK;
}

}  // namespace

HRESULT SaveExtent(IStream* stream, const SIZEL& extent) {
  if (!stream) return E_POINTER;
  unsigned char buffer[kExtentStreamSize];
  unsigned char* p = buffer;
  auto put = [&p](const void* data, std::size_t size) {
    std::memcpy(p, data, size);
    p += size;
  };
  const DWORD version = kExtentStreamVersion;
  const VARTYPE type = VT_UI4;
  const DWORD cx = static_cast<DWORD>(extent.cx);
  const DWORD cy = static_cast<DWORD>(extent.cy);
  put(&version, sizeof version);
  put(&type, sizeof type);
  put(&cx, sizeof cx);
  put(&type, sizeof type);
  put(&cy, sizeof cy);
  ULONG written = 0;
  HRESULT hr = stream->Write(buffer, kExtentStreamSize, &written);
  if (FAILED(hr)) return hr;
  return written == kExtentStreamSize ? S_OK : STG_E_WRITEFAULT;
}

HRESULT LoadExtent(IStream* stream, SIZEL& extent) {
  if (!stream) return E_POINTER;
  DWORD version = 0;
  HRESULT hr = ReadExact(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  if (version > kExtentStreamVersion) return E_FAIL;
  SIZEL loaded{};
  if (FAILED(hr = ReadDimension(stream, loaded.cx))) return hr;
  if (FAILED(hr = ReadDimension(stream, loaded.cy))) return hr;
  extent = loaded;
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
