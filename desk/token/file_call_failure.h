#pragma once
// The encryption control's result strings turned into the desk service's
// failures: the reason a page switches on, with the control's own text for
// the user.
#include <string_view>

#include "desk/rpc/errors.h"

namespace bidder::desk {

// What the service knows about a failed call beyond the control's message,
// which names only the step that failed.
struct FileCallCircumstances {
  bool inputIsFile = true;           // the input was there to read
  bool outOfSpace = false;           // the output's writing ran out of room
  bool passphraseUnsayable = false;  // the pass phrase has no GBK form
};

// `message` is a non-empty result string of the control (GBK).
rpc::Failure FailureOfFileCall(std::string_view message, const FileCallCircumstances& circumstances);

}  // namespace bidder::desk
