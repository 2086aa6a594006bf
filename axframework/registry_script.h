#pragma once
// Registry scripts: a module's registry entries as text, with replaceable
// values, written at registration and removed at unregistration.
//
//   HKCR
//   {
//     NoRemove CLSID                       never removed itself
//     {
//       ForceRemove {guid} = s 'Name'      removed whole before writing and at removal
//       {
//         InprocServer32 = s '%MODULE%'    %NAME% is replaced before parsing
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//         Counter = d '7'
//       }
//     }
//   }
//
// Names and values are bare words or single-quoted text ('' is a quote);
// tokens are separated by white space. Values are s (string) or d (DWORD).
// A plain key is removed at unregistration once none of its subkeys remain;
// `Delete` removes a key at registration. Keys that are already missing
// count as removed. Roots: HKCR, HKCU, HKLM (and their long names); in
// per-user mode HKCR means HKEY_CURRENT_USER\Software\Classes.
#include <windows.h>

#include <span>
#include <string>
#include <string_view>

namespace ax {

struct ScriptReplacement {
  std::wstring_view name;   // without the percent signs
  std::wstring value;       // inserted as it is: quote it with QuoteForScript
};

// Doubles every single quote, so that the text can stand inside quotes.
std::wstring QuoteForScript(std::wstring_view text);

// Replaces %NAME% and %% in the script. Fails (ERROR_INVALID_DATA) on an
// unknown or unterminated name.
HRESULT ExpandScript(std::wstring_view script, std::span<const ScriptReplacement> replacements, std::wstring& out);

// Parses the whole script first (a malformed script changes nothing), then
// writes or removes its entries. Stops at the first failure and returns it.
HRESULT RunRegistryScript(std::wstring_view expandedScript, bool registering, bool perUser);

// The same for a script kept as resource type "REGISTRY" in the module.
HRESULT RunRegistryScriptResource(UINT resourceId, std::span<const ScriptReplacement> replacements,
                                  bool registering, bool perUser);

}  // namespace ax
