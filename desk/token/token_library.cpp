#include "desk/token/token_library.h"

#include <atomic>
#include <cstdint>

#include "tokenapi/ft_nd_api.h"

namespace bidder::desk {

// The library's functions, looked up by their undecorated names.
struct TokenFunctions {
  decltype(&epas_CreateContext) createContext = nullptr;
  decltype(&epas_OpenDevice) openDevice = nullptr;
  decltype(&epas_Verify) verify = nullptr;
  decltype(&epas_GetProperty) getProperty = nullptr;
  decltype(&epas_ChangeDir) changeDir = nullptr;
  decltype(&epas_OpenFile) openFile = nullptr;
  decltype(&epas_Read) read = nullptr;
  decltype(&epas_CloseDevice) closeDevice = nullptr;
  decltype(&epas_DeleteContext) deleteContext = nullptr;
};

namespace {

// The functions the forwarders call now; null while no library is loaded.
std::atomic<const TokenFunctions*> activeFunctions{nullptr};

// What the forwarders answer without a library: a failure, which the token
// routines report as a device that cannot be opened.
constexpr EPAS_STATUS kNoLibrary = 0xFFFFFFFFu;

template <typename Function>
bool Find(const TokenModule& module, const char* name, Function& function) {
  // Converting an exported symbol's address to a function pointer is what
  // dlsym and GetProcAddress are for; both platforms define it.
  function = reinterpret_cast<Function>(module.Symbol(name));
  return function != nullptr;
}

}  // namespace

std::unique_ptr<TokenLibrary> TokenLibrary::Load() { return FromModule(OpenTokenModule()); }

std::unique_ptr<TokenLibrary> TokenLibrary::FromModule(std::unique_ptr<TokenModule> module) {
  if (!module) return nullptr;
  auto functions = std::make_unique<TokenFunctions>();
  TokenFunctions& f = *functions;
  // A library without one of them is not the token's: none is used.
  const bool complete = Find(*module, "epas_CreateContext", f.createContext) &&
                        Find(*module, "epas_OpenDevice", f.openDevice) && Find(*module, "epas_Verify", f.verify) &&
                        Find(*module, "epas_GetProperty", f.getProperty) &&
                        Find(*module, "epas_ChangeDir", f.changeDir) && Find(*module, "epas_OpenFile", f.openFile) &&
                        Find(*module, "epas_Read", f.read) && Find(*module, "epas_CloseDevice", f.closeDevice) &&
                        Find(*module, "epas_DeleteContext", f.deleteContext);
  if (!complete) return nullptr;
  return std::unique_ptr<TokenLibrary>(new TokenLibrary(std::move(module), std::move(functions)));
}

TokenLibrary::TokenLibrary(std::unique_ptr<TokenModule> module, std::unique_ptr<TokenFunctions> functions)
    : module_(std::move(module)), functions_(std::move(functions)) {
  activeFunctions.store(functions_.get(), std::memory_order_release);
}

TokenLibrary::~TokenLibrary() {
  // Only this library's own table is withdrawn: a later one stays in place.
  const TokenFunctions* mine = functions_.get();
  activeFunctions.compare_exchange_strong(mine, nullptr, std::memory_order_acq_rel);
}

}  // namespace bidder::desk

// The names the token routines call. Each forwards to the loaded library or,
// without one, fails.
extern "C" {

using bidder::desk::activeFunctions;
using bidder::desk::kNoLibrary;

EPAS_STATUS EPAS_API epas_CreateContext(EPAS_HANDLE* context, uint32_t flags, uint32_t apiVersion) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->createContext(context, flags, apiVersion) : kNoLibrary;
}

EPAS_STATUS EPAS_API epas_OpenDevice(EPAS_HANDLE context, uint32_t flags, uint32_t deviceIndex) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->openDevice(context, flags, deviceIndex) : kNoLibrary;
}

EPAS_STATUS EPAS_API epas_Verify(EPAS_HANDLE context, uint32_t verifyType, const unsigned char* data, uint32_t length) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->verify(context, verifyType, data, length) : kNoLibrary;
}

EPAS_STATUS EPAS_API epas_GetProperty(EPAS_HANDLE context, uint32_t property, uint32_t reserved, void* buffer,
                                      uint32_t length) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->getProperty(context, property, reserved, buffer, length) : kNoLibrary;
}

EPAS_STATUS EPAS_API epas_ChangeDir(EPAS_HANDLE context, uint32_t flags, uint32_t directoryId, const char* name) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->changeDir(context, flags, directoryId, name) : kNoLibrary;
}

EPAS_STATUS EPAS_API epas_OpenFile(EPAS_HANDLE context, uint32_t flags, uint32_t fileId, void* fileInfo,
                                   uint32_t fileInfoLength) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->openFile(context, flags, fileId, fileInfo, fileInfoLength) : kNoLibrary;
}

EPAS_STATUS EPAS_API epas_Read(EPAS_HANDLE context, uint32_t flags, uint32_t offset, void* buffer, uint32_t length,
                               uint32_t* bytesRead) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->read(context, flags, offset, buffer, length, bytesRead) : kNoLibrary;
}

EPAS_STATUS EPAS_API epas_CloseDevice(EPAS_HANDLE context) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->closeDevice(context) : kNoLibrary;
}

EPAS_STATUS EPAS_API epas_DeleteContext(EPAS_HANDLE context) {
  const auto* f = activeFunctions.load(std::memory_order_acquire);
  return f ? f->deleteContext(context) : kNoLibrary;
}

}  // extern "C"
