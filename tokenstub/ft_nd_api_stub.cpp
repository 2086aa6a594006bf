// The stand-in FT_ND_API library: the vendor's epas_ functions over a virtual
// token kept in a token image file (tokenimage/token_image.h). Every call reads
// FT_ND_API_TOKEN afresh when it needs the token, and appends one line to the
// call log FT_ND_API_LOG:
//
//   epas_CreateContext(out, 0x0, 0x100) -> 0x0 #1
//   epas_Verify(#1, 0x0, [31323334], 0x4) -> 0x0
//   epas_GetProperty(#1, 0x7, 0x0, [0000000000000000], 0x8) -> 0x0
//   epas_ChangeDir(#1, 0x300, 0x0, "vorla") -> 0x0
//
// Numbers are hex; #N is the context handle; [..] the bytes presented (for
// epas_GetProperty, the buffer's contents on entry); "out", "buf", "count"
// a non-null pointer the library writes to, "null" a null one.
//
// The token follows a few rules of a real one: reading a file needs a
// verified PIN or fixed code on the open device; opening a file needs a
// selected directory; reading needs an open file. Handles are looked up, so
// a wrong or stale handle fails instead of crashing. No exception leaves a
// function.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "stub_environment.h"
#include "tokenapi/ft_nd_api.h"
#include "tokenimage/token_image.h"

namespace ftnd {
namespace {

// Status values (any non-zero value means failure to the caller).
enum Status : EPAS_STATUS {
  kOk = 0,
  kBadArgument = 0x1001,
  kBadHandle = 0x1002,
  kNoContext = 0x1003,
  kNoDevice = 0x1004,
  kNotOpen = 0x1005,
  kRefused = 0x1006,
  kNoSuchProperty = 0x1007,
  kNoSuchDirectory = 0x1008,
  kNoSuchFile = 0x1009,
  kReadFailed = 0x100A,
  kAccessDenied = 0x100B,
  kInternalError = 0x10FF,
};

constexpr std::size_t kFileInfoSize = 44;
constexpr std::size_t kMaxLoggedBytes = 256;

struct Context {
  bool open = false;
  TokenImage token;
  bool verified = false;
  const TokenDirectory* directory = nullptr;  // into `token`
  const TokenFile* file = nullptr;            // into `token`
};

std::mutex g_mutex;
std::map<std::uintptr_t, Context> g_contexts;
std::uintptr_t g_nextHandle = 1;

std::optional<TokenImage> PluggedToken() {
  auto bytes = ReadTokenImageFile(kMaxImageBytes);
  if (!bytes) return std::nullopt;
  return ParseTokenImage(*bytes).image;
}

// strlen that stops looking after `limit` bytes.
std::size_t BoundedLength(const char* s, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && s[n]) ++n;
  return n;
}

std::uintptr_t HandleValue(EPAS_HANDLE h) { return reinterpret_cast<std::uintptr_t>(h); }

Context* Find(EPAS_HANDLE h) {
  const auto it = g_contexts.find(HandleValue(h));
  return it == g_contexts.end() ? nullptr : &it->second;
}

// One log line, built up as the call goes.
class Call {
 public:
  explicit Call(const char* name) : line_(std::string(name) + "(") {}
  Call& Handle(EPAS_HANDLE h) { return Arg("#" + std::to_string(HandleValue(h))); }
  Call& Number(std::uint32_t n) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(n));
    return Arg(text);
  }
  Call& Bytes(const void* data, std::uint32_t length) {
    if (!data) return Arg("null");
    const std::size_t shown = length < kMaxLoggedBytes ? length : kMaxLoggedBytes;
    std::string text = "[" + ToHex(std::string_view(static_cast<const char*>(data), shown));
    if (shown < length) text += "...";
    return Arg(text + "]");
  }
  Call& Text(const char* s) {
    if (!s) return Arg("null");
    std::string text = "\"";
    for (std::size_t i = 0; i < kMaxLoggedBytes && s[i]; ++i) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
        text += static_cast<char>(c);
      } else {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        text += escape;
      }
    }
    return Arg(text + "\"");
  }
  Call& Pointer(const void* p, const char* name) { return Arg(p ? name : "null"); }

  EPAS_STATUS Return(EPAS_STATUS status, const std::string& note = "") {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(status));
    AppendToCallLog(line_ + ") -> " + text + (note.empty() ? "" : " " + note));
    return status;
  }

 private:
  Call& Arg(const std::string& text) {
    if (!first_) line_ += ", ";
    first_ = false;
    line_ += text;
    return *this;
  }
  std::string line_;
  bool first_ = true;
};

// Runs one library call: no exception (allocation failure) leaves it.
template <typename F>
EPAS_STATUS Guarded(F&& f) {
  try {
    std::lock_guard lock(g_mutex);
    return f();
  } catch (...) {
    return kInternalError;
  }
}

