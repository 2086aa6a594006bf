// Calls one HRESULT-returning export without arguments (DllRegisterServer,
// DllUnregisterServer) of a DLL and prints the exact result, which regsvr32
// only hints at through its exit code.
//   call_export DLL EXPORT
#include <windows.h>
#include <objbase.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: call_export DLL EXPORT\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 1;
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) {
    std::fprintf(stderr, "cannot load %s (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  using Export = HRESULT(WINAPI*)();
  auto call = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module, argv[2])));
  if (!call) {
    std::fprintf(stderr, "no export %s\n", argv[2]);
    return 1;
  }
  std::printf("0x%08lX\n", static_cast<unsigned long>(call()));
  CoUninitialize();
  return 0;
}
