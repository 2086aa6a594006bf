#include "class_registration.h"

#include <ole2.h>

#include <new>

#include "module.h"
#include "reg_key.h"

namespace ax {
namespace {

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ResourceString(UINT id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(Module::Instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

// The root the classes go under: per machine or per user.
bool OpenClassesRoot(RegKey& root) {
  if (!Module::PerUserRegistration()) {
    root = RegKey();
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_ALL_ACCESS, root.Put()) == ERROR_SUCCESS;
  }
  return RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root.Put(),
                         nullptr) == ERROR_SUCCESS;
}

// Creates `path` under `root` and sets one string value (null name: the default).
bool SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  RegKey key;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Removed(LSTATUS status) {
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_BADKEY;
}

}  // namespace

std::wstring ShortModulePath() noexcept {
  try {
    const std::wstring full = Module::FilePath();
    if (full.empty()) return {};
    const DWORD needed = GetShortPathNameW(full.c_str(), nullptr, 0);
    if (needed == 0) return full;
    std::wstring shortPath(needed, L'\0');
    const DWORD length = GetShortPathNameW(full.c_str(), shortPath.data(), needed);
    if (length == 0 || length >= needed) return full;
    shortPath.resize(length);
    return shortPath;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

bool RegisterControlClass(const ControlClassInfo& info) noexcept {
  try {
    RegKey root;
    const std::wstring path = ShortModulePath();
    if (path.empty() || !OpenClassesRoot(root)) return false;
    const std::wstring name = ResourceString(info.typeNameId);
    const std::wstring clsid = GuidText(*info.clsid);
    const std::wstring key = L"CLSID\\" + clsid;
    HKEY r = root.Get();
    return SetString(r, key, nullptr, name) && SetString(r, key + L"\\ProgID", nullptr, info.progId) &&
           SetString(r, key + L"\\InprocServer32", nullptr, path) &&
           (!info.apartment || SetString(r, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment")) &&
           SetString(r, key + L"\\ToolboxBitmap32", nullptr, path + L", " + std::to_wstring(info.bitmapId)) &&
           SetString(r, key + L"\\MiscStatus", nullptr, L"0") &&
           SetString(r, key + L"\\MiscStatus\\1", nullptr, std::to_wstring(info.miscStatus)) &&
           SetString(r, key + L"\\Control", nullptr, L"") &&
           SetString(r, key + L"\\TypeLib", nullptr, GuidText(*info.libid)) &&
           SetString(r, key + L"\\Version", nullptr, std::to_wstring(info.major) + L"." + std::to_wstring(info.minor)) &&
           SetString(r, info.progId, nullptr, name) && SetString(r, std::wstring(info.progId) + L"\\CLSID", nullptr, clsid);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool RegisterPropertyPageClass(const CLSID& clsid, UINT typeNameId) noexcept {
  try {
    RegKey root;
    const std::wstring path = ShortModulePath();
    if (path.empty() || !OpenClassesRoot(root)) return false;
    const std::wstring key = L"CLSID\\" + GuidText(clsid);
    return SetString(root.Get(), key, nullptr, ResourceString(typeNameId)) &&
           SetString(root.Get(), key + L"\\InprocServer32", nullptr, path);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool UnregisterClass(const CLSID& clsid, const wchar_t* progId) noexcept {
  try {
    RegKey root;
    if (!OpenClassesRoot(root)) return false;
    const std::wstring key = L"CLSID\\" + GuidText(clsid);
    RegKey server16;
    const bool shared = RegOpenKeyExW(root.Get(), (key + L"\\InprocServer").c_str(), 0, KEY_READ, server16.Put()) ==
                        ERROR_SUCCESS;
    if (shared) {
      return Removed(RegDeleteTreeW(root.Get(), (key + L"\\InprocServer32").c_str())) &&
             Removed(RegDeleteTreeW(root.Get(), (key + L"\\ToolboxBitmap32").c_str()));
    }
    bool ok = Removed(RegDeleteTreeW(root.Get(), key.c_str()));
    if (progId) ok = Removed(RegDeleteTreeW(root.Get(), progId)) && ok;
    return ok;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace ax