EPAS_STATUS CreateContext(EPAS_HANDLE* out, std::uint32_t flags, std::uint32_t version) {
  Call call("epas_CreateContext");
  call.Pointer(out, "out").Number(flags).Number(version);
  if (!out) return call.Return(kBadArgument);
  const auto token = PluggedToken();
  if (token && token->Has(TokenFault::kNoContext)) return call.Return(kNoContext);
  const std::uintptr_t handle = g_nextHandle++;
  g_contexts[handle];
  *out = reinterpret_cast<EPAS_HANDLE>(handle);
  return call.Return(kOk, "#" + std::to_string(handle));
}

EPAS_STATUS OpenDevice(EPAS_HANDLE h, std::uint32_t flags, std::uint32_t index) {
  Call call("epas_OpenDevice");
  call.Handle(h).Number(flags).Number(index);
  Context* c = Find(h);
  if (!c) return call.Return(kBadHandle);
  if (c->open) return call.Return(kBadArgument);
  auto token = PluggedToken();
  if (!token || token->Has(TokenFault::kNoDevice)) return call.Return(kNoDevice);
  *c = Context{};
  c->token = std::move(*token);
  c->open = true;
  return call.Return(kOk);
}

EPAS_STATUS Verify(EPAS_HANDLE h, std::uint32_t type, const unsigned char* data, std::uint32_t length) {
  Call call("epas_Verify");
  call.Handle(h).Number(type).Bytes(data, length).Number(length);
  Context* c = Find(h);
  if (!c) return call.Return(kBadHandle);
  if (!c->open) return call.Return(kNotOpen);
  if (!data && length > 0) return call.Return(kBadArgument);
  const std::string presented = data ? std::string(reinterpret_cast<const char*>(data), length) : std::string();
  bool accepted = false;
  if (type == EPAS_VERIFY_USER_PIN) {
    accepted = !c->token.Has(TokenFault::kPinRefused) && presented == c->token.userPin;
  } else if (type == EPAS_VERIFY_FIXED_CODE) {
    accepted = !c->token.Has(TokenFault::kFixedCodeRefused) && presented == c->token.fixedCode;
  } else {
    return call.Return(kBadArgument);
  }
  if (!accepted) return call.Return(kRefused);
  c->verified = true;
  return call.Return(kOk);
}

EPAS_STATUS GetProperty(EPAS_HANDLE h, std::uint32_t property, std::uint32_t reserved, void* buffer,
                        std::uint32_t length) {
  Call call("epas_GetProperty");
  call.Handle(h).Number(property).Number(reserved).Bytes(buffer, length).Number(length);
  Context* c = Find(h);
  if (!c) return call.Return(kBadHandle);
  if (!c->open) return call.Return(kNotOpen);
  if (!buffer) return call.Return(kBadArgument);
  if (c->token.Has(TokenFault::kPropertyUnreadable)) return call.Return(kReadFailed);
  if (property != EPAS_PROPERTY_SERIAL_NUMBER || !c->token.serialProperty) return call.Return(kNoSuchProperty);
  const std::string& value = *c->token.serialProperty;
  std::memcpy(buffer, value.data(), value.size() < length ? value.size() : length);
  return call.Return(kOk);
}

EPAS_STATUS ChangeDir(EPAS_HANDLE h, std::uint32_t flags, std::uint32_t id, const char* name) {
  Call call("epas_ChangeDir");
  call.Handle(h).Number(flags).Number(id).Text(name);
  Context* c = Find(h);
  if (!c) return call.Return(kBadHandle);
  if (!c->open) return call.Return(kNotOpen);
  if (!name) return call.Return(kBadArgument);
  if (c->token.Has(TokenFault::kDirectoryMissing)) return call.Return(kNoSuchDirectory);
  const TokenDirectory* dir = c->token.FindDirectory(std::string_view(name, BoundedLength(name, kMaxDirectoryNameBytes + 1)));
  if (!dir) return call.Return(kNoSuchDirectory);
  c->directory = dir;
  c->file = nullptr;
  return call.Return(kOk);
}

EPAS_STATUS OpenFile(EPAS_HANDLE h, std::uint32_t flags, std::uint32_t id, void* info, std::uint32_t infoLength) {
  Call call("epas_OpenFile");
  call.Handle(h).Number(flags).Number(id).Pointer(info, "buf").Number(infoLength);
  Context* c = Find(h);
  if (!c) return call.Return(kBadHandle);
  if (!c->open) return call.Return(kNotOpen);
  if (!c->directory || c->token.Has(TokenFault::kFileMissing)) return call.Return(kNoSuchFile);
  const TokenFile* file = c->directory->FindFile(id);
  if (!file) return call.Return(kNoSuchFile);
  if (info) {
    // The file information: id and size, little-endian, then zeros.
    unsigned char record[kFileInfoSize] = {};
    const std::uint32_t size = static_cast<std::uint32_t>(file->bytes.size());
    for (int i = 0; i < 4; ++i) {
      record[i] = static_cast<unsigned char>(id >> (8 * i));
      record[4 + i] = static_cast<unsigned char>(size >> (8 * i));
    }
    std::memcpy(info, record, infoLength < kFileInfoSize ? infoLength : kFileInfoSize);
  }
  c->file = file;
  return call.Return(kOk);
}

