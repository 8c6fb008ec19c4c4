#include "GripperModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelsim {

using gripper::EGraspState;

namespace {
bool InRange(float Value, float Low, float High) {
    return std::isfinite(Value) && Value >= Low && Value <= High;
}
} // namespace

TGripperModel::TGripperModel(const TGripperConfig& Config)
    : FConfig(Config), FAcceleration(Config.Acceleration),
      FForceLimit(Config.ForceLimit < 0 ? Config.Limits.NominalForce : Config.ForceLimit),
      FReferenced(Config.StartReferenced), FPartPresent(Config.HasPart) {
    const auto& l = FConfig.Limits;
    FPosition = Config.StartPosition < 0 ? l.Stroke / 2 : std::min<double>(Config.StartPosition, l.Stroke);
    FAcceleration = std::clamp(FAcceleration, l.MinAcceleration, l.MaxAcceleration);
    FForceLimit = std::clamp(FForceLimit, l.MinForce, l.NominalForce);
}

TStat TGripperModel::CheckMotion(float Position, float Speed, bool NeedsReference) const {
    if (FFastStop)
        return E_ACCESS_DENIED;
    if (NeedsReference && !FReferenced)
        return E_NOT_INITIALIZED;
    const auto& l = FConfig.Limits;
    if (!InRange(Position, 0, l.Stroke) || !InRange(Speed, l.MinSpeed, l.MaxSpeed))
        return E_RANGE_ERROR;
    if (FMotion)
        return E_ALREADY_RUNNING;
    return E_SUCCESS;
}

void TGripperModel::StartMotion(TMotion Motion, double Target, double Speed, double Now) {
    // A new motion gives up whatever the fingers held and clears the outcome of the last one.
    FAxisStopped = FTargetReached = FBlockedMinus = FCommandFailure = false;
    Motion.Profile = TMotionProfile(FPosition, Target, Speed, FAcceleration);
    Motion.Start = Now;
    FMotion = Motion;
    switch (Motion.Kind) {
    case EKind::Homing:
    case EKind::Move:
        FGraspState = EGraspState::Positioning;
        break;
    case EKind::Grasp:
        FGraspState = EGraspState::Grasping;
        break;
    case EKind::Release:
        FGraspState = EGraspState::Releasing;
        break;
    }
}

TStat TGripperModel::Homing(uint8_t Direction, double Now, uint64_t Owner) {
    if (Direction > 2)
        return E_INVALID_PARAMETER;
    if (FFastStop)
        return E_ACCESS_DENIED;
    if (FMotion)
        return E_ALREADY_RUNNING;
    // Direction 2 references against the closed end, 0 (default) and 1 against the open end.
    const double target = Direction == 2 ? 0.0 : FConfig.Limits.Stroke;
    FReferenced = false;
    StartMotion({EKind::Homing, gripper::HOMING, Owner, {}, 0}, target, FConfig.HomingSpeed, Now);
    return E_CMD_PENDING;
}

bool TGripperModel::PartBetweenFingers(double Position) const {
    return FConfig.HasPart && FPartPresent && Position >= FConfig.PartWidth;
}

TStat TGripperModel::Move(float Position, float Speed, double Now, uint64_t Owner) {
    const TStat s = CheckMotion(Position, Speed, true);
    if (s != E_SUCCESS)
        return s;
    TMotion m{EKind::Move, gripper::MOVE, Owner, {}, 0};
    double target = Position;
    if (PartBetweenFingers(FPosition) && target < FConfig.PartWidth) {
        target = FConfig.PartWidth;
        m.Blocked = true;
    }
    StartMotion(m, target, Speed, Now);
    return E_CMD_PENDING;
}

TStat TGripperModel::Grasp(float Width, float Speed, double Now, uint64_t Owner) {
    const TStat s = CheckMotion(Width, Speed, true);
    if (s != E_SUCCESS)
        return s;
    TMotion m{EKind::Grasp, gripper::GRASP, Owner, {}, 0};
    const double tol = FConfig.PartTolerance;
    const double pw = FConfig.PartWidth;
    // Without contact the fingers close to the far end of the clamping window and find nothing.
    double target = std::min(FPosition, std::max(0.0, Width - tol));
    if (PartBetweenFingers(FPosition) && pw >= target) {
        target = pw;
        m.Contact = std::fabs(Width - pw) <= tol;
    }
    StartMotion(m, target, Speed, Now);
    return E_CMD_PENDING;
}

TStat TGripperModel::Release(float Position, float Speed, double Now, uint64_t Owner) {
    const TStat s = CheckMotion(Position, Speed, true);
    if (s != E_SUCCESS)
        return s;
    // Opening the fingers is when the next part is put in.
    FPartPresent = FConfig.HasPart;
    StartMotion({EKind::Release, gripper::RELEASE, Owner, {}, 0}, Position, Speed, Now);
    return E_CMD_PENDING;
}

void TGripperModel::Finish(TStat Status, std::vector<TFinished>& Finished) {
    Finished.push_back({FMotion->CommandID, Status, FMotion->Owner});
    FMotion.reset();
}

void TGripperModel::Abort(double Now, std::vector<TFinished>& Finished) {
    if (!FMotion)
        return;
    if (!FMotion->Tightening)
        FPosition = FMotion->Profile.PositionAt(Now - FMotion->Start);
    FGraspState = EGraspState::Idle;
    Finish(E_CMD_ABORTED, Finished);
}

