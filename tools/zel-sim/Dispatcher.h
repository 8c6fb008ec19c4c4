#pragma once
// The device behind all links: answers every packet a session received, delivers the final
// results of pending commands to the session that started them, and logs the traffic.
#include "DeviceHandler.h"
#include "SimConfig.h"
#include "protocol/Types.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace zelsim {

class TSimSession;
class TGripperCommands;
class TSensorCommands;

class TDispatcher : public QObject {
public:
    using TLogSink = std::function<void(const std::string&)>;

    explicit TDispatcher(const TSimConfig& Config, QObject* Parent = nullptr);
    ~TDispatcher() override;

    void Handle(TSimSession& Session, const TPacket& Packet);

    void Attach(TSimSession* Session);
    void Detach(TSimSession* Session);
    uint64_t NewSessionId() { return ++FLastSessionId; }

    // Seconds since the simulator started, on a monotonic clock.
    double Now() const;
    // Runs the model up to now and sends the final results that are due.
    double Sync();

    const TFaultConfig& Faults() const { return FConfig.Faults; }
    void SetFaults(const TFaultConfig& Faults); // also for the sessions already open
    void SetTemperature(int16_t Tenths) { FTemperature = Tenths; }
    int16_t Temperature() const { return FTemperature; }
    void SetLogSink(TLogSink Sink) { FLog = std::move(Sink); }

    // Null when the device is of the other kind.
    TGripperCommands* Gripper() { return FGripper; }
    TSensorCommands* Sensor() { return FSensor; }

private:
    bool HandleGeneric(TSimSession& Session, const TPacket& Packet, TByteArray& Out);
    void Deliver(std::vector<TFinished>& Finished);
    void Reschedule();
    void Log(const TSimSession& Session, const std::string& Text);

    TSimConfig FConfig;
    std::chrono::steady_clock::time_point FStart;
    int16_t FTemperature;
    TByteArray FTag;
    std::unique_ptr<TDeviceHandler> FHandler;
    TGripperCommands* FGripper = nullptr;
    TSensorCommands* FSensor = nullptr;
    std::map<uint64_t, TSimSession*> FSessions;
    uint64_t FLastSessionId = 0;
    QTimer FEventTimer;
    TLogSink FLog;
};

} // namespace zelsim
