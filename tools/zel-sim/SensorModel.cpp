#include "SensorModel.h"

#include "convert.h"
#include "SimCommands.h"

#include <algorithm>
#include <cmath>

namespace zelsim {

TSensorModel::TSensorModel(const TSensorConfig& Config)
    : FConfig(Config), FGain(Config.Gain), FThreshold(Config.Threshold), FBaseline(Config.Baseline) {}

std::vector<uint16_t> TSensorModel::Cells(double Now) const {
    const int w = FConfig.MatrixWidth, h = FConfig.MatrixHeight;
    std::vector<uint16_t> cells(size_t(w) * size_t(h));
    // The spot follows a slow Lissajous path so that consecutive frames differ everywhere.
    const double cx = (w - 1) * 0.5 * (1 + std::sin(Now * 1.3));
    const double cy = (h - 1) * 0.5 * (1 + std::sin(Now * 0.9 + 1.0));
    const double sigma = std::max(1.0, std::min(w, h) / 4.0);
    const double peak = FConfig.FullScale * 0.8 * FGain / 128.0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            double v = FBaseline + peak * std::exp(-d2 / (2 * sigma * sigma));
            v = std::min<double>(v, FConfig.FullScale);
            const auto cell = uint16_t(std::lround(v));
            cells[size_t(y) * w + x] = cell < FThreshold ? 0 : cell;
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
