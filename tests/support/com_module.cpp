#include "support/com_module.h"

namespace bidder::test {
namespace {

std::wstring Taken(BSTR& text) {
  std::wstring result = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  text = nullptr;
  return result;
}

}  // namespace

std::wstring LoadedModule::Path() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = module_ ? GetModuleFileNameW(module_, path.data(), static_cast<DWORD>(path.size())) : 0;
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HRESULT LoadedModule::LoadTypeLibrary(Ref<ITypeLib>& library) const {
  if (!module_) return E_UNEXPECTED;
  return LoadTypeLibEx(Path().c_str(), REGKIND_NONE, library.put());
}

VersionResource::VersionResource(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return;
  block_.resize(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block_.data())) block_.clear();
}

const VS_FIXEDFILEINFO* VersionResource::Fixed() const {
  void* value = nullptr;
  UINT length = 0;
  if (!Loaded() || !VerQueryValueW(block_.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return nullptr;
  }
  return static_cast<const VS_FIXEDFILEINFO*>(value);
}

std::vector<std::pair<WORD, WORD>> VersionResource::Translations() const {
  void* value = nullptr;
  UINT length = 0;
  std::vector<std::pair<WORD, WORD>> pairs;
  if (!Loaded() || !VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", &value, &length)) return pairs;
  const auto* words = static_cast<const WORD*>(value);
  for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) pairs.emplace_back(words[i], words[i + 1]);
  return pairs;
}

std::wstring VersionResource::String(const wchar_t* table, const wchar_t* name) const {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
  if (!Loaded() || !VerQueryValueW(block_.data(), path.c_str(), &value, &length)) return L"<missing>";
  return length ? std::wstring(static_cast<const wchar_t*>(value)) : std::wstring();
}

Documentation DocumentationOf(ITypeLib* library, INT index) {
  BSTR name = nullptr, doc = nullptr, file = nullptr;
  library->GetDocumentation(index, &name, &doc, nullptr, &file);
  return {Taken(name), Taken(doc), Taken(file)};
}

Documentation DocumentationOf(ITypeInfo* info, MEMBERID member) {
  BSTR name = nullptr, doc = nullptr, file = nullptr;
  info->GetDocumentation(member, &name, &doc, nullptr, &file);
  return {Taken(name), Taken(doc), Taken(file)};
}

}  // namespace bidder::test
