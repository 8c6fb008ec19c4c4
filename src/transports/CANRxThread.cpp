#include "transports/CANRxThread.h"

#include "transports/CanDoorbell.h"
#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"

#include <QTimer>

#include <algorithm>
#include <stdexcept>

TCANRxThread::TCANRxThread(TDevice* Device, int32_t NetHandle, TDataAvailableEvent OnData, TCanApi Api)
    : QObject(Device), FNetHandle(NetHandle), FOnData(std::move(OnData)), FDevice(Device),
      FRxQueue(std::make_unique<TByteQueue>(RxQueueSize)), FApi(std::move(Api)) {
    if (!FRxQueue)
        throw std::runtime_error("rx queue not assigned");
    FHandOverTimer = new QTimer(this);
    FHandOverTimer->setInterval(HandOverDelayMs);
    FHandOverTimer->setSingleShot(true);
    connect(FHandOverTimer, &QTimer::timeout, this, [this] {
        // The handler may close the transport and with it release this object: it waits.
        TBusyScope busy(FBusy);
        RunGuarded([] { throw ECommunicationError("Cannot access CAN-Hardware"); });
    });
    FBell = new TCanDoorbell([this] { Serve(); }, this);
    FThread = std::thread([this] { Execute(); });
}

TCANRxThread::~TCANRxThread() {
    if (FThread.joinable()) {
        ReleaseHandOvers();
        RequestTerminate();
        WaitForEnd();
    }
}

int32_t TCANRxThread::Read(uint8_t* Buffer, int32_t MaxCount) {
    if (!Buffer || MaxCount <= 0)
        return 0;
    std::lock_guard<std::mutex> l(FLock);
    return FRxQueue->Read(Buffer, MaxCount);
}

int32_t TCANRxThread::Count() {
    std::lock_guard<std::mutex> l(FLock);
    return FRxQueue->Count();
}

void TCANRxThread::RequestTerminate() {
    {
        std::lock_guard<std::mutex> l(FHandLock);
        FTerminate = true;
    }
    FHandCv.notify_all();
}

void TCANRxThread::ReleaseHandOvers() {
    {
        std::lock_guard<std::mutex> l(FHandLock);
        FReleased = true;
    }
    FHandCv.notify_all();
}

bool TCANRxThread::Finished() {
    std::lock_guard<std::mutex> l(FHandLock);
    return FFinished;
}

void TCANRxThread::WaitForEnd() {
    if (FBusy > 0)
        ReleaseHandOvers();
    std::unique_lock<std::mutex> l(FHandLock);
    while (!FFinished) {
        if (FPending && !FReleased) {
            l.unlock();
            Serve();
            l.lock();
            continue;
        }
        FHandCv.wait(l);
    }
    l.unlock();
    if (FThread.joinable())
        FThread.join();
}

void TCANRxThread::Execute() {
    try {
        CMSG msg;
        while (!FTerminate) {
            int32_t count = 1;
            const TCanResult result = FApi.Read(FNetHandle, &msg, &count, nullptr);
            if (result == CAN_SUCCESS) {
                if (count == 1)
                    ReceiveFrame(msg);
            } else if (result != CAN_RX_TIMEOUT && result != CAN_ABORTED) {
                ReadFailed(result);
                break;
            }
        }
    } catch (...) {
        // Nothing may escape a thread; the loop only ends early, the transport stays closable.
    }
    {
        std::lock_guard<std::mutex> l(FHandLock);
        FFinished = true;
    }
    FHandCv.notify_all();
}

void TCANRxThread::ReceiveFrame(const CMSG& Msg) {
    // The data field holds 8 bytes even when the length byte claims more (CAN FD frames).
    const int n = std::min<int>(Msg.len, 8);
    bool overrun = false;
    {
        std::lock_guard<std::mutex> l(FLock);
        for (int i = 0; i < n && !overrun; ++i)
            overrun = !FRxQueue->Push(Msg.data[i]);
    }
    if (overrun) {
        FErrorText = QStringLiteral("Data overrun!");
        ShowErrorBox();
    }
    NotifyData();
}

void TCANRxThread::ReadFailed(TCanResult Result) {
    QString code = QString::number(Result, 16).toUpper();
    if (code.size() < 2)
        code.prepend(u'0');
    FErrorText = QStringLiteral("Connection to CAN-Interface lost (%1h)").arg(code);
    ShowErrorBox();
    HandOver([this] { FHandOverTimer->start(); });
    // Idle until the UI closes the transport; the terminate request wakes the wait at once.
    std::unique_lock<std::mutex> l(FHandLock);
    FHandCv.wait(l, [this] { return FTerminate.load(); });
}

void TCANRxThread::ShowErrorBox() {
    HandOver([this] { ShowMessage(TMessageKind::Error, QStringLiteral("CAN Error: ") + FErrorText); });
}

void TCANRxThread::NotifyData() {
    HandOver([this] {
        const int32_t count = Count();
        if (FOnData)
            FOnData(FDevice, count);
    });
}

void TCANRxThread::HandOver(std::function<void()> Fn) {
    auto request = std::make_shared<THandOver>();
    request->Fn = std::move(Fn);
    std::unique_lock<std::mutex> l(FHandLock);
    if (FReleased)
        return;
    FPending = request;
    FBell->Ring();
    FHandCv.notify_all();
    FHandCv.wait(l, [&] { return request->Done || FReleased; });
    if (FPending == request)
        FPending.reset();
}

void TCANRxThread::Serve() {
    std::shared_ptr<THandOver> request;
    {
        std::lock_guard<std::mutex> l(FHandLock);
        request = std::move(FPending);
        FPending.reset();
    }
    if (!request)
        return;
    {
        TBusyScope busy(FBusy);
        RunGuarded(request->Fn);
    }
    {
        std::lock_guard<std::mutex> l(FHandLock);
        request->Done = true;
    }
    FHandCv.notify_all();
}
