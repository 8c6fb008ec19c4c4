#include "protocol/convert.h"

#include <bit>

uint16_t BytesToWord(uint8_t Low, uint8_t High) { return static_cast<uint16_t>(Low | (High << 8)); }

int16_t BytesToSmallInt(uint8_t Low, uint8_t High) {
    return std::bit_cast<int16_t>(BytesToWord(Low, High));
}

uint32_t BytesToLongWord(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3) {
    return uint32_t(B0) | (uint32_t(B1) << 8) | (uint32_t(B2) << 16) | (uint32_t(B3) << 24);
}

float BytesToSingle(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3) {
    return std::bit_cast<float>(BytesToLongWord(B0, B1, B2, B3));
}

uint32_t SingleToLongWord(float Value) { return std::bit_cast<uint32_t>(Value); }

void SingleToBytes(float Value, uint8_t& B0, uint8_t& B1, uint8_t& B2, uint8_t& B3) {
    const uint32_t v = SingleToLongWord(Value);
    B0 = uint8_t(v);
    B1 = uint8_t(v >> 8);
    B2 = uint8_t(v >> 16);
    B3 = uint8_t(v >> 24);
}

void WriteWord(uint8_t* p, uint16_t Value) {
    p[0] = uint8_t(Value);
    p[1] = uint8_t(Value >> 8);
}

void WriteLongWord(uint8_t* p, uint32_t Value) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(Value >> (8 * i));
}
