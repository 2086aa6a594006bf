#pragma once
// What a new scanning control is built with: the system's TWAIN manager and
// the system's dialogs, unless a test program puts its own in their place
// before it creates controls.
#include "session/session_ui.h"
#include "session/twain/manager_library.h"

namespace folvane {

struct ControlServices {
  const TwainManagerLibrary* twain;
  SessionUi* ui;
};

// The services for controls created from now on (one set per module).
ControlServices& NewControlServices();

}  // namespace folvane
