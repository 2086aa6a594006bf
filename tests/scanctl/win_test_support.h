#pragma once
// What the Windows tests of the scanning session share: a host window, a
// private temporary directory for the page files, and message pumping with a
// deadline.
#include <windows.h>

#include <functional>
#include <string>

#include "support/temp_dir.h"

namespace folvane::test {

// A plain top-level window owned by the test's thread, counting the messages
// it receives by number.
class HostWindow {
 public:
  HostWindow();
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND get() const { return window_; }
  int Received(UINT message) const;

 private:
  HWND window_ = nullptr;
};

// Points the process's temporary directory (TMP, as GetTempPathA reads it) at
// a fresh directory for as long as it lives, so that page files land there.
class PrivateTempDirectory {
 public:
  PrivateTempDirectory();
  ~PrivateTempDirectory();
  PrivateTempDirectory(const PrivateTempDirectory&) = delete;
  PrivateTempDirectory& operator=(const PrivateTempDirectory&) = delete;
  // With the trailing backslash, as GetTempPathA gives it.
  const std::string& Prefix() const { return prefix_; }
  bool Exists(const std::string& name) const;

 private:
  bidder::test::TempDir dir_;
  std::string prefix_;
  std::string savedTmp_;
  bool hadTmp_ = false;
};

// Runs the thread's message loop until `done` holds or `timeoutMs` passes;
// returns whether `done` held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Runs the loop for `ms` milliseconds.
void PumpFor(DWORD ms);

}  // namespace folvane::test
