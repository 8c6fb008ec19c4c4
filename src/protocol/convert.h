#pragma once
// Little-endian value encoding used inside payloads; floats are IEEE 754 single precision.
#include <cstdint>

uint16_t BytesToWord(uint8_t Low, uint8_t High);
int16_t BytesToSmallInt(uint8_t Low, uint8_t High);
uint32_t BytesToLongWord(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3);
float BytesToSingle(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3);
void SingleToBytes(float Value, uint8_t& B0, uint8_t& B1, uint8_t& B2, uint8_t& B3);
uint32_t SingleToLongWord(float Value);

// Pointer forms for reading from and writing into payload buffers.
inline uint16_t ReadWord(const uint8_t* p) { return BytesToWord(p[0], p[1]); }
inline uint32_t ReadLongWord(const uint8_t* p) { return BytesToLongWord(p[0], p[1], p[2], p[3]); }
inline float ReadSingle(const uint8_t* p) { return BytesToSingle(p[0], p[1], p[2], p[3]); }
void WriteWord(uint8_t* p, uint16_t Value);
void WriteLongWord(uint8_t* p, uint32_t Value);
inline void WriteSingle(uint8_t* p, float Value) { SingleToBytes(Value, p[0], p[1], p[2], p[3]); }
