#pragma once
// A mouse wheel turns in notches of 120 (eighths of a degree); a touchpad
// sends small deltas. Both programs act on whole notches only: the small
// deltas add up, and a turn back the other way starts counting afresh.
namespace kv {

inline constexpr int kWheelNotch = 120;

class WheelNotches {
 public:
  // Whole notches this delta completes: positive away from the user,
  // negative towards.
  int Add(int delta) {
    if ((rest_ > 0 && delta < 0) || (rest_ < 0 && delta > 0)) rest_ = 0;
    rest_ += delta;
    const int notches = rest_ / kWheelNotch;  // truncates toward zero
    rest_ -= notches * kWheelNotch;
    return notches;
  }
  void Reset() { rest_ = 0; }

 private:
  int rest_ = 0;
};

}  // namespace kv
