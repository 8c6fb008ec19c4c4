#pragma once
// The gripper's command set on top of its model: payload decoding, range answers, the queries
// and their automatic updates.
#include "DeviceHandler.h"
#include "GripperModel.h"

namespace zelsim {

class TGripperCommands : public TDeviceHandler {
public:
    // Temperature is the device's, owned by the dispatcher; it drives the temperature flags.
    TGripperCommands(const TGripperConfig& Config, const int16_t& Temperature, TSync Sync);

    bool Handle(TSimSession& Session, const TPacket& Packet, double Now, TByteArray& AnswerPayload,
                std::vector<TFinished>& Finished) override;
    void Advance(double Now, std::vector<TFinished>& Finished) override { FModel.Advance(Now, Finished); }
    double NextEventTime() const override { return FModel.NextEventTime(); }
    void Report(double Now, uint8_t& CommandID, TByteArray& Payload) override;

    TGripperModel& Model() { return FModel; }
    // Answer payload of a state query (system state, grasping state, position, speed, force).
    TByteArray QueryAnswer(uint8_t CommandID, double Now) const;

private:
    TByteArray Query(TSimSession& Session, const TPacket& Packet, double Now);
    TByteArray Motion(const TPacket& Packet, double Now, uint64_t Owner);
    TByteArray SystemLimits() const;

    TGripperModel FModel;
    const int16_t& FTemperature;
    TSync FSync;
};

} // namespace zelsim
