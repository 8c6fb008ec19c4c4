#pragma once
// The gripper for a Python program: its operations in the device layer's units (mm, mm/s, N),
// motions that can be waited for, and automatic updates for callbacks and iterators.
#include "ZelDevice.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class TZEL;

namespace zelpy {

enum TUpdateKind : int {
    SystemStateUpdate = 0,
    GraspingStateUpdate,
    PositionUpdate,
    ForceUpdate,
    UpdateKinds
};

struct TUpdate {
    int Kind = 0;
    double Value = 0; // flags and states as whole numbers
    double Time = 0;  // seconds of the monotonic clock (Python's time.monotonic)
};

// One subscription to automatic updates: a queue for an iterator, or a callback.
struct TUpdates {
    static constexpr size_t Capacity = 100000;
    unsigned Kinds = 0; // bit per TUpdateKind
    int Period = 0;
    bool OnChangeOnly = true;
    bool Open = true;
    std::function<void(const TUpdate&)> Callback; // runs without the interpreter lock held
    std::deque<TUpdate> Queue;
    uint64_t Received = 0;
    uint64_t Dropped = 0; // the oldest go when an iterator falls Capacity behind
    size_t MaxBacklog = 0;
};

struct TLimits {
    float Stroke, MinSpeed, MaxSpeed, MinAcceleration, MaxAcceleration, MinForce, NominalForce,
        OverdriveForce;
};

class TGripper;

// A motion started without waiting.
class TMotion {
public:
    TMotion(std::shared_ptr<TGripper> Gripper, uint8_t CommandID, int FirstStatus,
            std::shared_ptr<TFinal> Final);
    const std::string& Command() const { return FCommand; }
    bool Done() const;
    int Status() const; // the final status; -1 while it runs
    void Wait(double TimeoutSeconds);

private:
    std::shared_ptr<TGripper> FGripper;
    uint8_t FCommandID;
    std::string FCommand;
    int FFirstStatus;
    std::shared_ptr<TFinal> FFinal;
};

class TGripper : public TDeviceSession, public std::enable_shared_from_this<TGripper> {
public:
    TGripper();
    ~TGripper() override;

    // A motion: 0x20 HOMING, 0x21 MOVE, 0x25 GRASP, 0x26 RELEASE; Args as the operation takes them.
    std::shared_ptr<TMotion> Start(uint8_t CommandID, float A, float B);
    void Stop();
    void FastStop();
    void Ack();
    float Position();
    float Force();
    int GraspingState();
    uint32_t SystemState();
    TLimits Limits() const;

    std::shared_ptr<TUpdates> Subscribe(unsigned Kinds, int Period, bool OnChangeOnly,
                                        std::function<void(const TUpdate&)> Callback);
    void Unsubscribe(TUpdates& Updates);
    // Waits for the next queued update; false when the time is up.
    bool NextUpdate(TUpdates& Updates, double TimeoutSeconds, TUpdate& Update);

private:
    TZEL& Zel() const;
    TByteArray Query(uint8_t CommandID, size_t Length, const char* What);
    void Deliver(int Kind, double Value);
    void SwitchUpdates(unsigned Kinds, bool Enable, int Period, bool OnChangeOnly);

    std::vector<std::shared_ptr<TUpdates>> FUpdates;
};

} // namespace zelpy
