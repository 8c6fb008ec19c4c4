#include "SensorModel.h"

#include "protocol/convert.h"
#include "SimCommands.h"

#include <algorithm>
#include <cmath>

namespace zelsim {

TSensorModel::TSensorModel(const TSensorConfig& Config)
    : FConfig(Config), FGain(Config.Gain), FThreshold(Config.Threshold), FBaseline(Config.Baseline) {}

namespace {
// A press cycle: idle, pressing (the contact grows), holding, releasing.
constexpr double CycleS = 4.0;
constexpr double PressStartS = 0.4, PressEndS = 1.8, ReleaseStartS = 2.8, ReleaseEndS = 3.4;
constexpr double NoiseCounts = 6.0; // peak of the cell noise; stays below the default threshold

double Smooth(double T) {
    T = std::clamp(T, 0.0, 1.0);
    return T * T * (3 - 2 * T);
}

// How hard the object presses at a phase of the cycle, 0 to 1.
double Pressing(double Phase) {
    if (Phase < PressStartS || Phase >= ReleaseEndS)
        return 0;
    if (Phase < PressEndS)
        return Smooth((Phase - PressStartS) / (PressEndS - PressStartS));
    if (Phase < ReleaseStartS)
        return 1;
    return 1 - Smooth((Phase - ReleaseStartS) / (ReleaseEndS - ReleaseStartS));
}

uint64_t Mix(uint64_t X) {
    X += 0x9E3779B97F4A7C15ull;
    X = (X ^ (X >> 30)) * 0xBF58476D1CE4E5B9ull;
    X = (X ^ (X >> 27)) * 0x94D049BB133111EBull;
    return X ^ (X >> 31);
}

// Uniform in [0, 1) from a seed.
double Unit(uint64_t Seed) {
    return double(Mix(Seed) >> 11) * (1.0 / 9007199254740992.0);
}
} // namespace

std::vector<uint16_t> TSensorModel::Cells(double Now) const {
    const int w = FConfig.MatrixWidth, h = FConfig.MatrixHeight;
    std::vector<uint16_t> cells(size_t(w) * size_t(h));
    // Each press lands somewhere else on the pad and drifts a little while it presses; the
    // contact patch widens and deepens with the force, and every cell carries a little noise.
    const auto cycle = uint64_t(std::max(0.0, std::floor(Now / CycleS)));
    const double phase = Now - double(cycle) * CycleS;
    const double press = Pressing(phase);
    const double cx = (w - 1) * (0.25 + 0.5 * Unit(cycle * 2)) + 0.6 * std::sin(Now * 1.7);
    const double cy = (h - 1) * (0.25 + 0.5 * Unit(cycle * 2 + 1)) + 0.6 * std::cos(Now * 1.3);
    const double reach = std::max(0.8, std::min(w, h) / 5.0) * (0.45 + 0.55 * press);
    const double inv2s2 = 1.0 / (2 * reach * reach);
    const double peak = FConfig.FullScale * 0.8 * FGain / 128.0 * press;
    const auto tick = uint64_t(std::llround(Now * 1000.0)) << 32;
    for (int y = 0; y < h; ++y) {
        const double dy2 = (y - cy) * (y - cy);
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            const double d2 = (x - cx) * (x - cx) + dy2;
            const double noise = NoiseCounts * (Unit(tick | i) + Unit(tick | i | (1ull << 31)) - 1);
            const double e = d2 * inv2s2;
            double v = FBaseline + noise + (peak > 0 && e < 24 ? peak * std::exp(-e) : 0);
            v = std::clamp<double>(v, 0, FConfig.FullScale);
            const auto cell = uint16_t(std::lround(v));
            cells[i] = cell < FThreshold ? 0 : cell;
        }
    }
    return cells;
}

void TSensorModel::AppendRunLength(const std::vector<uint16_t>& Cells, TByteArray& Out) {
    auto put = [&Out](int16_t word) {
        Out.push_back(uint8_t(uint16_t(word)));
        Out.push_back(uint8_t(uint16_t(word) >> 8));
    };
    size_t i = 0;
    while (i < Cells.size()) {
        if (Cells[i] != 0) {
            // Values above 32767 would read as runs; the full scale keeps cells below that.
            put(int16_t(std::min<uint16_t>(Cells[i], 32767)));
            ++i;
            continue;
        }
        size_t run = 0;
        while (i < Cells.size() && Cells[i] == 0 && run < 32768) {
            ++run;
            ++i;
        }
        put(int16_t(-int32_t(run)));
    }
}

TByteArray TSensorModel::Frame(double Now, bool RunLength) const {
    const auto cells = Cells(Now);
    FFramesMade.fetch_add(1, std::memory_order_relaxed);
    TByteArray out(5);
    WriteLongWord(out.data(), uint32_t(std::llround(Now * 1000.0)));
    out[4] = RunLength ? sensor::CodingRunLength : 0;
    if (RunLength) {
        AppendRunLength(cells, out);
    } else {
        out.resize(5 + 2 * cells.size());
        for (size_t i = 0; i < cells.size(); ++i)
            WriteWord(out.data() + 5 + 2 * i, cells[i]);
    }
    return out;
}

TByteArray TSensorModel::MatrixInfo() const {
    TByteArray out(10);
    WriteWord(out.data(), FConfig.MatrixWidth);
    WriteWord(out.data() + 2, FConfig.MatrixHeight);
    WriteWord(out.data() + 4, FConfig.CellWidth);
    WriteWord(out.data() + 6, FConfig.CellHeight);
    WriteWord(out.data() + 8, FConfig.FullScale);
    return out;
}

} // namespace zelsim
