#include "protocol/crc.h"

#include <array>

namespace {
constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned v = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 0x8000) ? ((v << 1) ^ 0x1021) : (v << 1);
        t[i] = static_cast<uint16_t>(v & 0xFFFF);
    }
    return t;
}
constexpr std::array<uint16_t, 256> Table = MakeTable();
static_assert(Table[1] == 0x1021 && Table[254] == 0x0ED1 && Table[255] == 0x1EF0);

// The step is linear, so a block of bytes can be folded at once: Slice[k][v] is the running
// value that byte v leaves after k further zero bytes, starting from zero. Sixteen bytes then
// cost sixteen independent lookups instead of a chain of sixteen dependent steps.
constexpr int SliceCount = 16;
using TSlices = std::array<std::array<uint16_t, 256>, SliceCount>;
constexpr TSlices MakeSlices() {
    TSlices s{};
    s[0] = Table;
    for (int k = 1; k < SliceCount; ++k)
        for (unsigned i = 0; i < 256; ++i) {
            const uint16_t v = s[k - 1][i];
            s[k][i] = static_cast<uint16_t>(Table[v & 0xFF] ^ (v >> 8));
        }
    return s;
}
constexpr TSlices Slice = MakeSlices();
} // namespace

const uint16_t CrcTable[256] = {
#define ROW(i)                                                                                               \
    Table[i], Table[i + 1], Table[i + 2], Table[i + 3], Table[i + 4], Table[i + 5], Table[i + 6], Table[i + 7]
    ROW(0),   ROW(8),   ROW(16),  ROW(24),  ROW(32),  ROW(40),  ROW(48),  ROW(56),
    ROW(64),  ROW(72),  ROW(80),  ROW(88),  ROW(96),  ROW(104), ROW(112), ROW(120),
    ROW(128), ROW(136), ROW(144), ROW(152), ROW(160), ROW(168), ROW(176), ROW(184),
    ROW(192), ROW(200), ROW(208), ROW(216), ROW(224), ROW(232), ROW(240), ROW(248),
#undef ROW
};

uint16_t CrcUpdate(const uint8_t* Data, uint16_t Length, uint16_t Start) {
    return CrcUpdateLong(Data, Length, Start);
}

uint16_t CrcUpdateBytewise(const uint8_t* Data, size_t Length, uint16_t Start) {
    uint16_t c = Start;
    for (size_t i = 0; i < Length; ++i)
        c = CrcUpdateByte(Data[i], c);
    return c;
}

uint16_t CrcUpdateLong(const uint8_t* Data, size_t Length, uint16_t Start) {
    // The running value enters as the first two bytes of each block; the other fourteen
    // contribute on their own.
    const auto& t = Slice;
    uint32_t c = Start;
    while (Length >= SliceCount) {
        const uint8_t* d = Data;
        c = t[15][(c ^ d[0]) & 0xFF] ^ t[14][(c >> 8) ^ d[1]] ^ t[13][d[2]] ^ t[12][d[3]] ^ t[11][d[4]] ^
            t[10][d[5]] ^ t[9][d[6]] ^ t[8][d[7]] ^ t[7][d[8]] ^ t[6][d[9]] ^ t[5][d[10]] ^ t[4][d[11]] ^
            t[3][d[12]] ^ t[2][d[13]] ^ t[1][d[14]] ^ t[0][d[15]];
        Data += SliceCount;
        Length -= SliceCount;
    }
    return CrcUpdateBytewise(Data, Length, static_cast<uint16_t>(c));
}
