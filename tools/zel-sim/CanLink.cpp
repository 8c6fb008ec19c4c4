#include "CanLink.h"

#include "SimSession.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace zelsim {

namespace {
constexpr uint32_t MaxExtendedId = 0x1FFFFFFF;
}

bool ParseCanAddress(const std::string& Text, TCanAddress& Address, std::string& Error) {
    const auto a = Text.find(':');
    const auto b = a == std::string::npos ? a : Text.find(':', a + 1);
    if (b == std::string::npos || a == 0 || b == a + 1 || b + 1 >= Text.size()) {
        Error = "can: expected plugin:interface:id, got \"" + Text + "\"";
        return false;
    }
    const std::string id = Text.substr(b + 1);
    char* end = nullptr;
    const unsigned long long v = std::strtoull(id.c_str(), &end, 0);
    // The answers go out with id + 1, which must still be a valid identifier.
    if (end == id.c_str() || *end != '\0' || v >= MaxExtendedId) {
        Error = "can: bad identifier \"" + id + "\"";
        return false;
    }
    Address.Plugin = Text.substr(0, a);
    Address.Interface = Text.substr(a + 1, b - a - 1);
    Address.Id = uint32_t(v);
    return true;
}

void HostVirtualCanBus(const TCanAddress& Address) {
    if (Address.Plugin != "virtualcan")
        return;
    static std::mutex lock;
    static bool hosted = false;
    const std::lock_guard<std::mutex> guard(lock);
    if (hosted)
        return;
    std::unique_ptr<QCanBusDevice> d(
        QCanBus::instance()->createDevice("virtualcan", QString::fromStdString(Address.Interface)));
    if (d && d->connectDevice()) {
        hosted = true;
        d->disconnectDevice();
    }
}

TCanLink::TCanLink(TDispatcher& Dispatcher, QObject* Parent) : QObject(Parent), FDispatcher(Dispatcher) {}

TCanLink::~TCanLink() {
    FSession.reset();
    if (FDevice) {
        FDevice->disconnect(this);
        FDevice->disconnectDevice();
        delete FDevice;
    }
}

bool TCanLink::Open(const TCanAddress& Address, std::string& Error) {
    FAddress = Address;
    QString message;
    FDevice = QCanBus::instance()->createDevice(QString::fromStdString(Address.Plugin),
                                                QString::fromStdString(Address.Interface), &message);
    if (!FDevice) {
        Error = "can: cannot create " + Address.Plugin + " device " + Address.Interface + ": " +
                message.toStdString();
        return false;
    }
    connect(FDevice, &QCanBusDevice::framesReceived, this, [this] { ReadFrames(); });
    if (!FDevice->connectDevice()) {
        Error = "can: cannot connect " + Address.Interface + ": " + FDevice->errorString().toStdString();
        delete FDevice;
        FDevice = nullptr;
        return false;
    }
    FSession = std::make_unique<TSimSession>(FDispatcher, "can", *this);
    return true;
}

void TCanLink::ReadFrames() {
    const QList<QCanBusFrame> frames = FDevice->readAllFrames();
    for (const QCanBusFrame& f : frames) {
        if (f.frameType() != QCanBusFrame::DataFrame || f.frameId() != FAddress.Id)
            continue;
        const QByteArray data = f.payload();
        // Classic frames carry at most 8 data bytes; anything beyond is not ours to read.
        const size_t n = std::min<size_t>(size_t(data.size()), 8);
        if (FSession && n > 0)
            FSession->Receive(reinterpret_cast<const uint8_t*>(data.constData()), n);
    }
}

void TCanLink::WriteBytes(const uint8_t* Data, size_t Count, bool /*Separate*/) {
    if (!FDevice || FDevice->state() != QCanBusDevice::ConnectedState)
        return;
    const uint32_t id = FAddress.Id + 1;
    for (size_t off = 0; off < Count; off += 8) {
        const size_t n = std::min<size_t>(8, Count - off);
        QCanBusFrame frame(id, QByteArray(reinterpret_cast<const char*>(Data + off), qsizetype(n)));
        frame.setExtendedFrameFormat(id > 0x7FF);
        FDevice->writeFrame(frame);
    }
}

} // namespace zelsim
