#pragma once
// The module's own type library (resource TYPELIB 1 of the module file):
// loading it, finding type descriptions in it, and registering it
// machine-wide or for the current user.
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>

#include "com_ptr.h"

namespace ax {

struct TypeLibraryId {
  const GUID* libid;
  WORD major;
  WORD minor;
};

// The module's type library, checked to be the one named.
HRESULT LoadModuleTypeLibrary(const TypeLibraryId& id, ComPtr<ITypeLib>& out);
// The description of one interface or coclass of it.
HRESULT LoadModuleTypeInfo(const TypeLibraryId& id, REFGUID guid, ComPtr<ITypeInfo>& out);

// Registers (or removes the registration of) the module's type library under
// the module file's path. Per user through RegisterTypeLibForUser and
// UnRegisterTypeLibForUser when the system has them, machine-wide otherwise.
HRESULT RegisterModuleTypeLibrary(bool perUser);
// Machine-wide, and only when the module's library is the one named (its
// GUID); TYPE_E_LIBNOTREGISTERED for another library.
HRESULT RegisterModuleTypeLibrary(const TypeLibraryId& id);
HRESULT UnregisterModuleTypeLibrary(bool perUser);

}  // namespace ax
