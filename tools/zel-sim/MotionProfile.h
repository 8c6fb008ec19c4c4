#pragma once
// Trapezoidal move from rest to rest: accelerate, cruise at the commanded speed, decelerate.
// Short moves never reach that speed and become triangular. Everything is a function of the
// time since the start, so a query at any instant sees the exact position.

namespace zelsim {

class TMotionProfile {
public:
    TMotionProfile() = default;
    // Speed and Accel are magnitudes and must be positive.
    TMotionProfile(double From, double To, double Speed, double Accel);

    double From() const { return FFrom; }
    double To() const { return FTo; }
    double Duration() const { return FTotal; }
    // T is seconds since the start; before it the move has not begun, after it it is over.
    double PositionAt(double T) const;
    double SpeedAt(double T) const; // magnitude

private:
    double Travelled(double T) const;

    double FFrom = 0, FTo = 0;
    double FAccel = 1;
    double FPeak = 0;   // highest speed actually reached
    double FRamp = 0;   // duration of each ramp
    double FCruise = 0; // duration at peak speed
    double FTotal = 0;
};

} // namespace zelsim
