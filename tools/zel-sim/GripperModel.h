#pragma once
// The gripper's mechanics and state in simulated real time. Every call takes the current time
// (seconds on a monotonic clock); positions are computed from the running motion profile, and
// Advance moves the model across phase ends (travel over, grip tight, part lost).
#include "MotionProfile.h"
#include "SimCommands.h"
#include "SimConfig.h"
#include "protocol/stat.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace zelsim {

// The final result of a command that answered pending, for the session that started it.
struct TFinished {
    uint8_t CommandID;
    TStat Status;
    uint64_t Owner;
};

struct TGraspingStats {
    uint32_t Grasps = 0;
    uint16_t PartsNotFound = 0;
    uint16_t PartsLost = 0;
};

class TGripperModel {
public:
    explicit TGripperModel(const TGripperConfig& Config);

    // Each checks its arguments and the device state and then starts the motion (E_CMD_PENDING);
    // the final result comes out of Advance.
    TStat Homing(uint8_t Direction, double Now, uint64_t Owner);
    TStat Move(float Position, float Speed, double Now, uint64_t Owner);
    TStat Grasp(float Width, float Speed, double Now, uint64_t Owner);
    TStat Release(float Position, float Speed, double Now, uint64_t Owner);
    // Both end a running motion where it is; its final result (E_CMD_ABORTED) goes into Finished.
    void Stop(double Now, std::vector<TFinished>& Finished);
    void FastStop(double Now, std::vector<TFinished>& Finished);
    void FastStopAck();

    TStat SetAcceleration(float Value);
    TStat SetForceLimit(float Value);
    float Acceleration() const { return FAcceleration; }
    float ForceLimit() const { return FForceLimit; }

    // Drops a held part; false when nothing is held.
    bool LosePart();
    TGraspingStats Stats() const { return FStats; }
    void ResetStats() { FStats = {}; }

    void Advance(double Now, std::vector<TFinished>& Finished);
    // When Advance next has something to do; infinity when nothing is pending.
    double NextEventTime() const;

    uint32_t SystemState(double Now, int16_t Temperature) const;
    gripper::EGraspState GraspState() const { return FGraspState; }
    float Position(double Now) const;
    float Speed(double Now) const;
    float Force(double Now) const;
    const TGripperLimits& Limits() const { return FConfig.Limits; }
    bool Referenced() const { return FReferenced; }
    bool InFastStop() const { return FFastStop; }
    bool Busy() const { return FMotion.has_value(); }

private:
    enum class EKind { Homing, Move, Grasp, Release };
    struct TMotion {
        EKind Kind;
        uint8_t CommandID;
        uint64_t Owner;
        TMotionProfile Profile;
        double Start;
        bool Contact = false;    // grasp: the right part is met at the end of the travel
        bool Blocked = false;    // move: the part stops the fingers short of the target
        bool Tightening = false; // grasp: travel over, force building up
        double ContactTime = 0;
    };

    TStat CheckMotion(float Position, float Speed, bool NeedsReference) const;
    void StartMotion(TMotion Motion, double Target, double Speed, double Now);
    void Finish(TStat Status, std::vector<TFinished>& Finished);
    void Abort(double Now, std::vector<TFinished>& Finished);
    double TightenTime() const;
    bool PartBetweenFingers(double Position) const;

    TGripperConfig FConfig;
    double FPosition;
    float FAcceleration;
    float FForceLimit;
    bool FReferenced;
    bool FFastStop = false;
    bool FAxisStopped = false;
    bool FTargetReached = false;
    bool FBlockedMinus = false;
    bool FCommandFailure = false;
    bool FPartPresent;
    gripper::EGraspState FGraspState = gripper::EGraspState::Idle;
    double FHoldSince = 0;
    std::optional<TMotion> FMotion;
    TGraspingStats FStats;
};

} // namespace zelsim
