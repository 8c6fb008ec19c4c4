#include "protocol/convert.h"
#include "protocol/crc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {
uint16_t CrcOf(const char* s) {
    return CrcUpdate(reinterpret_cast<const uint8_t*>(s), uint16_t(std::strlen(s)), CrcStart);
}
} // namespace

TEST(Crc, TableAndKnownValues) {
    EXPECT_EQ(CrcTable[0], 0x0000);
    EXPECT_EQ(CrcTable[1], 0x1021);
    EXPECT_EQ(CrcTable[2], 0x2042);
    EXPECT_EQ(CrcTable[3], 0x3063);
    EXPECT_EQ(CrcTable[254], 0x0ED1);
    EXPECT_EQ(CrcTable[255], 0x1EF0);

    EXPECT_EQ(CrcOf("123456789"), 0x6EB4);
    EXPECT_EQ(CrcOf("abc"), 0x3C5F);
    const uint8_t pre[] = {0xAA, 0xAA, 0xAA};
    EXPECT_EQ(CrcUpdate(pre, 3, CrcStart), 0x50F5);
    EXPECT_EQ(CrcUpdate(pre, 0, 0x1234), 0x1234);
}

TEST(Crc, ByteStepMatchesBlockAndChecksumDrivesToZero) {
    const uint8_t data[] = {0x10, 0xAA, 0x00, 0xFF, 0x7E};
    uint16_t c = CrcStart;
    for (uint8_t b : data)
        c = CrcUpdateByte(b, c);
    EXPECT_EQ(c, CrcUpdate(data, sizeof data, CrcStart));
    // Appending the checksum low byte first brings the running value to zero.
    c = CrcUpdateByte(uint8_t(c), c);
    EXPECT_EQ(CrcUpdateByte(uint8_t(CrcUpdate(data, sizeof data, CrcStart) >> 8), c), 0);
}

TEST(Crc, BlockRoutineAgreesWithByteSteps) {
    // Every length across several sixteen-byte blocks and their remainders, from unaligned
    // offsets and arbitrary running values.
    std::mt19937 rng(12);
    std::vector<uint8_t> data(300 + 64);
    for (auto& b : data)
        b = uint8_t(rng());
    for (size_t len = 0; len <= 300; ++len) {
        for (int round = 0; round < 4; ++round) {
            const size_t at = rng() % 64;
            const uint16_t start = round == 0 ? CrcStart : uint16_t(rng());
            const uint16_t want = CrcUpdateBytewise(data.data() + at, len, start);
            ASSERT_EQ(CrcUpdateLong(data.data() + at, len, start), want) << "length " << len << " at " << at;
            ASSERT_EQ(CrcUpdate(data.data() + at, uint16_t(len), start), want) << "length " << len;
        }
    }
    std::vector<uint8_t> big(65535);
    for (auto& b : big)
        b = uint8_t(rng());
    EXPECT_EQ(CrcUpdateLong(big.data(), big.size(), CrcStart),
              CrcUpdateBytewise(big.data(), big.size(), CrcStart));
}

TEST(Convert, LittleEndianAndFloats) {
    EXPECT_EQ(BytesToWord(0x34, 0x12), 0x1234);
    EXPECT_EQ(BytesToSmallInt(0xFF, 0xFF), -1);
    EXPECT_EQ(BytesToSmallInt(0x00, 0x80), -32768);
    EXPECT_EQ(BytesToLongWord(0x78, 0x56, 0x34, 0x12), 0x12345678u);
    EXPECT_EQ(BytesToLongWord(0, 0, 0, 0x80), 0x80000000u);

    uint8_t b[4];
    SingleToBytes(50.0f, b[0], b[1], b[2], b[3]);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x00);
    EXPECT_EQ(b[2], 0x48);
    EXPECT_EQ(b[3], 0x42);
    EXPECT_EQ(SingleToLongWord(50.0f), 0x42480000u);
    EXPECT_EQ(BytesToSingle(0x00, 0x00, 0x48, 0x42), 50.0f);
    SingleToBytes(-0.1f, b[0], b[1], b[2], b[3]);
    EXPECT_EQ(ReadSingle(b), -0.1f);

    uint8_t w[4];
    WriteLongWord(w, 0xA1B2C3D4u);
    EXPECT_EQ(ReadLongWord(w), 0xA1B2C3D4u);
    WriteWord(w, 0xBEEF);
    EXPECT_EQ(w[0], 0xEF);
    EXPECT_EQ(ReadWord(w), 0xBEEF);
}
