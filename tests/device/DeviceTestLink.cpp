#include "DeviceTestLink.h"

#include "CommandComponent.h"
#include "IniFile.h"
#include "KORADevice.h"
#include "TestWait.h"

TDeviceTestLink::TDeviceTestLink(TKORADevice& Device) : FDevice(Device) {
    FDevice.OnConnect = [this](TKORADevice*) { FAccepted = true; };
    FDevice.OnDisconnect = [this](TKORADevice*) { ++FDisconnects; };
    TKORADevice* device = &FDevice;
    FDevice.Command()->SetOnConnected([this, device](TDevice* Sender) {
        struct TDone {
            bool& Flag;
            ~TDone() { Flag = true; }
        } done{FSequenceDone};
        device->DoConnected(Sender);
    });
}

TDeviceTestLink::~TDeviceTestLink() {
    FDevice.OnConnect = nullptr;
    FDevice.OnDisconnect = nullptr;
    TKORADevice* device = &FDevice;
    FDevice.Command()->SetOnConnected([device](TDevice* Sender) { device->DoConnected(Sender); });
}

TStat TDeviceTestLink::Open(quint16 Port) {
    FSequenceDone = false;
    FAccepted = false;
    TIniFile ini(TIniFile::PathFor(QStringLiteral("device-test-link.ini")));
    ini.WriteString(QStringLiteral("link"), QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    ini.WriteInteger(QStringLiteral("link"), QStringLiteral("port"), Port);
    return FDevice.ConnectFromSettings(1, ini, QStringLiteral("link"));
}

bool TDeviceTestLink::WaitConnectSequence(int TimeoutMs) {
    return WaitUntil([this] { return FSequenceDone; }, TimeoutMs);
}

bool TDeviceTestLink::Connect(quint16 Port) {
    return Open(Port) == E_SUCCESS && WaitConnectSequence() && FAccepted;
}
