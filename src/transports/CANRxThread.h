#pragma once
// Receive thread of the CAN transport: blocks in canRead, stages the bytes of every frame in its
// queue and hands each notification and error box to the UI thread, waiting until it has run.
#include "protocol/ByteQueue.h"
#include "transports/CanLib.h"
#include "transports/DeviceComponent.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QTimer;
class TCanDoorbell;

class TCANRxThread : public QObject {
    Q_OBJECT
public:
    static constexpr int32_t RxQueueSize = 65536;
    static constexpr int HandOverDelayMs = 50;

    // Starts the thread at once. OnData is a copy of the transport's OnDataAvailable.
    TCANRxThread(TDevice* Device, int32_t NetHandle, TDataAvailableEvent OnData, TCanApi Api);
    ~TCANRxThread() override;

    // UI thread: the staged bytes, under the lock.
    int32_t Read(uint8_t* Buffer, int32_t MaxCount);
    int32_t Count();

    // Any thread: asks the loop to end after its current pass.
    void RequestTerminate();
    bool TerminateRequested() const { return FTerminate.load(); }
    // UI thread: waits until the loop has ended, running its hand-overs meanwhile; called from
    // inside a hand-over it releases the thread from that one instead (it would wait for itself).
    void WaitForEnd();
    // UI thread: hand-overs from now on are dropped instead of run (the owner is going away).
    void ReleaseHandOvers();
    // UI thread: a hand-over or the hand-over timer is running on the stack right now, so the
    // object must not be deleted before control returns to the event loop.
    bool Busy() const { return FBusy > 0; }
    bool Finished();

    QTimer* HandOverTimer() const { return FHandOverTimer; }

private:
    struct THandOver {
        std::function<void()> Fn;
        bool Done = false;
    };
    struct TBusyScope {
        explicit TBusyScope(int& C) : Count(C) { ++Count; }
        ~TBusyScope() { --Count; }
        int& Count;
    };

    void Execute();
    void ReceiveFrame(const CMSG& Msg);
    void ReadFailed(TCanResult Result);
    // Receive thread: runs Fn on the UI thread and waits until it has run.
    void HandOver(std::function<void()> Fn);
    void ShowErrorBox();
    void NotifyData();
    // UI thread: runs the pending hand-over, if any.
    void Serve();

    const int32_t FNetHandle;
    const TDataAvailableEvent FOnData;
    TDevice* const FDevice;
    QTimer* FHandOverTimer = nullptr;
    QString FErrorText; // written by the receive thread before a hand-over, read during it
    std::mutex FLock;   // guards FRxQueue
    std::unique_ptr<TByteQueue> FRxQueue;

    const TCanApi FApi;
    std::atomic<bool> FTerminate{false};
    std::mutex FHandLock; // guards the hand-over state below
    std::condition_variable FHandCv;
    std::shared_ptr<THandOver> FPending;
    bool FReleased = false;
    bool FFinished = false;
    int FBusy = 0; // UI thread only
    TCanDoorbell* FBell = nullptr;
    std::thread FThread;
};
