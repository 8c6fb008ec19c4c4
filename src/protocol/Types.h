#pragma once
// Types shared by every layer: raw byte arrays, packets and command-name table rows.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using TByteArray = std::vector<uint8_t>;

// One packet as the layers exchange it. CommandID holds the wire's 8-bit identifier;
// the command log uses bit 30 of its own copy as a direction flag.
struct TPacket {
    int32_t CommandID = 0;
    int32_t Length = 0;   // 0 .. 65535, always equal to Payload.size()
    TByteArray Payload;
};

struct TCommandID {
    std::string_view Name;
    int32_t ID;
};

// Largest payload the 16-bit length field can express, and the size of a frame around it.
constexpr int32_t MaxPayloadLength = 65535;
constexpr int32_t FrameOverhead = 8;
constexpr int32_t MaxFrameLength = MaxPayloadLength + FrameOverhead;

// The index error of the indexed lists ("List index out of bounds (%d)").
class EListError : public std::out_of_range {
public:
    explicit EListError(long long Index)
        : std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")") {}
};
