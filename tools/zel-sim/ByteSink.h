#pragma once
// What a session needs from its link: a way to put bytes on the wire and to end the connection.
#include <cstddef>
#include <cstdint>

namespace zelsim {

class TByteSink {
public:
    virtual ~TByteSink() = default;
    // Separate: these bytes must leave as a write of their own (a TCP segment, a datagram,
    // CAN frames) instead of being merged with what follows.
    virtual void WriteBytes(const uint8_t* Data, size_t Count, bool Separate) = 0;
    // Ends the connection (TCP) or silences the link; may be called from inside a write.
    virtual void CloseLink() = 0;
};

} // namespace zelsim
