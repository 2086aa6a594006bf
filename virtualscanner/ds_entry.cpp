// The source's one export, called by the data source manager.
#include "virtual_source.h"

namespace {
HMODULE g_module = nullptr;
}

namespace vscan {
VirtualSource& TheSource() {
  static VirtualSource source(g_module);
  return source;
}
}  // namespace vscan

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" TW_UINT16 PASCAL DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                     TW_MEMREF data) {
  try {
    return vscan::TheSource().Entry(origin, dg, dat, msg, data);
  } catch (...) {
    return TWRC_FAILURE;
  }
}
