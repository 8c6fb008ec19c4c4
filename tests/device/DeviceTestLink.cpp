#include "DeviceTestLink.h"

#include "device/KORADevice.h"
#include "engine/LinkAddress.h"
#include "TestWait.h"

TDeviceTestLink::TDeviceTestLink(TKORADevice& Device) : FDevice(Device) {
    FDevice.OnConnect.Add(this, [this](TKORADevice*) { FAccepted = true; });
    FDevice.OnDisconnect.Add(this, [this](TKORADevice*) { ++FDisconnects; });
    FDevice.OnConnectSequenceDone.Add(this, [this](TKORADevice*) { FSequenceDone = true; });
}

TDeviceTestLink::~TDeviceTestLink() {
    FDevice.OnConnect.Remove(this);
    FDevice.OnDisconnect.Remove(this);
    FDevice.OnConnectSequenceDone.Remove(this);
}

TStat TDeviceTestLink::Open(quint16 Port) {
    FSequenceDone = false;
    FAccepted = false;
    TLinkAddress link;
    link.Kind = TLinkAddress::TKind::Tcp;
    link.Tcp = {QStringLiteral("127.0.0.1"), Port};
    return FDevice.ConnectLink(link);
}

bool TDeviceTestLink::WaitConnectSequence(int TimeoutMs) {
    return WaitUntil([this] { return FSequenceDone; }, TimeoutMs);
}

bool TDeviceTestLink::Connect(quint16 Port) {
    return Open(Port) == E_SUCCESS && WaitConnectSequence() && FAccepted;
}
