#include "DeviceComponent.h"

#include "ErrorGuard.h"

#include <QTimer>

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
    const int32_t before = BytesAvailable();
    OnDataAvailable(this, Count);
    const int32_t after = BytesAvailable();
    // Only when the handler made progress: a handler that reads nothing must not cause a spin.
    if (after <= 0 || after >= before || FRenotifyPending)
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
