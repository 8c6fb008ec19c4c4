#include "linkdialogs/LinkDialogs.h"

#include "linkdialogs/BaudrateDialog.h"
#include "transports/CANDevice.h"
#include "linkdialogs/CanParamsDialog.h"
#include "engine/CommandComponent.h"
#include "linkdialogs/DeviceDialog.h"
#include "linkdialogs/HostnameDialog.h"
#include "transports/SerialDevice.h"
#include "transports/TCPDevice.h"
#include "transports/UDPDevice.h"
#include "linkdialogs/UDPSettingsDialog.h"
#include "transports/baudrate.h"

#include <memory>
#include <optional>

namespace {
// A link's dialog and the settings it was last filled with, kept as a child of the link.
template <class TDialog, class TSettings> class THeld : public QObject {
public:
    std::unique_ptr<TDialog> Dialog;
    std::optional<TSettings> Filled;
};

template <class TDialog, class TSettings = int, class TMake>
THeld<TDialog, TSettings>& Held(QObject& Link, TMake Make) {
    static const QString name = QStringLiteral("linkDialog");
    using THolder = THeld<TDialog, TSettings>;
    auto* held = static_cast<THolder*>(Link.findChild<QObject*>(name, Qt::FindDirectChildrenOnly));
    if (!held) {
        held = new THolder;
        held->setObjectName(name);
        held->setParent(&Link);
        held->Dialog.reset(Make());
    }
    return *held;
}

auto& HeldFor(TCommand& Engine) {
    return Held<TDeviceDlg>(Engine, [&Engine] { return new TDeviceDlg(&Engine); });
}
auto& HeldFor(TSerialDevice& Link) {
    return Held<TBaudrateDlg>(Link, [] { return new TBaudrateDlg; });
}
auto& HeldFor(TTCPDevice& Link) {
    return Held<THostNameDlg, TTcpSettings>(Link, [] { return new THostNameDlg; });
}
auto& HeldFor(TUDPDevice& Link) {
    return Held<TUDPSettingsDlg, TUdpSettings>(Link, [] { return new TUDPSettingsDlg; });
}
auto& HeldFor(TCANDevice& Link) {
    return Held<TCANParamsDlg>(Link, [] { return new TCANParamsDlg; });
}

bool AskInterface(TCommand& Engine, TInterfaceChoice& Choice) {
    TDeviceDlg* dialog = LinkDialog(Engine);
    if (!dialog->Show())
        return false;
    Choice = {dialog->SelectedInterface(), dialog->PortText()};
    return true;
}

// The speed is shown anew from uart.cfg at every open.
bool AskSerial(TSerialDevice& Link, TSerialSettings& Settings) {
    TBaudrateDlg* dialog = LinkDialog(Link);
    dialog->SelectCode(BaudRateToIndex(Settings.Baudrate));
    if (!dialog->Show())
        return false;
    Settings.Baudrate = BaudIndexToRate(dialog->Code());
    return true;
}

bool AskTcp(TTCPDevice& Link, TTcpSettings& Settings) {
    auto& held = HeldFor(Link);
    THostNameDlg* dialog = held.Dialog.get();
    if (held.Filled != Settings) {
        dialog->SetHost(Settings.Host);
        dialog->SetPort(Settings.Port);
        held.Filled = Settings;
    }
    if (!dialog->Show())
        return false;
    Settings = {dialog->Host(), dialog->Port()};
    held.Filled = Settings;
    return true;
}

bool AskUdp(TUDPDevice& Link, TUdpSettings& Settings) {
    auto& held = HeldFor(Link);
    TUDPSettingsDlg* dialog = held.Dialog.get();
    if (held.Filled != Settings) {
        dialog->SetAddress(Settings.Address);
        dialog->SetListeningPort(Settings.ListeningPort);
        dialog->SetTransmitPort(Settings.TransmitPort);
        held.Filled = Settings;
    }
    if (!dialog->Show())
        return false;
    Settings = {dialog->Address(), dialog->ListeningPort(), dialog->TransmitPort()};
    held.Filled = Settings;
    return true;
}

// Bit rate and identifier are shown anew from can.cfg at every open; a code the box does not
// offer raises its error.
bool AskCan(TCANDevice& Link, TCanSettings& Settings) {
    TCANParamsDlg* dialog = LinkDialog(Link);
    dialog->SetBitrate(Settings.Bitrate);
    dialog->SetId(Settings.Id);
    dialog->SetInterface(Settings.Interface);
    if (!dialog->Show())
        return false;
    Settings.Bitrate = dialog->GetBitrate();
    Settings.Id = dialog->GetId();
    return true;
}
} // namespace

void InstallLinkDialogs() {
    TCommand::AskOperator() = AskInterface;
    TSerialDevice::AskOperator() = AskSerial;
    TTCPDevice::AskOperator() = AskTcp;
    TUDPDevice::AskOperator() = AskUdp;
    TCANDevice::AskOperator() = AskCan;
}

TDeviceDlg* LinkDialog(TCommand& Engine) {
    return HeldFor(Engine).Dialog.get();
}
TBaudrateDlg* LinkDialog(TSerialDevice& Link) {
    return HeldFor(Link).Dialog.get();
}
THostNameDlg* LinkDialog(TTCPDevice& Link) {
    return HeldFor(Link).Dialog.get();
}
TUDPSettingsDlg* LinkDialog(TUDPDevice& Link) {
    return HeldFor(Link).Dialog.get();
}
TCANParamsDlg* LinkDialog(TCANDevice& Link) {
    return HeldFor(Link).Dialog.get();
}
