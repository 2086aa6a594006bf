#include "support/memory_stream.h"

namespace bidder::test {

std::vector<unsigned char> StreamBytes(IStream* stream) {
  HGLOBAL memory = nullptr;
  STATSTG stat{};
  if (FAILED(GetHGlobalFromStream(stream, &memory)) || FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return {};
  const auto* p = static_cast<const unsigned char*>(GlobalLock(memory));
  if (!p) return {};
  std::vector<unsigned char> bytes(p, p + stat.cbSize.QuadPart);
  GlobalUnlock(memory);
  return bytes;
}

HRESULT StreamHolding(const std::vector<unsigned char>& bytes, Ref<IStream>& stream) {
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
  ULONG written = 0;
  if (SUCCEEDED(hr)) hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (SUCCEEDED(hr) && written != bytes.size()) hr = STG_E_MEDIUMFULL;
  const LARGE_INTEGER start{};
  if (SUCCEEDED(hr)) hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return hr;
}

HRESULT StorageOnMemory(Ref<IStorage>& storage) {
  Ref<ILockBytes> bytes;  // the storage holds its own reference
  HRESULT hr = CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put());
  if (SUCCEEDED(hr)) {
    hr = StgCreateDocfileOnILockBytes(bytes.p, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.put());
  }
  return hr;
}

}  // namespace bidder::test
