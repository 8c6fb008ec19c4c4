#pragma once
// The command set of one kind of device. The dispatcher answers the commands every device of
// the family knows and hands the rest to the device's own set.
#include "GripperModel.h"
#include "protocol/Types.h"
#include "protocol/stat.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace zelsim {

class TSimSession;

// Payload of an answer: the 16-bit status, then the data.
TByteArray Answer(TStat Status, const TByteArray& Data = {});
TByteArray Answer(TStat Status, const uint8_t* Data, size_t Count);
// The status for a payload of Got bytes where Want are expected; E_SUCCESS when they agree.
TStat CheckLength(size_t Got, size_t Want);

class TDeviceHandler {
public:
    // Brings the model up to date (delivering final results that are due) and returns the time.
    using TSync = std::function<double()>;

    virtual ~TDeviceHandler() = default;

    // Fills the answer payload for one of the device's own identifiers; false for any other.
    // Final results produced on the way (a motion aborted by STOP) go into Finished; they are
    // sent after the answer.
    virtual bool Handle(TSimSession& Session, const TPacket& Packet, double Now, TByteArray& AnswerPayload,
                        std::vector<TFinished>& Finished) = 0;
    virtual void Advance(double /*Now*/, std::vector<TFinished>& /*Finished*/) {}
    virtual double NextEventTime() const { return std::numeric_limits<double>::infinity(); }
    // An unsolicited packet as the device would send it on its own (for the burst fault).
    virtual void Report(double Now, uint8_t& CommandID, TByteArray& Payload) = 0;
};

} // namespace zelsim
