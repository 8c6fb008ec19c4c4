#pragma once
// The process-wide part of the CAN library layer: the table of open handles and the worker
// thread that owns every bus device. Bus devices have thread affinity, while the layer's calls
// come from the UI thread (open, send, close) and from receive threads (read); the worker runs
// its own event loop so that the devices' sockets are served whatever the callers do.
#include "transports/CanLib.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class QCoreApplication;
class QEventLoop;
class TCanDoorbell;
class TCanNet;

class TCanBus {
public:
    static TCanBus& Instance();
    ~TCanBus();
    TCanBus(const TCanBus&) = delete;
    TCanBus& operator=(const TCanBus&) = delete;

    TCanResult Open(int32_t Net, int32_t RxQueueSize, int32_t TxTimeoutMs, int32_t RxTimeoutMs,
                    int32_t* Handle);
    TCanResult Close(int32_t Handle);
    std::shared_ptr<TCanNet> Find(int32_t Handle) const;
    int OpenCount() const;

    // Runs Task in the worker thread and waits for it; false when it has not run within
    // TimeoutMs (it may still run later, so it must own what it touches).
    bool Run(std::function<void()> Task, int TimeoutMs);
    // Closes every handle and stops the worker.
    void Shutdown();

    void SetBackendOverride(const QString& Backend);
    QString BackendOverride() const;
    QString ActiveBackend() const;

    // The interfaces of Backend sorted by name (empty when the worker cannot run).
    std::vector<TCanInterfaceInfo> Interfaces(const QString& Backend);
    void SetSeam(std::shared_ptr<TCanBusSeam> Seam);
    std::shared_ptr<TCanBusSeam> Seam() const;
    void CountDropped(uint64_t Frames) { FDropped += Frames; }
    uint64_t DroppedTotal() const { return FDropped.load(); }

private:
    TCanBus() = default;
    struct TTask {
        std::function<void()> Fn;
        bool Done = false;
    };

    bool EnsureWorker();
    void WorkerMain();
    void Drain();

    std::mutex FStartLock; // serialises starting and stopping the worker
    mutable std::mutex FLock;
    std::condition_variable FCv;
    std::deque<std::shared_ptr<TTask>> FTasks;
    std::thread FThread;
    TCanDoorbell* FBell = nullptr; // lives in the worker
    QEventLoop* FLoop = nullptr;   // lives in the worker
    bool FRunning = false;
    bool FQuit = false;
    bool FStartFailed = false;
    QCoreApplication* FHookedApp = nullptr;
    std::map<int32_t, std::shared_ptr<TCanNet>> FNets;
    int32_t FLastHandle = 0;
    QString FOverride;
    std::shared_ptr<TCanBusSeam> FSeam;
    std::atomic<uint64_t> FDropped{0};
};
