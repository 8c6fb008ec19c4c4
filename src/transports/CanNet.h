#pragma once
// One open net of the CAN library layer. Its bus device is created, used and deleted in the
// layer's worker thread only; the other threads meet the net through its frame queue and flags,
// which one std::mutex guards (the thread sanitizer sees every hand-over through it).
#include "transports/CanBusSeam.h"
#include "transports/CanLib.h"

#include <QString>

#include <bitset>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class QCanBusDevice;
class QCanBusFrame;
class QTimer;

class TCanNet {
public:
    // How often the interface is looked at while the net is open (unplugged, set down).
    static constexpr int WatchIntervalMs = 200;

    TCanNet(std::shared_ptr<TCanBusSeam> Seam, QString Backend, QString Interface, int32_t RxQueueSize,
            int32_t RxTimeoutMs, int32_t TxTimeoutMs);
    ~TCanNet();
    TCanNet(const TCanNet&) = delete;
    TCanNet& operator=(const TCanNet&) = delete;

    const QString& Backend() const { return FBackend; }
    const QString& Interface() const { return FInterface; }
    int32_t TxTimeoutMs() const { return FTxTimeoutMs; }

    // Worker thread only.
    // Creates the bus device and starts connecting; WaitConnected tells how it ended.
    void Start();
    // Disconnects and deletes the bus device.
    void Stop();
    // Hands Count frames to the bus in order; Count becomes the number taken. CAN_TX_QUEUE_FULL
    // when the interface's transmit queue took no more (the caller retries the rest).
    TCanResult WriteFrames(const CMSG* Msgs, int32_t& Count);
    // Makes the interface run at Bitrate: nothing to do when it already does or has no rate of
    // its own; otherwise through the backend's configuration. CAN_BITRATE_MISMATCH when the rate
    // it runs at afterwards differs or cannot be known (Bitrate() tells which).
    TCanResult SetBitrate(int Bitrate);
    void DropLink();

    // Any thread.
    TCanResult WaitConnected(int TimeoutMs);
    TCanResult Read(CMSG* Msgs, int32_t& Count);
    void AbortRead();
    void AddId(int32_t Id);
    // Releases readers for good; called when the handle is closed.
    void MarkClosed();
    // CAN_SUCCESS while the link is up, else why it is not.
    TCanResult LinkState() const;
    uint64_t FramesLost() const;
    // The rate the interface ran at when the bit rate was last set: bit/s, NoBitrate or 0.
    int Bitrate() const;

private:
    void OnFramesReceived();
    void OnErrorFrame(const QCanBusFrame& Frame);
    void Watch();
    void OnStateChanged(int State);
    void OnError(int Error);
    void Fail(TCanResult Code);
    void DisconnectDevice();
    // Slots run in the worker thread, where the application-wide handler (which may show a box)
    // must not be called; a failure there takes the link down instead and the reader reports it.
    template <class F> void Guarded(F&& Body) noexcept {
        try {
            Body();
        } catch (...) {
            try {
                Fail(CAN_IO_ERROR);
            } catch (...) {
            }
        }
    }

    const std::shared_ptr<TCanBusSeam> FSeam;
    const QString FBackend;
    const QString FInterface;
    const size_t FRxCapacity;
    const int32_t FRxTimeoutMs;
    const int32_t FTxTimeoutMs;

    QCanBusDevice* FDevice = nullptr; // worker thread only
    QTimer* FWatch = nullptr;         // worker thread only
    bool FStopping = false;           // worker thread only

    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<CMSG> FRx;
    std::bitset<CAN_MAX_STD_ID + 1> FAccepted;
    bool FConnected = false;
    bool FAborted = false;
    bool FClosed = false;
    TCanResult FFailure = CAN_SUCCESS;
    uint64_t FLost = 0;
    int FBitrate = 0;
};
