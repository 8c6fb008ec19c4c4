#pragma once
// The data behind the live plot: finger position, grasping force and grasping-state changes, each
// stamped with its arrival time on a monotonic clock, kept in bounded rings so that a console left
// running for days holds a steady amount of memory. No widgets here: the window reads from it, the
// tests and benchmarks drive it directly.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// Microseconds on a monotonic clock; tests substitute their own.
using TPlotClock = std::function<int64_t()>;
int64_t SteadyMicroseconds();

struct TPlotPoint {
    double T; // seconds since the first sample
    double V;
};

// One channel of samples in arrival order. Times are kept as microseconds and values as float
// (the device reports single floats), 12 bytes a sample.
class TSampleRing {
public:
    explicit TSampleRing(size_t Capacity) : FCapacity(Capacity) {}

    void Append(int64_t TimeUs, float Value);
    void Clear();
    size_t Size() const { return FTime.size(); }
    size_t Capacity() const { return FCapacity; }
    // Index 0 is the oldest retained sample.
    int64_t TimeAt(size_t I) const { return FTime[Physical(I)]; }
    float ValueAt(size_t I) const { return FValue[Physical(I)]; }
    // First index whose time is not below TimeUs (Size() when there is none).
    size_t LowerBound(int64_t TimeUs) const { return LowerBound(TimeUs, 0, Size()); }
    // The same, searching only [From, To).
    size_t LowerBound(int64_t TimeUs, size_t From, size_t To) const;
    // Indices of the first minimum and the first maximum of the values in [First, End), First < End.
    std::pair<size_t, size_t> MinMaxIndex(size_t First, size_t End) const;
    // Bytes held by the two arrays once the ring is full.
    size_t BytesWhenFull() const { return FCapacity * (sizeof(int64_t) + sizeof(float)); }

private:
    size_t Physical(size_t I) const {
        size_t P = FHead + I;
        return P >= FTime.size() ? P - FTime.size() : P;
    }
    size_t FCapacity;
    size_t FHead = 0; // physical index of the oldest sample once the ring has wrapped
    std::vector<int64_t> FTime;
    std::vector<float> FValue;
};

class TPlotBuffer {
public:
    // 30 minutes at 1 kHz for position and force each.
    static constexpr size_t DefaultSamples = 30 * 60 * 1000;
    // Grasping-state changes are rare; this bounds a device that toggles without end.
    static constexpr size_t DefaultStateChanges = 65536;

    explicit TPlotBuffer(TPlotClock Clock = {}, size_t Samples = DefaultSamples,
                         size_t StateChanges = DefaultStateChanges);

    // Each stamps the value with the clock's time at the call.
    void AddPosition(double Mm);
    void AddForce(double N);
    void AddGraspingState(int State);
    void Clear();

    const TSampleRing& Position() const { return FPosition; }
    const TSampleRing& Force() const { return FForce; }
    const TSampleRing& GraspingStates() const { return FStates; }

    // Seconds since the first sample (the plot's time axis); 0 before any sample.
    double Now() const;
    double ToSeconds(int64_t TimeUs) const { return double(TimeUs - FEpoch) * 1e-6; }
    int64_t ToMicroseconds(double Seconds) const { return FEpoch + int64_t(Seconds * 1e6); }
    // Seconds of the oldest and newest retained sample of any kind.
    std::optional<double> FirstTime() const;
    std::optional<double> LastTime() const;
    // Incremented on every change, so a view can skip redrawing when nothing arrived.
    uint64_t Generation() const { return FGeneration; }

    // The last value at or before the time, if any.
    std::optional<double> PositionAt(double Seconds) const;
    std::optional<double> ForceAt(double Seconds) const;
    std::optional<int> GraspingStateAt(double Seconds) const;

    // Bytes of all rings once full.
    size_t BytesWhenFull() const;

private:
    int64_t Stamp();
    TPlotClock FClock;
    int64_t FEpoch = 0;
    bool FStarted = false;
    uint64_t FGeneration = 0;
    TSampleRing FPosition;
    TSampleRing FForce;
    TSampleRing FStates;
};

// The last value at or before TimeUs.
std::optional<float> ValueAt(const TSampleRing& Ring, int64_t TimeUs);

// Reduces the samples of [T0, T1] (seconds on Buffer's axis) to what Columns pixel columns can
// show: per column its minimum and maximum in the order they occurred (one point when equal),
// plus the last sample before T0 and the first after T1 so that the line runs to both edges.
std::vector<TPlotPoint> ReducePoints(const TPlotBuffer& Buffer, const TSampleRing& Ring, double T0, double T1,
                                     int Columns);

// A run of one grasping state on the time axis, clipped to the asked range.
struct TStateSpan {
    double T0;
    double T1;
    int State;
};
// The grasping-state runs covering [T0, T1]; the state before the first change is unknown and
// left out. The last run ends at T1.
std::vector<TStateSpan> StateSpans(const TPlotBuffer& Buffer, double T0, double T1);

// The name the gripper window shows for a grasping state, or its number when out of range.
std::string GraspingStateText(int State);

// All retained data, one row per arrival in time order: "Time (s),Position (mm),Force (N),Grasping
// state". Each row carries the latest value of every column at that time (empty until the first
// one arrived). Numbers use a full stop whatever the locale.
void WriteCsv(const TPlotBuffer& Buffer, std::ostream& Out);
// Writes the CSV to a file; false with a reason when it cannot be written.
bool ExportCsv(const TPlotBuffer& Buffer, const std::string& Path, std::string* Error = nullptr);
