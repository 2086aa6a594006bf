#include "axframework/registry_script.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <optional>
#include <string>

#include "axframework/reg_key.h"

namespace {

// Every test works below its own key of the current user's hive.
class RegistryScriptTest : public ::testing::Test {
 protected:
  RegistryScriptTest() : base(L"Software\\BidderAxTest-" + std::to_wstring(GetCurrentProcessId())) {}
  ~RegistryScriptTest() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
  }

  // A script rooted at HKCU\<base>.
  std::wstring Script(const std::wstring& body) {
    return L"HKCU { NoRemove Software { NoRemove '" + base.substr(9) + L"' { " + body + L" } } }";
  }
  HRESULT Run(const std::wstring& body, bool registering) { return ax::RunRegistryScript(Script(body), registering, false); }

  bool Exists(const std::wstring& sub) {
    ax::RegKey k;
    return RegOpenKeyExW(HKEY_CURRENT_USER, (base + L"\\" + sub).c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
  }
  std::optional<std::wstring> String(const std::wstring& sub, const wchar_t* name = nullptr) {
    wchar_t data[512];
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, (base + L"\\" + sub).c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
      return std::nullopt;
    return std::wstring(data);
  }
  void MakeKey(const std::wstring& sub) {
    ax::RegKey k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\" + sub).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              k.Put(), nullptr),
              ERROR_SUCCESS);
  }

  std::wstring base;
};

TEST_F(RegistryScriptTest, WritesKeysDefaultValuesAndNamedValues) {
  ASSERT_EQ(Run(L"NoRemove Classes { Thing.1 = s 'A Thing' { CLSID = s '{0000-1}' val Count = d '42' "
                L"val Hex = d '0x10' 'Two Words' = s 'it''s quoted' } }",
                true),
            S_OK);
  EXPECT_EQ(String(L"Classes\\Thing.1"), L"A Thing");
  EXPECT_EQ(String(L"Classes\\Thing.1\\CLSID"), L"{0000-1}");
  EXPECT_EQ(String(L"Classes\\Thing.1\\Two Words"), L"it's quoted");
  DWORD count = 0, hex = 0, size = sizeof count;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, (base + L"\\Classes\\Thing.1").c_str(), L"Count", RRF_RT_REG_DWORD,
                         nullptr, &count, &size),
            ERROR_SUCCESS);
  size = sizeof hex;
  RegGetValueW(HKEY_CURRENT_USER, (base + L"\\Classes\\Thing.1").c_str(), L"Hex", RRF_RT_REG_DWORD, nullptr, &hex,
               &size);
  EXPECT_EQ(count, 42u);
  EXPECT_EQ(hex, 16u);
}

TEST_F(RegistryScriptTest, UnregistrationFollowsEachKeysRemovalRule) {
  const std::wstring body =
      L"NoRemove Root { Plain = s 'p' { Leaf = s 'l' } Shared = s 's' "
      L"ForceRemove Forced = s 'f' { Listed = s 'x' } val Mine = s 'm' }";
  ASSERT_EQ(Run(body, true), S_OK);
  MakeKey(L"Root\\Forced\\NotListed");   // someone else's entries under keys of ours
  MakeKey(L"Root\\Shared\\Foreign");
  ASSERT_EQ(Run(body, false), S_OK);
  EXPECT_TRUE(Exists(L"Root"));                      // NoRemove: stays...
  EXPECT_EQ(String(L"Root", L"Mine"), std::nullopt);  // ...without the values it listed
  EXPECT_FALSE(Exists(L"Root\\Plain"));              // plain and now empty: removed
  EXPECT_FALSE(Exists(L"Root\\Forced"));             // ForceRemove: removed whole
  EXPECT_TRUE(Exists(L"Root\\Shared\\Foreign"));     // plain but still holding another's key: kept
  // Nothing left to remove: still a success.
  EXPECT_EQ(Run(body, false), S_OK);
}

// Sets the key's access list from SDDL text; false when the platform refuses.
bool SetKeyAccess(HKEY root, const std::wstring& path, const wchar_t* sddl) {
  ax::RegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, key.Put()) != ERROR_SUCCESS) return false;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
  const bool set = RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
  LocalFree(sd);
  return set;
}

