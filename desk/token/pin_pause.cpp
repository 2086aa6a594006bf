#include "desk/token/pin_pause.h"

namespace bidder::desk {

bool PinPause::IsPaused(const std::string& serial, TimePoint now) const {
  const auto found = tokens_.find(serial);
  return found != tokens_.end() && now < found->second.pausedUntil;
}

void PinPause::RecordWrongPin(const std::string& serial, TimePoint now) {
  WrongPins& token = tokens_[serial];
  if (++token.wrongInARow >= kWrongPinsBeforePause) {
    token.wrongInARow = 0;
    token.pausedUntil = now + kPause;
  }
}

void PinPause::RecordRightPin(const std::string& serial) {
  // Checked only outside a pause, so nothing of the entry is still needed.
  tokens_.erase(serial);
}

}  // namespace bidder::desk
