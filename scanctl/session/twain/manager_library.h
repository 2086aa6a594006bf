#pragma once
// How a session reaches the TWAIN data source manager: loading its library,
// finding DSM_Entry (ordinal 1) and unloading it again. The session takes this
// as its one seam, so that tests can put a scripted manager behind it.
#include "twain/twain_api.h"

namespace folvane {

class TwainManagerLibrary {
 public:
  // The library's module handle, or null when there is no manager.
  virtual HMODULE Load() const = 0;
  // DSM_Entry of a loaded library, or null.
  virtual DSMENTRYPROC EntryPoint(HMODULE library) const = 0;
  virtual void Free(HMODULE library) const = 0;

 protected:
  ~TwainManagerLibrary() = default;
};

// The system's manager: "TWAIN_32.DLL" by the system's search; a 64-bit
// process, which cannot load the 32-bit manager of a real Windows system,
// falls back to the TWAIN 2 manager "TWAINDSM.DLL".
const TwainManagerLibrary& SystemTwainManagerLibrary();

}  // namespace folvane