void TGripperModel::Stop(double Now, std::vector<TFinished>& Finished) {
    Advance(Now, Finished);
    Abort(Now, Finished);
    FAxisStopped = true;
}

void TGripperModel::FastStop(double Now, std::vector<TFinished>& Finished) {
    Advance(Now, Finished);
    Abort(Now, Finished);
    FAxisStopped = true;
    FFastStop = true;
    // The drive is off: nothing is held any more until the stop is acknowledged.
    FGraspState = EGraspState::Error;
}

void TGripperModel::FastStopAck() {
    FFastStop = false;
    if (FGraspState == EGraspState::Error)
        FGraspState = EGraspState::Idle;
}

TStat TGripperModel::SetAcceleration(float Value) {
    if (!InRange(Value, FConfig.Limits.MinAcceleration, FConfig.Limits.MaxAcceleration))
        return E_RANGE_ERROR;
    FAcceleration = Value;
    return E_SUCCESS;
}

TStat TGripperModel::SetForceLimit(float Value) {
    if (!InRange(Value, FConfig.Limits.MinForce, FConfig.Limits.NominalForce))
        return E_RANGE_ERROR;
    FForceLimit = Value;
    return E_SUCCESS;
}

bool TGripperModel::LosePart() {
    if (FGraspState != EGraspState::Holding)
        return false;
    FGraspState = EGraspState::PartLost;
    FPartPresent = false;
    ++FStats.PartsLost;
    return true;
}

double TGripperModel::TightenTime() const {
    return FConfig.ForceRate > 0 ? FForceLimit / FConfig.ForceRate : 0;
}

void TGripperModel::Advance(double Now, std::vector<TFinished>& Finished) {
    while (FMotion) {
        TMotion& m = *FMotion;
        if (m.Tightening) {
            const double tight = m.ContactTime + TightenTime();
            if (Now < tight)
                break;
            FGraspState = EGraspState::Holding;
            FHoldSince = tight;
            ++FStats.Grasps;
            Finish(E_SUCCESS, Finished);
            break;
        }
        const double end = m.Start + m.Profile.Duration();
        if (Now < end)
            break;
        FPosition = m.Profile.To();
        switch (m.Kind) {
        case EKind::Homing:
            FReferenced = true;
            FTargetReached = true;
            FGraspState = EGraspState::Idle;
            Finish(E_SUCCESS, Finished);
            break;
        case EKind::Move:
        case EKind::Release:
            FGraspState = EGraspState::Idle;
            if (m.Blocked) {
                FBlockedMinus = FCommandFailure = true;
                Finish(E_AXIS_BLOCKED, Finished);
            } else {
                FTargetReached = true;
                Finish(E_SUCCESS, Finished);
            }
            break;
        case EKind::Grasp:
            if (m.Contact) {
                m.Tightening = true;
                m.ContactTime = end;
                continue;
            }
            FGraspState = EGraspState::NoPart;
            FCommandFailure = true;
            ++FStats.Grasps;
            ++FStats.PartsNotFound;
            Finish(E_CMD_FAILED, Finished);
            break;
        }
    }
    if (FGraspState == EGraspState::Holding && FConfig.LosePartAfterMs > 0 &&
        Now >= FHoldSince + FConfig.LosePartAfterMs / 1000.0)
        LosePart();
}

double TGripperModel::NextEventTime() const {
    double next = std::numeric_limits<double>::infinity();
    if (FMotion)
        next = FMotion->Tightening ? FMotion->ContactTime + TightenTime()
                                   : FMotion->Start + FMotion->Profile.Duration();
    else if (FGraspState == EGraspState::Holding && FConfig.LosePartAfterMs > 0)
        next = FHoldSince + FConfig.LosePartAfterMs / 1000.0;
    return next;
}

uint32_t TGripperModel::SystemState(double Now, int16_t Temperature) const {
    using namespace gripper;
    uint32_t s = 0;
    if (FReferenced)
        s |= SF_REFERENCED;
    if (FMotion && !FMotion->Tightening && Now < FMotion->Start + FMotion->Profile.Duration())
        s |= SF_MOVING;
    if (FBlockedMinus)
        s |= SF_BLOCKED_MINUS;
    if (FAxisStopped)
        s |= SF_AXIS_STOPPED;
    if (FTargetReached)
        s |= SF_TARGET_POS_REACHED;
    if (FFastStop)
        s |= SF_FAST_STOP;
    if (Temperature >= FConfig.TemperatureWarning)
        s |= SF_TEMPERATURE_WARNING;
    if (Temperature >= FConfig.TemperatureFault)
        s |= SF_TEMPERATURE_FAULT;
    if (FCommandFailure)
        s |= SF_COMMAND_FAILURE;
    return s;
}

float TGripperModel::Position(double Now) const {
    if (FMotion && !FMotion->Tightening)
        return float(FMotion->Profile.PositionAt(Now - FMotion->Start));
    return float(FPosition);
}

float TGripperModel::Speed(double Now) const {
    if (FMotion && !FMotion->Tightening)
        return float(FMotion->Profile.SpeedAt(Now - FMotion->Start));
    return 0.0f;
}

float TGripperModel::Force(double Now) const {
    if (FMotion && FMotion->Tightening)
        return float(std::min<double>(FForceLimit, FConfig.ForceRate * (Now - FMotion->ContactTime)));
    return FGraspState == EGraspState::Holding ? FForceLimit : 0.0f;
}

} // namespace zelsim
