#pragma once
// Base of every device of the family: synchronous and asynchronous command execution over the
// command engine, the commands every device understands, and the connect/disconnect sequence.
#include "AsyncResultEventList.h"
#include "CommLog.h"
#include "Types.h"
#include "stat.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class TCommand;
class TDevice;
class TIniFile;

// A failed exchange: timeout, short response, failure status, or a packet that could not be sent.
class EDuruzadUdror : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// No answer within the limit (or the link closed while waiting).
class EResponseTimeout : public EDuruzadUdror {
public:
    using EDuruzadUdror::EDuruzadUdror;
};

// Device data that breaks an invariant of the decoder. Raised, never aborts the program.
class EAssertionFailed : public std::runtime_error {
public:
    EAssertionFailed(const std::string& Source, int Line);
    const std::string& Source() const { return FSource; }
    int Line() const { return FLine; }

private:
    std::string FSource;
    int FLine;
};

class TKORADevice;
using TDeviceNotifyEvent = std::function<void(TKORADevice* Sender)>;

class TKORADevice : public QObject {
    Q_OBJECT
public:
    static constexpr uint32_t ResponseTimeout = 2000; // ms, the same for every command
    static constexpr int MaxTagLength = 64;

    explicit TKORADevice(QObject* Owner);
    ~TKORADevice() override;

    TCommLogSink* CommLog() const { return FCommLog; }
    void SetCommLog(TCommLogSink* Log) { FCommLog = Log; }
    // For owners that hold the log as a QObject: anything but a TCommLogSink is refused.
    void SetCommLogObject(QObject* Log);

    TDeviceNotifyEvent OnConnect;
    TDeviceNotifyEvent OnDisconnect;
    // Raised when the connect sequence failed after the link opened, once the link is closed
    // again; ConnectFailure() then says which step failed and why.
    TDeviceNotifyEvent OnConnectFailed;
    const std::string& ConnectFailure() const { return FConnectFailure; }
    // Why the active transport could not open or lost its link (address and system reason).
    QString LinkError() const;

    // System information of the connected device; kept after a disconnect for display.
    uint8_t DeviceType = 0;
    int32_t HardwareRevision = 0;
    int32_t FirmwareMajor = 0;
    int32_t FirmwareMinor = 0;
    int32_t FirmwarePatch = 0;
    int32_t FirmwareRC = 0;
    int32_t SerialNumber = 0;

    TStat Connect();
    // Opens transport Index from a settings section, without any dialog (headless tools).
    TStat ConnectFromSettings(int32_t Index, TIniFile& File, const QString& Section);
    bool IsConnected() const;

    // Sends and waits up to ResponseTimeout for a packet with the same identifier while events
    // keep running; packets keep being handled as they arrive. False when the exchange did not
    // take place (not connected, another exchange waiting, send failed); EDuruzadUdror when it failed.
    bool ExecuteCommand(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data, TStat& Status);
    // E_NOT_OPENED / E_CMD_FAILED when not run; else the first status. A pending answer
    // registers Handler for the later result packets of CommandID.
    TStat ExecuteAsyncCommand(uint8_t CommandID, const TByteArray& Payload, TAsyncResultEvent Handler);
    // ExecuteCommand that also tells whether the response carried nothing but its status (Data
    // then holds two zero bytes, which a real two-byte answer could hold as well). A pending
    // answer registers OnPending, when set, before any later packet is handled: a final result
    // right behind the answer must not be missed.
    bool Exchange(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data, TStat& Status,
                  bool& StatusOnly, const TAsyncResultEvent& OnPending = {});
    // ExecuteCommand that may start while another exchange waits (stops must never be held
    // back); its answer is matched by its own identifier and the waiting exchange keeps its own.
    bool ExecuteUrgentCommand(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data, TStat& Status);
    // Sends without waiting; not logged.
    void PostCommand(uint8_t CommandID, const TByteArray& Payload);
    // Hands every stored packet to PacketReceived (the engine's OnPacket) and to the exchange
    // waiting for its identifier.
    void ProcessPackets();

    bool GetSystemInfo();
    double GetTemperature();
    // GetTemperature that tells whether the exchange took place.
    bool ReadTemperature(double& Celsius);
    // Both tell whether the exchange took place.
    bool SetDeviceTag(const QString& Tag);
    bool GetDeviceTag(QString& Tag);
    void AnnounceDisconnect();

    // The characters of Tag that the device cannot store (outside code page 1252); empty when none.
    static QString UnstorableTagCharacters(const QString& Tag);

    static std::string DeviceTypeToStr(uint8_t Type);
    // True while any device of the process runs a synchronous exchange.
    static bool Busy();

    virtual void DoConnected(TDevice* Sender);
    virtual void DoDisconnected(TDevice* Sender);
    virtual void PacketReceived(const TPacket& Packet);
    virtual bool CheckDevice() { return true; }
    virtual void Disconnect();
    virtual void GetCommandName(int32_t CommandID, std::string& Name) const;
    std::string CommandName(int32_t CommandID) const;

    TCommand* Command() const { return FCommand; }
    TAsyncResultEventList& AsyncResults() { return FAsyncResults; }

    // The whole 16-bit status of a response payload (0 when shorter than 2 bytes).
    static uint16_t RawStatus(const TPacket& Packet);
    // The status a result handler is given: the low byte, or E_CMD_FAILED when the high byte is
    // set, so that such a failure never reads as E_SUCCESS or E_CMD_PENDING.
    static TStat ResultStatus(const TPacket& Packet);

protected:
    // Ends a connect sequence that failed: notes Reason, closes the link, raises OnConnectFailed.
    void FailConnect(const std::string& Reason);
    // Reason text for a request of the connect sequence that raised Error.
    static std::string StepFailure(const std::string& Step, std::exception_ptr Error);

    // Calls the handler registered for the packet's identifier, if any (payload of 2 bytes or more).
    void DeliverAsyncResult(const TPacket& Packet);

private:
    struct TWaiting {
        uint8_t CommandID;
        bool Matched;
        TPacket Response;
        const TAsyncResultEvent* OnPending; // registered when the answer is "pending"
    };
    bool RunExchange(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data, TStat& Status,
                     bool& StatusOnly, bool Urgent, const TAsyncResultEvent* OnPending);
    void WaitForResponse(const TWaiting& Waiting);
    void Dispatch(const TPacket& Packet);
    void ForgetSystemInfo();

    TCommLogSink* FCommLog = nullptr;
    std::string FConnectFailure;
    TCommand* FCommand = nullptr;
    TAsyncResultEventList FAsyncResults;
    std::vector<TWaiting*> FWaiting; // exchanges waiting for their answer, oldest first
    QTimer FWake{this}; // wakes the exchange wait at its limit; kept from one exchange to the next
};
