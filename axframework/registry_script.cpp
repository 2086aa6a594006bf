#include "registry_script.h"

#include <cwctype>
#include <new>
#include <optional>
#include <vector>

#include "module.h"
#include "reg_key.h"

namespace ax {
namespace {

const HRESULT kMalformed = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

struct ValueDef {
  std::wstring name;  // empty: the key's default value
  bool isDword = false;
  std::wstring text;
  DWORD number = 0;
};

enum class KeyMode { kPlain, kNoRemove, kForceRemove, kDelete };

struct KeyDef {
  KeyMode mode = KeyMode::kPlain;
  std::wstring name;
  std::optional<ValueDef> defaultValue;
  std::vector<ValueDef> values;
  std::vector<KeyDef> children;
};

struct RootDef {
  std::wstring name;
  std::vector<KeyDef> keys;
};

struct Token {
  std::wstring text;
  bool quoted = false;
  bool Is(std::wstring_view word) const {
    if (quoted || text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (std::towlower(text[i]) != std::towlower(word[i])) return false;
    }
    return true;
  }
};

bool Tokenize(std::wstring_view s, std::vector<Token>& tokens) {
  std::size_t i = 0;
  while (i < s.size()) {
    if (std::iswspace(s[i])) {
      ++i;
      continue;
    }
    Token t;
    if (s[i] == L'\'') {
      t.quoted = true;
      ++i;
      for (;;) {
        if (i >= s.size()) return false;  // unterminated
        if (s[i] == L'\'') {
          if (i + 1 < s.size() && s[i + 1] == L'\'') {
            t.text += L'\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        t.text += s[i++];
      }
    } else {
      while (i < s.size() && !std::iswspace(s[i])) t.text += s[i++];
    }
    tokens.push_back(std::move(t));
  }
  return true;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool ParseScript(std::vector<RootDef>& roots) {
    while (pos_ < tokens_.size()) {
      RootDef root;
      const Token* name = Next();
      if (!name || name->Is(L"{") || name->Is(L"}")) return false;
      root.name = name->text;
      if (!Expect(L"{")) return false;
      if (!ParseKeys(root.keys)) return false;
      roots.push_back(std::move(root));
    }
    return true;
  }

 private:
  const Token* Peek() const { return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr; }
  const Token* Next() { return pos_ < tokens_.size() ? &tokens_[pos_++] : nullptr; }
  bool Expect(std::wstring_view word) {
    const Token* t = Next();
    return t && t->Is(word);
  }

  // Keys (and, inside a key, values) up to the closing brace.
  bool ParseKeys(std::vector<KeyDef>& keys, std::vector<ValueDef>* values = nullptr) {
    for (;;) {
      const Token* t = Peek();
      if (!t) return false;
      if (t->Is(L"}")) {
        ++pos_;
        return true;
      }
      if (values && t->Is(L"val")) {
        ++pos_;
        ValueDef v;
        const Token* name = Next();
        if (!name || !Expect(L"=") || !ParseValue(v)) return false;
        v.name = name->text;
        values->push_back(std::move(v));
        continue;
      }
      KeyDef key;
      if (!ParseKey(key)) return false;
      keys.push_back(std::move(key));
    }
  }

  bool ParseKey(KeyDef& key) {
    const Token* t = Next();
    if (!t) return false;
    if (t->Is(L"NoRemove")) key.mode = KeyMode::kNoRemove;
    if (t->Is(L"ForceRemove")) key.mode = KeyMode::kForceRemove;
    if (t->Is(L"Delete")) key.mode = KeyMode::kDelete;
    if (key.mode != KeyMode::kPlain && !(t = Next())) return false;
    if (t->Is(L"{") || t->Is(L"}") || t->Is(L"=") || t->text.empty()) return false;
    key.name = t->text;
    if (const Token* eq = Peek(); eq && eq->Is(L"=")) {
      ++pos_;
      ValueDef v;
      if (!ParseValue(v)) return false;
      key.defaultValue = std::move(v);
    }
    if (const Token* open = Peek(); open && open->Is(L"{")) {
      ++pos_;
      return ParseKeys(key.children, &key.values);
    }
    return true;
  }

  bool ParseValue(ValueDef& v) {
    const Token* type = Next();
    const Token* data = Next();
    if (!type || !data) return false;
    if (type->Is(L"s")) {
      v.text = data->text;
      return true;
    }
    if (type->Is(L"d")) {
      v.isDword = true;
      const std::wstring& s = data->text;
      if (s.empty() || s.size() > 10) return false;
      wchar_t* end = nullptr;
      unsigned long long n = std::wcstoull(s.c_str(), &end, 0);
      if (*end != L'\0' || n > 0xFFFFFFFFull) return false;
      v.number = static_cast<DWORD>(n);
      return true;
    }
    return false;
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

bool IsMissing(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_BADKEY; }

HRESULT FromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

HRESULT DeleteTree(HKEY parent, const std::wstring& name) {
  LSTATUS st = RegDeleteTreeW(parent, name.c_str());
  if (st == ERROR_SUCCESS || IsMissing(st)) {
    st = RegDeleteKeyW(parent, name.c_str());  // in case the tree call left the key itself
    if (IsMissing(st)) st = ERROR_SUCCESS;
  }
  return FromStatus(st);
}

HRESULT SetValue(HKEY key, const ValueDef& v) {
  const wchar_t* name = v.name.empty() ? nullptr : v.name.c_str();
  if (v.isDword) {
    return FromStatus(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number), sizeof v.number));
  }
  const DWORD bytes = static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t));
  return FromStatus(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()), bytes));
}

