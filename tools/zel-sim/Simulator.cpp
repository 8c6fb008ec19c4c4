#include "Simulator.h"

#include "CanLink.h"
#include "Dispatcher.h"
#include "GripperCommands.h"
#include "PtyLink.h"
#include "SensorCommands.h"
#include "TcpLink.h"
#include "UdpLink.h"

#include <QHostAddress>
#include <QThread>

#include <exception>

namespace zelsim {

TSimulator::TSimulator(const TSimConfig& Config, QObject* Parent)
    : QObject(Parent), FConfig(Config), FDispatcher(new TDispatcher(Config, this)) {}

TSimulator::~TSimulator() {
    Stop();
}

bool TSimulator::Start(std::string* Error) {
    std::string error;
    auto fail = [&](const std::string& e) {
        Stop();
        if (Error)
            *Error = e;
        return false;
    };
    if (FRunning)
        return true;
    FRunning = true;
    const QHostAddress address(QString::fromStdString(FConfig.BindAddress));
    if (address.isNull())
        return fail("bad bind address \"" + FConfig.BindAddress + "\"");
    auto portOk = [](int p) { return p >= 0 && p <= 65535; };
    if (FConfig.TcpPort >= 0) {
        FTcp = new TTcpLink(*FDispatcher, this);
        if (!portOk(FConfig.TcpPort) || !FTcp->Listen(address, uint16_t(FConfig.TcpPort), error))
            return fail(error.empty() ? "bad tcp port" : error);
    }
    if (FConfig.UdpPort >= 0) {
        FUdp = new TUdpLink(*FDispatcher, this);
        if (!portOk(FConfig.UdpPort) || !FUdp->Bind(address, uint16_t(FConfig.UdpPort), error))
            return fail(error.empty() ? "bad udp port" : error);
    }
    if (FConfig.Pty) {
        FPty = new TPtyLink(*FDispatcher, this);
        if (!FPty->Open(FConfig.PtyLink, error))
            return fail(error);
    }
    if (!FConfig.Can.empty()) {
        TCanAddress can;
        FCan = new TCanLink(*FDispatcher, this);
        if (!ParseCanAddress(FConfig.Can, can, error) || !FCan->Open(can, error))
            return fail(error);
    }
    return true;
}

void TSimulator::Stop() {
    // Links (and with them their sessions) go before the dispatcher they talk to.
    delete FTcp;
    delete FUdp;
    delete FPty;
    delete FCan;
    FTcp = nullptr;
    FUdp = nullptr;
    FPty = nullptr;
    FCan = nullptr;
    FRunning = false;
}

uint16_t TSimulator::TcpPort() const {
    return FTcp ? FTcp->Port() : 0;
}
uint16_t TSimulator::UdpPort() const {
    return FUdp ? FUdp->Port() : 0;
}
std::string TSimulator::PtyPath() const {
    return FPty ? FPty->Path() : std::string();
}

std::string TSimulator::Endpoints() const {
    std::string s;
    if (FTcp)
        s += "tcp " + FConfig.BindAddress + ":" + std::to_string(TcpPort()) + "\n";
    if (FUdp)
        s += "udp " + FConfig.BindAddress + ":" + std::to_string(UdpPort()) + "\n";
    if (FPty) {
        s += "pty " + FPty->Path() + "\n";
        if (!FPty->LinkPath().empty())
            s += "pty-link " + FPty->LinkPath() + "\n";
    }
    if (FCan) {
        const TCanAddress& c = FCan->Address();
        s += "can " + c.Plugin + ":" + c.Interface + ":" + std::to_string(c.Id) + "\n";
    }
    return s;
}

void TSimulator::SetLogSink(TLogSink Sink) {
    FDispatcher->SetLogSink(std::move(Sink));
}

bool TSimulator::LosePart() {
    if (!FDispatcher->Gripper())
        return false;
    FDispatcher->Sync();
    return FDispatcher->Gripper()->Model().LosePart();
}

void TSimulator::SetTemperature(int16_t Tenths) {
    FDispatcher->SetTemperature(Tenths);
}

void TSimulator::SetFaults(const TFaultConfig& Faults) {
    FConfig.Faults = Faults;
    FDispatcher->SetFaults(Faults);
}

TGripperModel* TSimulator::Gripper() {
    return FDispatcher->Gripper() ? &FDispatcher->Gripper()->Model() : nullptr;
}

TSensorModel* TSimulator::Sensor() {
    return FDispatcher->Sensor() ? &FDispatcher->Sensor()->Model() : nullptr;
}

double TSimulator::Now() const {
    return FDispatcher->Now();
}

// ---------------------------------------------------------------------------------------------

TSimThread::TSimThread(const TSimConfig& Config) : FConfig(Config) {}

TSimThread::~TSimThread() {
    Stop();
}

bool TSimThread::Start(std::string* Error) {
    if (FThread)
        return true;
    TCanAddress can;
    std::string ignored;
    if (!FConfig.Can.empty() && ParseCanAddress(FConfig.Can, can, ignored))
        HostVirtualCanBus(can);
    FThread = std::make_unique<QThread>();
    FThread->setObjectName("zel-sim");
    FThread->start();
    bool ok = false;
    std::string error;
    auto* context = new QObject;
    context->moveToThread(FThread.get());
    QMetaObject::invokeMethod(
        context,
        [&] {
            FSim = new TSimulator(FConfig);
            ok = FSim->Start(&error);
            if (ok) {
                FTcpPort = FSim->TcpPort();
                FUdpPort = FSim->UdpPort();
                FPtyPath = FSim->PtyPath();
            }
            // The simulator itself serves as the context of later calls.
            context->deleteLater();
        },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        if (Error)
            *Error = error;
        Stop();
    }
    return ok;
}

void TSimThread::Stop() {
    if (!FThread)
        return;
    if (FSim) {
        TSimulator* sim = FSim;
        QMetaObject::invokeMethod(
            sim,
            [sim] {
                sim->Stop();
                sim->deleteLater();
            },
            Qt::BlockingQueuedConnection);
        FSim = nullptr;
    }
    // Objects deleted later are destroyed when the thread finishes.
    FThread->quit();
    FThread->wait();
    FThread.reset();
    FTcpPort = FUdpPort = 0;
    FPtyPath.clear();
}

void TSimThread::Run(const std::function<void(TSimulator&)>& Fn) {
    if (!FSim)
        return;
    std::exception_ptr failure;
    // No exception may unwind through the event loop; hand it back to the caller instead.
    QMetaObject::invokeMethod(
        FSim,
        [&] {
            try {
                Fn(*FSim);
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace zelsim
