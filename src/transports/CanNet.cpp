#include "transports/CanNet.h"
#include "platform/LogCategories.h"

#include "transports/CanBus.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QDebug>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace {
// A full transmit queue shows as one of these (ENOBUFS from the qdisc, EAGAIN from a full
// socket buffer); Qt passes on only the text.
bool QueueFull(const QString& Error) {
    static const QString noBufs = qt_error_string(ENOBUFS);
    static const QString again = qt_error_string(EAGAIN);
    return Error == noBufs || Error == again;
}
} // namespace

TCanNet::TCanNet(std::shared_ptr<TCanBusSeam> Seam, QString Backend, QString Interface, int32_t RxQueueSize,
                 int32_t RxTimeoutMs, int32_t TxTimeoutMs)
    : FSeam(std::move(Seam)), FBackend(std::move(Backend)), FInterface(std::move(Interface)),
      FRxCapacity(size_t(std::max<int32_t>(RxQueueSize, 1))), FRxTimeoutMs(RxTimeoutMs),
      FTxTimeoutMs(TxTimeoutMs) {}

TCanNet::~TCanNet() = default;

void TCanNet::Start() {
    QString error;
    FDevice = FSeam->CreateDevice(FBackend, FInterface, &error);
    if (!FDevice) {
        qCDebug(lcCan).noquote() << "CAN:" << FBackend << FInterface << error;
        Fail(CAN_NET_NOT_FOUND);
        return;
    }
    QObject::connect(FDevice, &QCanBusDevice::framesReceived, FDevice,
                     [this] { Guarded([this] { OnFramesReceived(); }); });
    QObject::connect(
        FDevice, &QCanBusDevice::stateChanged, FDevice,
        [this](QCanBusDevice::CanBusDeviceState S) { Guarded([this, S] { OnStateChanged(int(S)); }); });
    QObject::connect(FDevice, &QCanBusDevice::errorOccurred, FDevice,
                     [this](QCanBusDevice::CanBusError E) { Guarded([this, E] { OnError(int(E)); }); });
    if (!FDevice->connectDevice()) {
        qCDebug(lcCan).noquote() << "CAN:" << FBackend << FInterface << FDevice->errorString();
        Fail(CAN_IO_ERROR);
        return;
    }
    if (FDevice->state() == QCanBusDevice::ConnectedState)
        OnStateChanged(int(QCanBusDevice::ConnectedState));
    // Qt's SocketCAN device does not report an interface that goes away or down.
    FWatch = new QTimer(FDevice);
    FWatch->setInterval(WatchIntervalMs);
    QObject::connect(FWatch, &QTimer::timeout, FDevice, [this] { Guarded([this] { Watch(); }); });
    FWatch->start();
}

void TCanNet::Watch() {
    if (FStopping || LinkState() != CAN_SUCCESS)
        return;
    switch (FSeam->LinkState(FBackend, FInterface)) {
    case TCanBusSeam::TLinkState::Up:
        return;
    case TCanBusSeam::TLinkState::Down:
        qCDebug(lcCan).noquote() << "CAN:" << FInterface << "was set down";
        Fail(CAN_LINK_DOWN);
        break;
    case TCanBusSeam::TLinkState::Gone:
        qCDebug(lcCan).noquote() << "CAN:" << FInterface << "has gone away";
        Fail(CAN_LINK_LOST);
        break;
    }
    FWatch->stop();
}

void TCanNet::Stop() {
    FStopping = true;
    if (!FDevice)
        return;
    QObject::disconnect(FDevice, nullptr, FDevice, nullptr);
    DisconnectDevice();
    delete FDevice; // the watch timer with it
    FDevice = nullptr;
    FWatch = nullptr;
}

