#pragma once
// The matrix sensor's command set: matrix description, gain, threshold, single and periodic frames.
#include "DeviceHandler.h"
#include "SensorModel.h"

namespace zelsim {

class TSensorCommands : public TDeviceHandler {
public:
    TSensorCommands(const TSensorConfig& Config, TSync Sync);

    bool Handle(TSimSession& Session, const TPacket& Packet, double Now, TByteArray& AnswerPayload,
                std::vector<TFinished>& Finished) override;
    void Report(double Now, uint8_t& CommandID, TByteArray& Payload) override;

    TSensorModel& Model() { return FModel; }

private:
    TByteArray StartPeriodic(TSimSession& Session, const TByteArray& Payload);

    TSensorModel FModel;
    TSync FSync;
};

} // namespace zelsim