HRESULT RegisterKey(HKEY parent, const KeyDef& def) {
  if (def.mode == KeyMode::kDelete) return DeleteTree(parent, def.name);
  if (def.mode == KeyMode::kForceRemove) {
    if (HRESULT hr = DeleteTree(parent, def.name); FAILED(hr)) return hr;
  }
  RegKey key;
  HRESULT hr = FromStatus(RegCreateKeyExW(parent, def.name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                          key.Put(), nullptr));
  if (FAILED(hr)) return hr;
  if (def.defaultValue && FAILED(hr = SetValue(key.Get(), *def.defaultValue))) return hr;
  for (const ValueDef& v : def.values) {
    if (FAILED(hr = SetValue(key.Get(), v))) return hr;
  }
  for (const KeyDef& child : def.children) {
    if (FAILED(hr = RegisterKey(key.Get(), child))) return hr;
  }
  return S_OK;
}

HRESULT UnregisterKey(HKEY parent, const KeyDef& def) {
  if (def.mode == KeyMode::kDelete) return S_OK;
  if (def.mode == KeyMode::kForceRemove) return DeleteTree(parent, def.name);
  RegKey key;
  LSTATUS st = RegOpenKeyExW(parent, def.name.c_str(), 0, KEY_READ | KEY_WRITE, key.Put());
  if (IsMissing(st)) return S_OK;
  if (st != ERROR_SUCCESS) return FromStatus(st);
  for (const KeyDef& child : def.children) {
    if (HRESULT hr = UnregisterKey(key.Get(), child); FAILED(hr)) return hr;
  }
  for (const ValueDef& v : def.values) {
    st = RegDeleteValueW(key.Get(), v.name.c_str());
    if (st != ERROR_SUCCESS && !IsMissing(st)) return FromStatus(st);
  }
  if (def.mode == KeyMode::kNoRemove) return S_OK;
  DWORD subkeys = 0;
  st = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr);
  if (st != ERROR_SUCCESS) return FromStatus(st);
  key.Reset();
  if (subkeys != 0) return S_OK;  // someone else's entries live below it
  st = RegDeleteKeyW(parent, def.name.c_str());
  return IsMissing(st) ? S_OK : FromStatus(st);
}

HRESULT OpenRoot(const std::wstring& name, bool perUser, RegKey& owned, HKEY& root) {
  Token t{name, false};
  if (t.Is(L"HKCR") || t.Is(L"HKEY_CLASSES_ROOT")) {
    if (!perUser) {
      root = HKEY_CLASSES_ROOT;
      return S_OK;
    }
    HRESULT hr = FromStatus(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                            KEY_READ | KEY_WRITE, nullptr, owned.Put(), nullptr));
    root = owned.Get();
    return hr;
  }
  if (t.Is(L"HKCU") || t.Is(L"HKEY_CURRENT_USER")) {
    root = HKEY_CURRENT_USER;
    return S_OK;
  }
  if (t.Is(L"HKLM") || t.Is(L"HKEY_LOCAL_MACHINE")) {
    root = HKEY_LOCAL_MACHINE;
    return S_OK;
  }
  return kMalformed;
}

}  // namespace

std::wstring QuoteForScript(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    out += c;
    if (c == L'\'') out += L'\'';
  }
  return out;
}

HRESULT ExpandScript(std::wstring_view script, std::span<const ScriptReplacement> replacements, std::wstring& out) try {
  out.clear();
  for (std::size_t i = 0; i < script.size();) {
    if (script[i] != L'%') {
      out += script[i++];
      continue;
    }
    const std::size_t end = script.find(L'%', i + 1);
    if (end == std::wstring_view::npos) return kMalformed;
    const std::wstring_view name = script.substr(i + 1, end - i - 1);
    if (name.empty()) {
      out += L'%';
    } else {
      const ScriptReplacement* found = nullptr;
      for (const ScriptReplacement& r : replacements) {
        if (r.name == name) found = &r;
      }
      if (!found) return kMalformed;
      out += found->value;
    }
    i = end + 1;
  }
  return S_OK;
} catch (const std::bad_alloc&) {
  return E_OUTOFMEMORY;
}

HRESULT RunRegistryScript(std::wstring_view expandedScript, bool registering, bool perUser) {
  try {
    std::vector<Token> tokens;
    if (!Tokenize(expandedScript, tokens)) return kMalformed;
    std::vector<RootDef> roots;
    if (!Parser(std::move(tokens)).ParseScript(roots)) return kMalformed;
    for (const RootDef& r : roots) {
      RegKey owned;
      HKEY root = nullptr;
      if (HRESULT hr = OpenRoot(r.name, perUser, owned, root); FAILED(hr)) return hr;
      for (const KeyDef& k : r.keys) {
        HRESULT hr = registering ? RegisterKey(root, k) : UnregisterKey(root, k);
        if (FAILED(hr)) return hr;
      }
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RunRegistryScriptResource(UINT resourceId, std::span<const ScriptReplacement> replacements,
                                  bool registering, bool perUser) {
  HMODULE module = Module::Instance();
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
  if (!found) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(module, found);
  if (!data || size == 0 || size > 0x100000) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  try {
    // Scripts are plain ASCII (UTF-8 at most); replacements bring any text.
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, static_cast<const char*>(data),
                                      static_cast<int>(size), nullptr, 0);
    if (n <= 0) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, static_cast<const char*>(data), static_cast<int>(size),
                        text.data(), n);
    std::wstring expanded;
    if (HRESULT hr = ExpandScript(text, replacements, expanded); FAILED(hr)) return hr;
    return RunRegistryScript(expanded, registering, perUser);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace ax