TCanResult TCanNet::WriteFrames(const CMSG* Msgs, int32_t& Count) {
    const int32_t wanted = Count;
    Count = 0;
    if (const TCanResult state = LinkState(); state != CAN_SUCCESS)
        return state;
    if (!FDevice || FDevice->state() != QCanBusDevice::ConnectedState)
        return CAN_LINK_LOST;
    for (int32_t i = 0; i < wanted; ++i) {
        const CMSG& m = Msgs[i];
        if (m.id < 0 || m.id > CAN_MAX_STD_ID || m.len > 8)
            return CAN_INVALID_PARAMETER;
        const QCanBusFrame frame(QCanBusFrame::FrameId(m.id),
                                 QByteArray(reinterpret_cast<const char*>(m.data), m.len));
        if (!FDevice->writeFrame(frame))
            return QueueFull(FDevice->errorString()) ? CAN_TX_QUEUE_FULL : CAN_IO_ERROR;
        Count = i + 1;
    }
    return CAN_SUCCESS;
}

TCanResult TCanNet::SetBitrate(int Bitrate) {
    int current = FSeam->Bitrate(FBackend, FInterface);
    // Setting the rate takes the interface through a restart where that is allowed at all, so a
    // rate that is right already is left alone.
    if (current != TCanBusSeam::NoBitrate && current != Bitrate && FDevice) {
        // Refused without privileges or while the interface is up: a configuration error that
        // leaves the net as it was, so the rate is read again rather than trusted.
        FDevice->setConfigurationParameter(QCanBusDevice::BitRateKey, QVariant(Bitrate));
        current = FSeam->Bitrate(FBackend, FInterface);
    }
    {
        std::lock_guard<std::mutex> l(FLock);
        FBitrate = current;
    }
    return current == TCanBusSeam::NoBitrate || current == Bitrate ? CAN_SUCCESS : CAN_BITRATE_MISMATCH;
}

void TCanNet::DropLink() {
    Fail(CAN_LINK_LOST);
    DisconnectDevice();
}

void TCanNet::DisconnectDevice() {
    if (!FDevice)
        return;
    const auto state = FDevice->state();
    if (state == QCanBusDevice::ConnectedState || state == QCanBusDevice::ConnectingState)
        FDevice->disconnectDevice();
}

TCanResult TCanNet::WaitConnected(int TimeoutMs) {
    std::unique_lock<std::mutex> l(FLock);
    const bool settled = FChanged.wait_for(l, std::chrono::milliseconds(TimeoutMs),
                                           [this] { return FConnected || FFailure != CAN_SUCCESS; });
    if (FFailure != CAN_SUCCESS)
        return FFailure;
    return settled ? CAN_SUCCESS : CAN_IO_ERROR;
}

TCanResult TCanNet::Read(CMSG* Msgs, int32_t& Count) {
    const int32_t capacity = Count;
    Count = 0;
    if (!Msgs || capacity <= 0)
        return CAN_INVALID_PARAMETER;
    std::unique_lock<std::mutex> l(FLock);
    const auto ready = [this] { return FAborted || FClosed || !FRx.empty() || FFailure != CAN_SUCCESS; };
    if (FRxTimeoutMs > 0)
        FChanged.wait_for(l, std::chrono::milliseconds(FRxTimeoutMs), ready);
    else
        FChanged.wait(l, ready);
    if (FClosed)
        return CAN_INVALID_HANDLE;
    if (FAborted)
        return CAN_ABORTED;
    if (!FRx.empty()) {
        const size_t n = std::min(FRx.size(), size_t(capacity));
        std::copy_n(FRx.begin(), n, Msgs);
        FRx.erase(FRx.begin(), FRx.begin() + std::ptrdiff_t(n));
        Count = int32_t(n);
        return CAN_SUCCESS;
    }
    // Frames that arrived before the link went down are delivered first.
    return FFailure != CAN_SUCCESS ? FFailure : CAN_RX_TIMEOUT;
}

void TCanNet::AbortRead() {
    {
        std::lock_guard<std::mutex> l(FLock);
        FAborted = true;
    }
    FChanged.notify_all();
}

void TCanNet::AddId(int32_t Id) {
    std::lock_guard<std::mutex> l(FLock);
    FAccepted.set(size_t(Id));
}

void TCanNet::MarkClosed() {
    {
        std::lock_guard<std::mutex> l(FLock);
        FClosed = true;
    }
    FChanged.notify_all();
}

TCanResult TCanNet::LinkState() const {
    std::lock_guard<std::mutex> l(FLock);
    return FFailure;
}

