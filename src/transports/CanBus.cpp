#include "transports/CanBus.h"
#include "platform/LogCategories.h"

#include "transports/CanDoorbell.h"
#include "transports/CanNet.h"
#include "platform/IniFile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <limits>

namespace {
// Opening the bus device waits at most this long for the backend to report the connection.
constexpr int ConnectTimeoutMs = 2000;
constexpr int StopTimeoutMs = 2000;

QStringView WithoutLeadingZeros(QStringView Digits) {
    while (Digits.size() > 1 && Digits.front() == u'0')
        Digits = Digits.mid(1);
    return Digits;
}

// Name order with digit runs compared as numbers: can2 before can10.
bool NameLess(const QString& A, const QString& B) {
    qsizetype i = 0, j = 0;
    while (i < A.size() && j < B.size()) {
        if (A[i].isDigit() && B[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < A.size() && A[ei].isDigit())
                ++ei;
            while (ej < B.size() && B[ej].isDigit())
                ++ej;
            const QStringView ta = WithoutLeadingZeros(QStringView(A).mid(i, ei - i));
            const QStringView tb = WithoutLeadingZeros(QStringView(B).mid(j, ej - j));
            if (ta.size() != tb.size())
                return ta.size() < tb.size();
            if (ta != tb)
                return ta < tb;
            i = ei;
            j = ej;
            continue;
        }
        if (A[i] != B[j])
            return A[i] < B[j];
        ++i;
        ++j;
    }
    return A.size() - i < B.size() - j || (A.size() - i == B.size() - j && A < B);
}

void ShutdownAtExit() {
    TCanBus::Instance().Shutdown();
}
} // namespace

TCanBus& TCanBus::Instance() {
    static TCanBus bus;
    return bus;
}

TCanBus::~TCanBus() {
    Shutdown();
}

bool TCanBus::EnsureWorker() {
    std::lock_guard<std::mutex> start(FStartLock);
    QCoreApplication* app = QCoreApplication::instance();
    {
        std::lock_guard<std::mutex> l(FLock);
        if (FRunning)
            return true;
    }
    // The worker runs a Qt event loop, which needs the application object.
    if (!app)
        return false;
    if (FThread.joinable())
        FThread.join();
    {
        std::lock_guard<std::mutex> l(FLock);
        FStartFailed = false;
    }
    FThread = std::thread([this] { WorkerMain(); });
    std::unique_lock<std::mutex> l(FLock);
    FCv.wait(l, [this] { return FRunning || FStartFailed; });
    if (FHookedApp != app) {
        // Stop before the application object goes: the devices' sockets need it.
        FHookedApp = app;
        qAddPostRoutine(ShutdownAtExit);
    }
    return FRunning;
}

void TCanBus::WorkerMain() {
    try {
        QEventLoop loop;
        TCanDoorbell bell([this] { Drain(); });
        {
            std::lock_guard<std::mutex> l(FLock);
            FBell = &bell;
            FLoop = &loop;
            FRunning = true;
        }
        FCv.notify_all();
        Drain();
        loop.exec();
        std::lock_guard<std::mutex> l(FLock);
        FBell = nullptr;
        FLoop = nullptr;
        FRunning = false;
    } catch (...) {
        qCWarning(lcCan) << "CAN: the CAN worker could not run";
        std::lock_guard<std::mutex> l(FLock);
        FBell = nullptr;
        FLoop = nullptr;
        FRunning = false;
        FStartFailed = true;
    }
    FCv.notify_all();
    // Tasks that came too late run without an event loop, so that nothing they own is leaked.
    Drain();
}

void TCanBus::Drain() {
    for (;;) {
        std::shared_ptr<TTask> task;
        {
            std::lock_guard<std::mutex> l(FLock);
            if (FTasks.empty()) {
                if (FQuit && FLoop)
                    FLoop->quit();
                return;
            }
            task = FTasks.front();
            FTasks.pop_front();
        }
        try {
            task->Fn();
        } catch (...) {
            // Tasks report through what they own; an exception must not reach the event loop.
            qCWarning(lcCan) << "CAN: a task of the CAN worker failed";
        }
        {
            std::lock_guard<std::mutex> l(FLock);
            task->Done = true;
        }
        FCv.notify_all();
    }
}

bool TCanBus::Run(std::function<void()> Task, int TimeoutMs) {
    if (!EnsureWorker())
        return false;
    auto task = std::make_shared<TTask>();
    task->Fn = std::move(Task);
    std::unique_lock<std::mutex> l(FLock);
    if (!FRunning || FQuit)
        return false;
    if (std::this_thread::get_id() == FThread.get_id()) {
        l.unlock();
        task->Fn();
        return true;
    }
    FTasks.push_back(task);
    FBell->Ring();
    return FCv.wait_for(l, std::chrono::milliseconds(TimeoutMs), [&] { return task->Done; });
}

