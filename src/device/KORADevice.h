#pragma once
// Base of every device of the family: synchronous and asynchronous command execution over the
// command engine, the commands every device understands, and the connect/disconnect sequence.
#include "protocol/AsyncResultEventList.h"
#include "device/CommLog.h"
#include "protocol/ListenerList.h"
#include "protocol/Types.h"
#include "protocol/stat.h"

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
// What a device tells its users; every listener adds itself under its own owner.
using TDeviceNotifyList = TListenerList<TKORADevice*>;
struct TLinkAddress;

// The outcome of one exchange: the answer, or why there is none.
struct TExchangeResult {
    enum class TKind : uint8_t {
        Answer,   // Status, Data and StatusOnly hold the answer
        Failed,   // the device answered with a failure status or a short answer (Error)
        Timeout,  // no answer within the limit (Error: EResponseTimeout)
        LinkLost, // the link closed while waiting (Error: EResponseTimeout)
    };
    TKind Kind = TKind::Answer;
    TStat Status = E_SUCCESS; // E_SUCCESS or E_CMD_PENDING
    TByteArray Data;          // without the status; two zero bytes when StatusOnly
    bool StatusOnly = false;  // the answer held nothing but its status
    std::exception_ptr Error; // what the synchronous calls raise
    bool Ok() const { return Kind == TKind::Answer; }
};
using TExchangeDone = std::function<void(TKORADevice* Sender, const TExchangeResult& Result)>;

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

    TDeviceNotifyList OnConnect;
    TDeviceNotifyList OnDisconnect;
    // Raised when the connect sequence failed after the link opened, once the link is closed
    // again; ConnectFailure() then says which step failed and why.
    TDeviceNotifyList OnConnectFailed;
    // Raised when the connect sequence has ended, whatever its outcome (after OnConnect or
    // OnConnectFailed), so that a refused device is told apart from one still connecting.
    TDeviceNotifyList OnConnectSequenceDone;
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
    // Opens the described link without any dialog; the connect sequence follows once it is up.
    TStat ConnectLink(const TLinkAddress& Link);
    bool IsConnected() const;
    // A time limit for the whole connect sequence of the next connect, counted from now: each of
    // its exchanges then waits for the time left instead of ResponseTimeout (a program's own
    // connect timeout). 0: every exchange has ResponseTimeout again.
    void SetConnectTimeLimit(uint32_t Ms);

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
    // Sends and returns at once; Done is called with the outcome (the answer, the timeout after
    // ResponseTimeout, the lost link) as the event loop delivers it (already during the send
    // when the answer comes that fast).
    // False when the exchange did not start (not connected, another exchange of this device
    // waiting unless Urgent, send failed): Done is then never called. A pending answer
    // registers OnPending for the later result packets before any later packet is handled.
    bool StartExchange(uint8_t CommandID, const TByteArray& Payload, TExchangeDone Done,
                       const TAsyncResultEvent& OnPending = {}, bool Urgent = false);
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
    // True while an exchange of this device waits for its answer.
    bool Busy() const { return !FPending.empty() || FSyncDepth > 0; }

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
    struct TPending {
        uint64_t Serial;
        uint8_t CommandID;
        uint32_t Start; // tick of the send
        uint32_t Limit;
        TExchangeDone Done;
        TAsyncResultEvent OnPending; // registered when the answer is "pending"
    };
    bool RunExchange(uint8_t CommandID, const TByteArray& Payload, TByteArray& Data, TStat& Status,
                     bool& StatusOnly, bool Urgent, const TAsyncResultEvent* OnPending);
    uint64_t Begin(uint8_t CommandID, const TByteArray& Payload, uint32_t& Limit, TExchangeDone Done,
                   const TAsyncResultEvent& OnPending, bool Urgent);
    void Dispatch(const TPacket& Packet);
    // Ends the exchanges past their limit, or all when the link is gone; arms the wake for the rest.
    void ExpireExchanges();
    void EndAll(TExchangeResult::TKind Kind);
    void EndUnanswered(std::vector<TPending>& Ended, TExchangeResult::TKind Kind);
    void Complete(TPending& Pending, TExchangeResult& Result);
    TExchangeResult Unanswered(const TPending& Pending, TExchangeResult::TKind Kind) const;
    TExchangeResult Answered(const TPending& Pending, const TPacket& Response) const;
    void ArmWake();
    void ForgetSystemInfo();
    void RunConnectSequence(TDevice* Sender);

    TCommLogSink* FCommLog = nullptr;
    std::string FConnectFailure;
    TCommand* FCommand = nullptr;
    TAsyncResultEventList FAsyncResults;
    std::vector<TPending> FPending; // exchanges waiting for their answer, oldest first
    uint64_t FSerial = 0;
    int FSyncDepth = 0; // synchronous exchanges running (they keep the device busy until they return)
    bool FInConnectSequence = false;
    uint32_t FConnectStart = 0;
    uint32_t FConnectLimit = 0; // 0: none
    QTimer FWake{this};         // ends exchanges at their limit; kept from one exchange to the next
};
