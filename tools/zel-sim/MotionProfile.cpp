#include "MotionProfile.h"

#include <algorithm>
#include <cmath>

namespace zelsim {

TMotionProfile::TMotionProfile(double From, double To, double Speed, double Accel)
    : FFrom(From), FTo(To), FAccel(Accel) {
    const double d = std::fabs(To - From);
    if (d <= 0)
        return;
    const double rampDistance = Speed * Speed / Accel; // both ramps together
    if (rampDistance >= d) {
        FRamp = std::sqrt(d / Accel);
        FPeak = Accel * FRamp;
        FCruise = 0;
    } else {
        FRamp = Speed / Accel;
        FPeak = Speed;
        FCruise = (d - rampDistance) / Speed;
    }
    FTotal = 2 * FRamp + FCruise;
}

double TMotionProfile::Travelled(double T) const {
    if (T <= 0)
        return 0;
    const double d = std::fabs(FTo - FFrom);
    if (T >= FTotal)
        return d;
    const double rampDistance = 0.5 * FAccel * FRamp * FRamp;
    if (T < FRamp)
        return 0.5 * FAccel * T * T;
    if (T < FRamp + FCruise)
        return rampDistance + FPeak * (T - FRamp);
    const double left = FTotal - T;
    return std::min(d, d - 0.5 * FAccel * left * left);
}

double TMotionProfile::PositionAt(double T) const {
    const double s = Travelled(T);
    return FTo >= FFrom ? FFrom + s : FFrom - s;
}

double TMotionProfile::SpeedAt(double T) const {
    if (T <= 0 || T >= FTotal)
        return 0;
    if (T < FRamp)
        return FAccel * T;
    if (T < FRamp + FCruise)
        return FPeak;
    return FAccel * (FTotal - T);
}

} // namespace zelsim
