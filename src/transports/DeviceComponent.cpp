#include "transports/DeviceComponent.h"

#include "platform/ErrorGuard.h"
#include "protocol/tick.h"

#include <QCoreApplication>
#include <QTimer>

TEventWait::TEventWait(uint32_t LimitMs)
    : FLimit(LimitMs), FStart(GetTickCount32()), FOwnWake(std::in_place) {
    FWake = &*FOwnWake;
    FWake->setSingleShot(true);
    FWake->setTimerType(Qt::PreciseTimer);
}

TEventWait::TEventWait(uint32_t LimitMs, QTimer& SharedWake)
    : FLimit(LimitMs), FStart(GetTickCount32()), FWake(&SharedWake) {
    FWake->setSingleShot(true);
    FWake->setTimerType(Qt::PreciseTimer);
}

uint32_t TEventWait::Elapsed() const {
    // Elapsed time, not "tick above deadline": correct when the counter wraps.
    return TicksSince(FStart, GetTickCount32());
}

void TEventWait::Restart() {
    FStart = GetTickCount32();
    if (FOwnWake)
        FWake->stop();
}

void TEventWait::Pass(bool Block) {
    // Our own timer is only ever armed for this wait; a shared one may be due later.
    if (Block && (!FOwnWake || !FWake->isActive())) {
        const uint32_t elapsed = Elapsed();
        const int remaining = int(elapsed < FLimit ? FLimit - elapsed : 0) + 1;
        if (!FWake->isActive() || FWake->remainingTime() > remaining)
            FWake->start(remaining);
    }
    QCoreApplication::processEvents(Block ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents
                                          : QEventLoop::AllEvents);
}

void TDevice::SetLastError(const QString& Address, const QString& Reason) {
    FLastError = Reason.isEmpty() ? Address : Address + QStringLiteral(": ") + Reason;
}

TDevice::TDevice(QObject* Owner, const QString& Name)
    : QObject(Owner),
      FSettings(std::make_unique<TIniFile>(TIniFile::PathFor(Name + QStringLiteral(".cfg")))) {
    setObjectName(Name);
    ShortName = Name;
    FConnectPoll = new QTimer(this);
    FConnectPoll->setInterval(50);
    connect(FConnectPoll, &QTimer::timeout, this, [this] {
        RunGuarded([this] {
            if (!ConnectPollReady())
                return;
            FConnectPoll->stop();
            if (OnConnected)
                OnConnected(this);
        });
    });
}

TDevice::~TDevice() {
    FDestroying = true;
    FConnectPoll->stop();
}

QString TDevice::GetLastPortName() const {
    return FSettings->ReadString(QStringLiteral("Common"), QStringLiteral("Portname"), QString());
}

void TDevice::DoDisconnected() {
    if (!FDestroying && OnDisconnected)
        OnDisconnected(this);
}

void TDevice::NotifyDataAvailable(int32_t Count) {
    if (!OnDataAvailable)
        return;
    struct TRenotify {
        TDevice* D;
        int32_t Before;
        ~TRenotify() {
            try {
                D->RenotifyAfter(Before);
            } catch (...) {
                // Out of memory while unwinding; the next arrival announces the rest.
            }
        }
    } renotify{this, BytesAvailable()};
    OnDataAvailable(this, Count);
}

void TDevice::RenotifyAfter(int32_t Before) {
    const int32_t after = BytesAvailable();
    // Only when the handler made progress: a handler that reads nothing must not cause a spin.
    if (after <= 0 || after >= Before || FRenotifyPending)
        return;
    FRenotifyPending = true;
    QTimer::singleShot(0, this, [this] {
        RunGuarded([this] {
            FRenotifyPending = false;
            if (const int32_t n = BytesAvailable(); n > 0)
                NotifyDataAvailable(n);
        });
    });
}

void TDevice::StartConnectPoll() {
    FConnectPoll->start();
}

void TDevice::StopConnectPoll() {
    FConnectPoll->stop();
}
