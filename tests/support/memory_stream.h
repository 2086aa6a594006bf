#pragma once
// Streams and storages on global memory, as a container saves a control's
// state into one and loads it back from one.
#include <windows.h>
#include <objidl.h>

#include <vector>

#include "support/com_ref.h"

namespace bidder::test {

// The bytes a stream on global memory holds (empty when it is none).
std::vector<unsigned char> StreamBytes(IStream* stream);
// A new stream on global memory holding `bytes`, positioned at its start.
HRESULT StreamHolding(const std::vector<unsigned char>& bytes, Ref<IStream>& stream);
// A new, empty compound storage on global memory, open for reading and writing.
HRESULT StorageOnMemory(Ref<IStorage>& storage);

}  // namespace bidder::test
