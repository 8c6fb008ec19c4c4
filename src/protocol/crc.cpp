#include "crc.h"

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
} // namespace

const uint16_t CrcTable[256] = {
#define ROW(i) Table[i], Table[i + 1], Table[i + 2], Table[i + 3], Table[i + 4], Table[i + 5], Table[i + 6], Table[i + 7]
    ROW(0),   ROW(8),   ROW(16),  ROW(24),  ROW(32),  ROW(40),  ROW(48),  ROW(56),
    ROW(64),  ROW(72),  ROW(80),  ROW(88),  ROW(96),  ROW(104), ROW(112), ROW(120),
    ROW(128), ROW(136), ROW(144), ROW(152), ROW(160), ROW(168), ROW(176), ROW(184),
    ROW(192), ROW(200), ROW(208), ROW(216), ROW(224), ROW(232), ROW(240), ROW(248),
#undef ROW
};

uint16_t CrcUpdate(const uint8_t* Data, uint16_t Length, uint16_t Start) {
    return CrcUpdateLong(Data, Length, Start);
}

uint16_t CrcUpdateLong(const uint8_t* Data, size_t Length, uint16_t Start) {
    uint16_t c = Start;
    for (size_t i = 0; i < Length; ++i)
        c = static_cast<uint16_t>(CrcTable[(c ^ Data[i]) & 0xFF] ^ (c >> 8));
    return c;
}
