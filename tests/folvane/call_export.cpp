// Calls one HRESULT-returning export without arguments (DllRegisterServer,
// DllUnregisterServer) of a DLL and prints the exact result, which regsvr32
// only hints at through its exit code.
//   call_export DLL EXPORT
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "support/com_module.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: call_export DLL EXPORT\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 1;
  int status = 1;
  {
    const bidder::test::LoadedModule module(argv[1]);
    const std::string exportName(argv[2], argv[2] + wcslen(argv[2]));  // export names are ASCII
    const auto call = module.Export<bidder::test::HresultFn>(exportName.c_str());
    if (!module) {
      std::fprintf(stderr, "cannot load %ls (%lu)\n", argv[1], GetLastError());
    } else if (!call) {
      std::fprintf(stderr, "no export %s\n", exportName.c_str());
    } else {
      std::printf("0x%08lX\n", static_cast<unsigned long>(call()));
      status = 0;
    }
  }
  CoUninitialize();
  return status;
}
