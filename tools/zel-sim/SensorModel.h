#pragma once
// The matrix sensor: an object pressing on the pad again and again (the contact grows and fades),
// with noise on every cell, seen through gain, baseline and threshold, and coded as plain or
// run-length frames.
#include "SimConfig.h"
#include "protocol/Types.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace zelsim {

class TSensorModel {
public:
    explicit TSensorModel(const TSensorConfig& Config);

    // Cell values at an instant, row by row.
    std::vector<uint16_t> Cells(double Now) const;
    // Frame data: time stamp (ms), coding byte, then the cells as 16-bit words.
    TByteArray Frame(double Now, bool RunLength) const;
    // Matrix information answer data: five 16-bit fields.
    TByteArray MatrixInfo() const;

    void Tare() { FBaseline = 0; }
    uint8_t Gain() const { return FGain; }
    void SetGain(uint8_t Value) { FGain = Value; }
    uint16_t Threshold() const { return FThreshold; }
    void SetThreshold(uint16_t Value) { FThreshold = Value; }
    const TSensorConfig& Config() const { return FConfig; }

    // Frames made since the start, single and periodic (read from any thread: benchmarks).
    uint64_t FramesMade() const { return FFramesMade.load(std::memory_order_relaxed); }

    static void AppendRunLength(const std::vector<uint16_t>& Cells, TByteArray& Out);

private:
    TSensorConfig FConfig;
    uint8_t FGain;
    uint16_t FThreshold;
    uint16_t FBaseline;
    mutable std::atomic<uint64_t> FFramesMade{0};
};

} // namespace zelsim
