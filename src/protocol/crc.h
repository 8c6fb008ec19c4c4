#pragma once
// Packet checksum: MSB-first CRC-16 table of polynomial 0x1021 driven by an LSB-first step,
// start 0xFFFF, no final XOR. Not a catalogued CRC-16 variant; do not swap it for one.
#include <cstddef>
#include <cstdint>

extern const uint16_t CrcTable[256];

constexpr uint16_t CrcStart = 0xFFFF;

inline uint16_t CrcUpdateByte(uint8_t Byte, uint16_t Crc) {
    return static_cast<uint16_t>(CrcTable[(Crc ^ Byte) & 0xFF] ^ (Crc >> 8));
}

// Applies the step to Data[0 .. Length-1], starting from Start. Length is 16-bit on the wire;
// the size_t overload serves callers that checksum whole frames. Both fold sixteen bytes per
// step with tables derived from CrcTable.
uint16_t CrcUpdate(const uint8_t* Data, uint16_t Length, uint16_t Start);
uint16_t CrcUpdateLong(const uint8_t* Data, size_t Length, uint16_t Start);
// One table step per byte: the definition the block routine must agree with.
uint16_t CrcUpdateBytewise(const uint8_t* Data, size_t Length, uint16_t Start);
