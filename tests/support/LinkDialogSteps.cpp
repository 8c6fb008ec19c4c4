#include "LinkDialogSteps.h"

#include "linkdialogs/DeviceDialog.h"
#include "linkdialogs/HostnameDialog.h"
#include "protocol/PacketReceiver.h"
#include "linkdialogs/UDPSettingsDialog.h"
#include "WindowControls.h"

#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

TModalDriver::TStep ChooseInterface(int Index) {
    return [Index](QWidget* W) {
        auto* d = qobject_cast<TDeviceDlg*>(W);
        if (!d) {
            ADD_FAILURE() << "expected the interface dialog";
            return;
        }
        Control<QComboBox>(*d, "cbDevice")->setCurrentIndex(Index);
        Control<QPushButton>(*d, "btnConnect")->click();
    };
}

TModalDriver::TStep EnterHost(const QString& Host, quint16 Port) {
    return [Host, Port](QWidget* W) {
        auto* d = qobject_cast<THostNameDlg*>(W);
        if (!d) {
            ADD_FAILURE() << "expected the host dialog";
            return;
        }
        d->SetHost(Host);
        d->SetPort(Port);
        Control<QPushButton>(*d, "btnOk")->click();
    };
}

TModalDriver::TStep EnterUdp(const QString& Address, quint16 Listening, quint16 Transmit) {
    return [=](QWidget* W) {
        auto* d = qobject_cast<TUDPSettingsDlg*>(W);
        if (!d) {
            ADD_FAILURE() << "expected the UDP dialog";
            return;
        }
        d->SetAddress(Address);
        d->SetListeningPort(Listening);
        d->SetTransmitPort(Transmit);
        Control<QPushButton>(*d, "btnOk")->click();
    };
}

QByteArray Frame(uint8_t Id, const QByteArray& Payload) {
    const TByteArray f = MakeFrame(Id, TByteArray(Payload.begin(), Payload.end()));
    return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}
