#pragma once
// The matrix sensor for a Python program: its description, single frames and periodic frames.
#include "ZelDevice.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class TTAQ;

namespace zelpy {

struct TFrame {
    uint32_t Timestamp = 0;
    int Width = 0;
    int Height = 0;
    std::vector<int32_t> Cells; // row by row, as the sensor sends them
};

struct TMatrix {
    int Width, Height;
    float CellWidth, CellHeight, SensorWidth, SensorHeight;
    std::string TransducerType;
    double Gain;
    int Threshold;
};

class TSensor : public TDeviceSession {
public:
    static constexpr size_t Capacity = 1000;

    TSensor();
    ~TSensor() override;

    TMatrix Matrix() const;
    TFrame Frame(bool RunLength);
    // Periodic acquisition: the sensor sends a frame every Period ms until StopFrames.
    void StartFrames(int Period, bool RunLength);
    void StopFrames();
    bool NextFrame(double TimeoutSeconds, TFrame& Frame);
    uint64_t Dropped() const { return FDropped; }

private:
    TTAQ& Taq() const;
    TFrame Copy() const;

    bool FCollecting = false;
    std::deque<TFrame> FFrames;
    uint64_t FDropped = 0;
};

} // namespace zelpy
