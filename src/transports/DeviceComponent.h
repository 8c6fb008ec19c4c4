#pragma once
// Abstract base of the byte-stream transports (serial, TCP, UDP, CAN). A transport moves bytes,
// tells when bytes have arrived, when the connection is established and when it was closed.
// All operations run on the UI thread and all callbacks are raised there. OnDataAvailable is
// raised again while a handler of it runs, so that handler may wait in a nested event loop and
// still hear about further bytes.
#include "platform/IniFile.h"
#include "protocol/stat.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class QTimer;
class TDevice;

// Raised from asynchronous transport events (outside any call) when a connection fails.
class ECommunicationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Waits while the event loop keeps running, so that the window keeps painting and answering:
// each pass runs the pending events, blocking until the next one arrives but never beyond the
// limit. The synchronous exchange and the transports' long writes and name lookups wait so.
// Time is measured with the tick counter, which tests can substitute.
class TEventWait {
public:
    explicit TEventWait(uint32_t LimitMs);
    // With a long-lived single-shot timer of the caller's, for waits that come often: arming a
    // timer costs about as much as a whole short exchange, so a timer already due no later than
    // this wait's limit is left as it is, and the timer is left armed at the end. Waking early
    // only costs one more pass.
    TEventWait(uint32_t LimitMs, QTimer& SharedWake);
    TEventWait(const TEventWait&) = delete;
    TEventWait& operator=(const TEventWait&) = delete;

    // Runs the pending events; with Block, first waits for one (at most until the limit).
    void Pass(bool Block = true);
    uint32_t Elapsed() const;
    // Counts the limit from now again (a write that made progress).
    void Restart();

private:
    uint32_t FLimit;
    uint32_t FStart;
    std::optional<QTimer> FOwnWake;
    QTimer* FWake; // only wakes the event dispatcher at the limit
};

using TNotifyEvent = std::function<void(TDevice* Sender)>;

// The operator's say before a link opens: a transport asks at every Open with the settings it
// would use (the stored ones); the answer may change them, false cancels the open. The console
// installs its dialogs here; a program without a window installs nothing and opens with the
// stored or given settings.
template <class TLink, class TSettings>
using TOperatorQuestion = std::function<bool(TLink& Link, TSettings& Settings)>;

// The transports in list order, as the interface choice shows them (the engine is one).
class TDeviceListOwner {
public:
    virtual ~TDeviceListOwner() = default;
    virtual int32_t DeviceCount() const = 0;
    virtual TDevice* GetDevice(int32_t Index) const = 0;
};
using TDataAvailableEvent = std::function<void(TDevice* Sender, int32_t Count)>;

class TDevice : public QObject {
    Q_OBJECT
public:
    // Name is the component name ("uart", "tcp", "udp", "can"); the settings file is Name + ".cfg"
    // in the settings folder.
    TDevice(QObject* Owner, const QString& Name);
    ~TDevice() override;

    virtual void WriteSettings(TIniFile& File, const QString& Section) = 0;
    virtual TStat OpenFromSettings(TIniFile& File, const QString& Section) = 0;
    virtual bool IsOpen() = 0;
    virtual TStat Open(const QString& PortName) = 0;
    virtual TStat Close() = 0;
    virtual int32_t BytesAvailable() = 0;
    virtual int32_t Read(uint8_t* Buffer, int32_t MaxCount) = 0;
    virtual TStat Write(const uint8_t* Buffer, int32_t Count) = 0;
    virtual bool HasPortList() = 0;
    virtual void GetPortList(QStringList& List) { List.clear(); }

    // Value of "Portname" in section "Common" of the own settings file; empty when absent.
    QString GetLastPortName() const;
    // The open link and where it goes ("Ethernet/TCP 127.0.0.1:11000"), for the status bar.
    virtual QString LinkDescription() const { return InterfaceName; }

    // Why the last Open failed or the link was lost: the link's address and the system's reason.
    QString LastError() const { return FLastError; }

    TIniFile& Settings() const { return *FSettings; }
    QString InterfaceName;
    QString ShortName;

    TDataAvailableEvent OnDataAvailable;
    TNotifyEvent OnConnected;
    TNotifyEvent OnDisconnected;

protected:
    // "Address: Reason", kept for LastError.
    void SetLastError(const QString& Address, const QString& Reason);
    void ClearLastError() { FLastError.clear(); }
    // Raises OnDisconnected unless the transport is being destroyed.
    void DoDisconnected();
    // Raises OnDataAvailable. Qt signals arrival only once per chunk, so when the handler took
    // some bytes but left others, it is raised again from the event loop until all are read;
    // also when the handler raised, or what arrived behind the failure would wait for more traffic.
    void NotifyDataAvailable(int32_t Count);
    // Arms / stops the 50 ms poll that raises OnConnected once IsOpen (or at once for UDP).
    void StartConnectPoll();
    void StopConnectPoll();
    // The poll's check; UDP overrides it to raise OnConnected without asking IsOpen.
    virtual bool ConnectPollReady() { return IsOpen(); }
    // Derived destructors call this before Close so that no OnDisconnected is raised.
    void BeginDestroy() { FDestroying = true; }
    bool Destroying() const { return FDestroying; }

private:
    void RenotifyAfter(int32_t Before);

    std::unique_ptr<TIniFile> FSettings;
    QString FLastError;
    QTimer* FConnectPoll = nullptr;
    bool FDestroying = false;
    bool FRenotifyPending = false;
};
