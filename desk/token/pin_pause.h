#pragma once
// The count of wrong PINs per token, and the pause that follows two in a
// row. A token's own counter locks it for good after a few wrong PINs; the
// pause keeps a script from spending those tries faster than one pair every
// ten minutes. Not synchronised: the token service calls it under its lock.
#include <chrono>
#include <map>
#include <string>

namespace bidder::desk {

class PinPause {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr int kWrongPinsBeforePause = 2;
  static constexpr std::chrono::minutes kPause{10};

  // Whether a PIN check for the token with this serial number must wait.
  bool IsPaused(const std::string& serial, TimePoint now) const;
  // A wrong PIN for the token; the second in a row starts the pause, after
  // which the count starts over.
  void RecordWrongPin(const std::string& serial, TimePoint now);
  // The right PIN: the count starts over.
  void RecordRightPin(const std::string& serial);

 private:
  struct WrongPins {
    int wrongInARow = 0;
    TimePoint pausedUntil{};
  };
  std::map<std::string, WrongPins> tokens_;
};

}  // namespace bidder::desk
