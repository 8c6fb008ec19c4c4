#include "CANDevice.h"

TCANDevice::TCANDevice(QObject* Owner) : TDevice(Owner, QStringLiteral("can")) {
    InterfaceName = QStringLiteral("CAN-Bus");
}

TCANDevice::~TCANDevice() {
    BeginDestroy();
}

void TCANDevice::WriteSettings(TIniFile&, const QString&) {}

TStat TCANDevice::OpenFromSettings(TIniFile&, const QString&) {
    return Open(QStringLiteral("Net 0"));
}

TStat TCANDevice::Open(const QString&) {
    return E_NOT_FOUND;
}

int32_t TCANDevice::Read(uint8_t*, int32_t) {
    return -1;
}

TStat TCANDevice::Write(const uint8_t*, int32_t) {
    return E_NOT_OPENED;
}

void TCANDevice::GetPortList(QStringList& List) {
    List.clear();
    List.append(QStringLiteral("not installed"));
}