// A key that may not be deleted is not removed: unregistration fails, and
// says so, for every kind of key (plain, ForceRemove). Only keys that are not
// there count as removed.
TEST_F(RegistryScriptTest, AKeyThatMayNotBeDeletedFailsUnregistration) {
  constexpr wchar_t kNoDelete[] = L"D:(D;;SD;;;WD)(A;;KA;;;WD)";  // everyone: all but DELETE
  constexpr wchar_t kAnything[] = L"D:(A;;KA;;;WD)";
  for (const wchar_t* body : {L"NoRemove Root { Locked = s 'l' }", L"NoRemove Root { ForceRemove Locked = s 'l' }"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(body)));
    ASSERT_EQ(Run(body, true), S_OK);
    const std::wstring locked = base + L"\\Root\\Locked";
    ASSERT_TRUE(SetKeyAccess(HKEY_CURRENT_USER, locked, kNoDelete));
    ax::RegKey probe;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, DELETE, probe.Put()) == ERROR_SUCCESS) {
      probe.Reset();
      SetKeyAccess(HKEY_CURRENT_USER, locked, kAnything);
      GTEST_SKIP() << "this platform does not enforce a key's access list";
    }
    const HRESULT refused = Run(body, false);
    EXPECT_TRUE(FAILED(refused)) << std::hex << refused;
    EXPECT_TRUE(Exists(L"Root\\Locked"));
    ASSERT_TRUE(SetKeyAccess(HKEY_CURRENT_USER, locked, kAnything));
    EXPECT_EQ(Run(body, false), S_OK);
    EXPECT_FALSE(Exists(L"Root\\Locked"));
  }
}

TEST_F(RegistryScriptTest, ForceRemoveClearsStaleEntriesBeforeWriting) {
  MakeKey(L"Forced\\Stale");
  ASSERT_EQ(Run(L"ForceRemove Forced = s 'new' { Fresh = s 'x' } Delete Gone", true), S_OK);
  EXPECT_FALSE(Exists(L"Forced\\Stale"));
  EXPECT_TRUE(Exists(L"Forced\\Fresh"));
  EXPECT_EQ(String(L"Forced"), L"new");
  EXPECT_FALSE(Exists(L"Gone"));
}

TEST_F(RegistryScriptTest, MalformedScriptsChangeNothing) {
  const wchar_t* bad[] = {
      L"A = s 'x' { B = s 'y' ",       // unclosed brace
      L"A = s 'unterminated }",        // unclosed quote
      L"A = q 'x'",                    // unknown value type
      L"A = d '99999999999'",          // DWORD out of range
      L"A = d 'twelve'",               // not a number
      L"A { val = s 'x' }",            // value without a name... its name would be '='
      L"}",                            // stray brace
  };
  for (const wchar_t* body : bad) {
    EXPECT_TRUE(FAILED(ax::RunRegistryScript(L"HKCU { Software { 'BidderAxTest-never' { " + std::wstring(body) + L" } } }",
                                             true, false)))
        << std::string(body, body + wcslen(body));
  }
  EXPECT_TRUE(FAILED(ax::RunRegistryScript(L"HKXX { A }", true, false)));
  ax::RegKey k;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\BidderAxTest-never", 0, KEY_READ, k.Put()), ERROR_SUCCESS);
}

TEST_F(RegistryScriptTest, ReplacementsAreInsertedAsQuotedText) {
  const std::wstring path = L"C:\\Program Files\\O'Brien's\\x.dll";
  const ax::ScriptReplacement values[] = {{L"MODULE", ax::QuoteForScript(path)}, {L"N", L"7"}};
  std::wstring expanded;
  ASSERT_EQ(ax::ExpandScript(Script(L"Server = s '%MODULE%, %N%' { val P = s '100%%' }"), values, expanded), S_OK);
  ASSERT_EQ(ax::RunRegistryScript(expanded, true, false), S_OK);
  EXPECT_EQ(String(L"Server"), path + L", 7");
  EXPECT_EQ(String(L"Server", L"P"), L"100%");

  EXPECT_TRUE(FAILED(ax::ExpandScript(L"%UNKNOWN%", values, expanded)));
  EXPECT_TRUE(FAILED(ax::ExpandScript(L"50% off", values, expanded)));
}

TEST_F(RegistryScriptTest, PerUserModeWritesClassesUnderTheCurrentUser) {
  const std::wstring name = L"BidderAxTest-" + std::to_wstring(GetCurrentProcessId()) + L".Class";
  const std::wstring script = L"HKCR { '" + name + L"' = s 'per user' }";
  ASSERT_EQ(ax::RunRegistryScript(script, true, true), S_OK);
  wchar_t data[64];
  DWORD size = sizeof data;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + name).c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                         data, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(data, L"per user");
  ASSERT_EQ(ax::RunRegistryScript(script, false, true), S_OK);
  ax::RegKey k;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + name).c_str(), 0, KEY_READ, k.Put()),
            ERROR_SUCCESS);
}

}  // namespace
