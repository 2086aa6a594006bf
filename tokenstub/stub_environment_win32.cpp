#include <windows.h>

#include <memory>

#include "stub_environment.h"

namespace ftnd {
namespace {

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The variable's value as a wide path; empty when unset.
std::wstring Variable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return {};
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);  // n counts the terminator when the buffer was too small
  }
}

Handle Open(const std::wstring& path, DWORD access, DWORD disposition) {
  HANDLE h = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return Handle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

}  // namespace

std::optional<std::string> ReadTokenImageFile(std::size_t limit) {
  const std::wstring path = Variable(L"FT_ND_API_TOKEN");
  if (path.empty()) return std::nullopt;
  Handle file = Open(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr)) return std::nullopt;
    if (n == 0) return bytes;
    bytes.append(chunk, n);
    if (bytes.size() > limit) return std::nullopt;
  }
}

void AppendToCallLog(const std::string& line) {
  const std::wstring path = Variable(L"FT_ND_API_LOG");
  if (path.empty()) return;
  Handle file = Open(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  if (!file) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace ftnd