void TCanBus::Shutdown() {
    std::lock_guard<std::mutex> start(FStartLock);
    std::map<int32_t, std::shared_ptr<TCanNet>> nets;
    {
        std::lock_guard<std::mutex> l(FLock);
        nets.swap(FNets);
        if (FRunning) {
            for (auto& [handle, net] : nets) {
                net->MarkClosed();
                auto task = std::make_shared<TTask>();
                task->Fn = [net = net] { net->Stop(); };
                FTasks.push_back(task);
            }
            FQuit = true;
            FBell->Ring();
        }
    }
    if (FThread.joinable())
        FThread.join();
    std::lock_guard<std::mutex> l(FLock);
    FQuit = false;
    FTasks.clear();
}

TCanResult TCanBus::Open(int32_t Net, int32_t RxQueueSize, int32_t TxTimeoutMs, int32_t RxTimeoutMs,
                         int32_t* Handle) {
    // Qt's virtual bus server runs in the thread that first connects a virtualcan device: when no
    // other process hosts the bus, that is this worker, which lives as long as the application.
    const QString backend = ActiveBackend();
    const std::vector<TCanInterfaceInfo> interfaces = Interfaces(backend);
    if (Net >= int32_t(interfaces.size()))
        return CAN_NET_NOT_FOUND;
    const TCanInterfaceInfo& chosen = interfaces[size_t(Net)];
    if (!chosen.Up)
        return CAN_LINK_DOWN;
    auto net = std::make_shared<TCanNet>(Seam(), backend, chosen.Name, RxQueueSize, RxTimeoutMs, TxTimeoutMs);
    if (!Run([net] { net->Start(); }, ConnectTimeoutMs)) {
        Run([net] { net->Stop(); }, 0);
        return CAN_NET_NOT_FOUND;
    }
    const TCanResult connected = net->WaitConnected(ConnectTimeoutMs);
    if (connected != CAN_SUCCESS) {
        Run([net] { net->Stop(); }, StopTimeoutMs);
        return connected;
    }
    std::lock_guard<std::mutex> l(FLock);
    do {
        FLastHandle = FLastHandle == std::numeric_limits<int32_t>::max() ? 1 : FLastHandle + 1;
    } while (FNets.count(FLastHandle));
    FNets[FLastHandle] = net;
    *Handle = FLastHandle;
    return CAN_SUCCESS;
}

std::vector<TCanInterfaceInfo> TCanBus::Interfaces(const QString& Backend) {
    auto list = std::make_shared<std::vector<TCanInterfaceInfo>>();
    const auto seam = Seam();
    if (!Run([list, seam, Backend] { *list = seam->Interfaces(Backend); }, ConnectTimeoutMs))
        return {};
    // Names sort the same way whatever order the backend found them in, so net n stays put.
    std::vector<TCanInterfaceInfo> sorted = *list;
    std::sort(sorted.begin(), sorted.end(), [](const TCanInterfaceInfo& A, const TCanInterfaceInfo& B) {
        return NameLess(A.Name, B.Name);
    });
    return sorted;
}

void TCanBus::SetSeam(std::shared_ptr<TCanBusSeam> Seam) {
    std::lock_guard<std::mutex> l(FLock);
    FSeam = std::move(Seam);
}

std::shared_ptr<TCanBusSeam> TCanBus::Seam() const {
    std::lock_guard<std::mutex> l(FLock);
    return FSeam ? FSeam : TCanBusSeam::Default();
}

TCanResult TCanBus::Close(int32_t Handle) {
    std::shared_ptr<TCanNet> net;
    {
        std::lock_guard<std::mutex> l(FLock);
        auto it = FNets.find(Handle);
        if (it == FNets.end())
            return CAN_INVALID_HANDLE;
        net = it->second;
        FNets.erase(it);
    }
    net->MarkClosed();
    Run([net] { net->Stop(); }, StopTimeoutMs);
    return CAN_SUCCESS;
}

std::shared_ptr<TCanNet> TCanBus::Find(int32_t Handle) const {
    std::lock_guard<std::mutex> l(FLock);
    auto it = FNets.find(Handle);
    return it == FNets.end() ? nullptr : it->second;
}

int TCanBus::OpenCount() const {
    std::lock_guard<std::mutex> l(FLock);
    return int(FNets.size());
}

void TCanBus::SetBackendOverride(const QString& Backend) {
    std::lock_guard<std::mutex> l(FLock);
    FOverride = Backend;
}

QString TCanBus::BackendOverride() const {
    std::lock_guard<std::mutex> l(FLock);
    return FOverride;
}

QString TCanBus::ActiveBackend() const {
    const QString over = BackendOverride();
    if (!over.isEmpty())
        return over;
    const TIniFile cfg(TIniFile::PathFor(QStringLiteral("can.cfg")));
    const QString backend =
        cfg.ReadString(QStringLiteral("common"), QStringLiteral("backend"), QStringLiteral("socketcan"))
            .trimmed();
    return backend.isEmpty() ? QStringLiteral("socketcan") : backend;
}