uint64_t TCanNet::FramesLost() const {
    std::lock_guard<std::mutex> l(FLock);
    return FLost;
}

int TCanNet::Bitrate() const {
    std::lock_guard<std::mutex> l(FLock);
    return FBitrate;
}

void TCanNet::OnFramesReceived() {
    if (!FDevice)
        return;
    const QList<QCanBusFrame> frames = FDevice->readAllFrames();
    std::vector<CMSG> batch;
    batch.reserve(size_t(frames.size()));
    for (const QCanBusFrame& f : frames) {
        if (f.frameType() == QCanBusFrame::ErrorFrame) {
            OnErrorFrame(f);
            continue;
        }
        // Only standard data frames carry the byte stream; remote and extended frames do not.
        if (!f.isValid() || f.frameType() != QCanBusFrame::DataFrame || f.hasExtendedFrameFormat() ||
            f.frameId() > QCanBusFrame::FrameId(CAN_MAX_STD_ID))
            continue;
        const QByteArray payload = f.payload();
        CMSG m;
        m.id = int32_t(f.frameId());
        m.len = uint8_t(std::min<qsizetype>(payload.size(), 255));
        std::memcpy(m.data, payload.constData(), size_t(std::min<qsizetype>(payload.size(), 8)));
        batch.push_back(m);
    }
    if (batch.empty())
        return;
    uint64_t dropped = 0;
    uint64_t lost = 0;
    {
        std::lock_guard<std::mutex> l(FLock);
        for (const CMSG& m : batch) {
            if (!FAccepted.test(size_t(m.id)))
                continue;
            if (FRx.size() >= FRxCapacity) {
                ++dropped;
                continue;
            }
            FRx.push_back(m);
        }
        FLost += dropped;
        lost = FLost;
    }
    FChanged.notify_all();
    if (dropped > 0) {
        TCanBus::Instance().CountDropped(dropped);
        qCDebug(lcCan).noquote() << "CAN:" << FInterface << "receive queue full:" << dropped << "frames dropped,"
                           << lost << "since the net was opened";
    }
}

void TCanNet::OnErrorFrame(const QCanBusFrame& Frame) {
    const QString text = FDevice ? FDevice->interpretErrorFrame(Frame).simplified() : QString();
    if (Frame.error() & QCanBusFrame::BusOffError) {
        qCDebug(lcCan).noquote() << "CAN:" << FInterface << "bus off:" << text;
        Fail(CAN_BUS_OFF);
        return;
    }
    // Error-warning, error-passive, restarts and single bus errors: the link still works.
    qCDebug(lcCan).noquote() << "CAN:" << FInterface << "error frame:" << text;
}

void TCanNet::OnStateChanged(int State) {
    if (State == QCanBusDevice::ConnectedState) {
        {
            std::lock_guard<std::mutex> l(FLock);
            FConnected = true;
        }
        FChanged.notify_all();
    } else if (State == QCanBusDevice::UnconnectedState && !FStopping) {
        bool wasConnected;
        {
            std::lock_guard<std::mutex> l(FLock);
            wasConnected = FConnected;
        }
        Fail(wasConnected ? CAN_LINK_LOST : CAN_IO_ERROR);
    }
}

void TCanNet::OnError(int Error) {
    if (FStopping)
        return;
    switch (Error) {
    case QCanBusDevice::ReadError:
    case QCanBusDevice::ConnectionError:
        qCDebug(lcCan).noquote() << "CAN:" << FBackend << FInterface
                           << (FDevice ? FDevice->errorString() : QString());
        {
            bool wasConnected;
            {
                std::lock_guard<std::mutex> l(FLock);
                wasConnected = FConnected;
            }
            Fail(wasConnected ? CAN_LINK_LOST : CAN_IO_ERROR);
        }
        break;
    default:
        // Configuration and single write errors do not take the net down; writes report their own.
        break;
    }
}

void TCanNet::Fail(TCanResult Code) {
    {
        std::lock_guard<std::mutex> l(FLock);
        if (FFailure == CAN_SUCCESS)
            FFailure = Code;
    }
    FChanged.notify_all();
}