EPAS_STATUS Read(EPAS_HANDLE h, std::uint32_t flags, std::uint32_t offset, void* buffer, std::uint32_t length,
                 std::uint32_t* count) {
  Call call("epas_Read");
  call.Handle(h).Number(flags).Number(offset).Pointer(buffer, "buf").Number(length).Pointer(count, "count");
  Context* c = Find(h);
  if (!c) return call.Return(kBadHandle);
  if (!c->open) return call.Return(kNotOpen);
  if (!c->file) return call.Return(kNoSuchFile);
  if (!buffer && length > 0) return call.Return(kBadArgument);
  if (!c->verified) return call.Return(kAccessDenied);
  if (c->token.Has(TokenFault::kReadFails)) return call.Return(kReadFailed);
  const std::string& bytes = c->file->bytes;
  const std::size_t start = offset < bytes.size() ? offset : bytes.size();
  const std::size_t n = bytes.size() - start < length ? bytes.size() - start : length;
  if (n > 0) std::memcpy(buffer, bytes.data() + start, n);
  if (count) *count = static_cast<std::uint32_t>(n);
  return call.Return(kOk);
}

EPAS_STATUS CloseDevice(EPAS_HANDLE h) {
  Call call("epas_CloseDevice");
  call.Handle(h);
  Context* c = Find(h);
  if (!c) return call.Return(kBadHandle);
  if (!c->open) return call.Return(kNotOpen);
  *c = Context{};
  return call.Return(kOk);
}

EPAS_STATUS DeleteContext(EPAS_HANDLE h) {
  Call call("epas_DeleteContext");
  call.Handle(h);
  if (g_contexts.erase(HandleValue(h)) == 0) return call.Return(kBadHandle);
  return call.Return(kOk);
}

}  // namespace
}  // namespace ftnd

extern "C" {

EPAS_STATUS EPAS_API epas_CreateContext(EPAS_HANDLE* context, uint32_t flags, uint32_t apiVersion) {
  return ftnd::Guarded([&] { return ftnd::CreateContext(context, flags, apiVersion); });
}
EPAS_STATUS EPAS_API epas_OpenDevice(EPAS_HANDLE context, uint32_t flags, uint32_t deviceIndex) {
  return ftnd::Guarded([&] { return ftnd::OpenDevice(context, flags, deviceIndex); });
}
EPAS_STATUS EPAS_API epas_Verify(EPAS_HANDLE context, uint32_t verifyType, const unsigned char* data,
                                 uint32_t length) {
  return ftnd::Guarded([&] { return ftnd::Verify(context, verifyType, data, length); });
}
EPAS_STATUS EPAS_API epas_GetProperty(EPAS_HANDLE context, uint32_t property, uint32_t reserved, void* buffer,
                                      uint32_t length) {
  return ftnd::Guarded([&] { return ftnd::GetProperty(context, property, reserved, buffer, length); });
}
EPAS_STATUS EPAS_API epas_ChangeDir(EPAS_HANDLE context, uint32_t flags, uint32_t directoryId, const char* name) {
  return ftnd::Guarded([&] { return ftnd::ChangeDir(context, flags, directoryId, name); });
}
EPAS_STATUS EPAS_API epas_OpenFile(EPAS_HANDLE context, uint32_t flags, uint32_t fileId, void* fileInfo,
                                   uint32_t fileInfoLength) {
  return ftnd::Guarded([&] { return ftnd::OpenFile(context, flags, fileId, fileInfo, fileInfoLength); });
}
EPAS_STATUS EPAS_API epas_Read(EPAS_HANDLE context, uint32_t flags, uint32_t offset, void* buffer, uint32_t length,
                               uint32_t* bytesRead) {
  return ftnd::Guarded([&] { return ftnd::Read(context, flags, offset, buffer, length, bytesRead); });
}
EPAS_STATUS EPAS_API epas_CloseDevice(EPAS_HANDLE context) {
  return ftnd::Guarded([&] { return ftnd::CloseDevice(context); });
}
EPAS_STATUS EPAS_API epas_DeleteContext(EPAS_HANDLE context) {
  return ftnd::Guarded([&] { return ftnd::DeleteContext(context); });
}

}  // extern "C"
