#include "session/twain/manager_library.h"

namespace folvane {
namespace {

class SystemLibrary final : public TwainManagerLibrary {
 public:
  HMODULE Load() const override {
    HMODULE library = LoadLibraryA("TWAIN_32.DLL");
#ifdef _WIN64
    if (!library) library = LoadLibraryA("TWAINDSM.DLL");
#endif
    return library;
  }
  DSMENTRYPROC EntryPoint(HMODULE library) const override {
    // By ordinal, as the manager's export table has always numbered it.
    return reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(library, MAKEINTRESOURCEA(1))));
  }
  void Free(HMODULE library) const override { FreeLibrary(library); }
};

}  // namespace

const TwainManagerLibrary& SystemTwainManagerLibrary() {
  static const SystemLibrary library;
  return library;
}

}  // namespace folvane
