#pragma once
// Registry entries of a control module's classes, written and removed in
// code (for modules whose entries follow the classic control layout rather
// than a registry script). Everything goes under HKEY_CLASSES_ROOT, or the
// current user's classes while per-user registration is on (module.h). The
// module is named by its short (8.3) path where the system has one.
#include <windows.h>

#include <string>

namespace ax {

struct ControlClassInfo {
  const CLSID* clsid;
  const wchar_t* progId;
  UINT typeNameId;    // string resource: the user type name
  UINT bitmapId;      // toolbox bitmap resource number
  bool apartment;     // ThreadingModel "Apartment"
  DWORD miscStatus;   // OLEMISC_* bits, for MiscStatus\1
  const GUID* libid;  // the type library the class is described in
  WORD major;
  WORD minor;
};

// The module file's short path, or its full path where there is no short
// one; empty when neither can be had.
std::wstring ShortModulePath() noexcept;

// CLSID\{clsid} with its name, ProgID, InprocServer32 (and threading model),
// ToolboxBitmap32, MiscStatus, Control, TypeLib and Version; the ProgID key
// with the name and CLSID. False on the first failure.
bool RegisterControlClass(const ControlClassInfo& info) noexcept;
// CLSID\{clsid} with its name and InprocServer32 only.
bool RegisterPropertyPageClass(const CLSID& clsid, UINT typeNameId) noexcept;
// Removes the class: the whole CLSID tree (and the ProgID tree, when given),
// unless a 16-bit server ("InprocServer") shares the CLSID; then only
// InprocServer32 and ToolboxBitmap32 go. Keys already missing count as
// removed.
bool UnregisterClass(const CLSID& clsid, const wchar_t* progId) noexcept;

}  // namespace ax
