#include "transports/CANDevice.h"
#include "platform/LogCategories.h"

#include "transports/CANRxThread.h"
#include "platform/IniFile.h"

#include <QDebug>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {
const QString Common = QStringLiteral("common");
const QString KeyBitrate = QStringLiteral("bitrate");
const QString KeyId = QStringLiteral("id");
const QString KeyNet = QStringLiteral("net");
const QString KeyBackend = QStringLiteral("backend");
const QString KeyInterface = QStringLiteral("interface");
constexpr int32_t DefaultBitrate = 4;
constexpr int32_t DefaultId = 100;

// The arguments of every canOpen of the transport.
constexpr uint32_t OpenFlags = 0;
constexpr int32_t TxQueueSize = 256;
constexpr int32_t RxQueueSize = 8192;
constexpr int32_t TxTimeoutMs = 1000;
constexpr int32_t RxTimeoutMs = 100;

// "Net " and a decimal number, optionally followed by the interface as the port list shows it:
// "Net 0 (can0)", "Net 1 (vcan0, down)". Net -1 for anything else.
struct TPortName {
    int32_t Net = -1;
    QString Interface;
};

TPortName ParsePortName(const QString& PortName) {
    static const QRegularExpression re(QStringLiteral("^Net (\\d{1,9})(?: \\(([^ ,()]+)(?:, down)?\\))?$"));
    const auto m = re.match(PortName);
    TPortName port;
    if (m.hasMatch()) {
        port.Net = m.captured(1).toInt();
        port.Interface = m.captured(2);
    }
    return port;
}

QString PortNameOf(size_t Net, const TCanInterfaceInfo& Interface) {
    return Interface.Up ? QStringLiteral("Net %1 (%2)").arg(Net).arg(Interface.Name)
                        : QStringLiteral("Net %1 (%2, down)").arg(Net).arg(Interface.Name);
}

// Position of the interface called Name, or -1.
int32_t IndexOf(const std::vector<TCanInterfaceInfo>& List, const QString& Name) {
    for (size_t i = 0; i < List.size(); ++i)
        if (List[i].Name == Name)
            return int32_t(i);
    return -1;
}

// A backend named by a script holds for its own open only; the asked opens read can.cfg.
class TScopedBackend {
public:
    explicit TScopedBackend(const QString& Backend) : FActive(!Backend.isEmpty()) {
        if (FActive) {
            FPrevious = CanBackendOverride();
            CanSetBackendOverride(Backend);
        }
    }
    ~TScopedBackend() {
        if (FActive)
            CanSetBackendOverride(FPrevious);
    }
    TScopedBackend(const TScopedBackend&) = delete;
    TScopedBackend& operator=(const TScopedBackend&) = delete;

private:
    bool FActive;
    QString FPrevious;
};
} // namespace

TCANDevice::TCANDevice(QObject* Owner) : TDevice(Owner, QStringLiteral("can")), FApi(CanLibApi()) {
    InterfaceName = QStringLiteral("CAN-Bus");
}

TCANDevice::~TCANDevice() {
    BeginDestroy();
    Close();
}

void TCANDevice::SetCanApi(TCanApi Api) {
    if (FNetHandle != -1)
        throw std::logic_error("the CAN library cannot be changed while a net is open");
    FApi = std::move(Api);
}

TCANDevice::TQuestion& TCANDevice::AskOperator() {
    static TQuestion question;
    return question;
}

TCanSettings TCANDevice::StoredSettings() const {
    TCanSettings stored;
    stored.Bitrate = Settings().ReadInteger(Common, KeyBitrate, DefaultBitrate);
    stored.Id = Settings().ReadInteger(Common, KeyId, DefaultId);
    return stored;
}

TStat TCANDevice::OpenWith(const TCanSettings& Given) {
    if (Given.Net < 0)
        return E_NOT_FOUND;
    if (CanBitrateForCode(uint32_t(Given.Bitrate)) == 0) {
        qCWarning(lcTransport).noquote() << Given.Bitrate << "is not a supported bitrate";
        return E_INVALID_PARAMETER;
    }
    const std::vector<TCanInterfaceInfo> list = Interfaces();
    const size_t net = size_t(Given.Net);
    return OpenNet(Given.Net, net < list.size() ? list[net] : TCanInterfaceInfo{}, Given.Bitrate, Given.Id);
}

void TCANDevice::WriteSettings(TIniFile&, const QString&) {}

TStat TCANDevice::OpenFromSettings(TIniFile& File, const QString& Section) {
    const QString cfgInterface = Settings().ReadString(Common, KeyInterface, QString()).trimmed();
    bool headless = !cfgInterface.isEmpty();
    for (const QString& key : {KeyBackend, KeyInterface, KeyNet, KeyBitrate, KeyId})
        headless = headless || File.ValueExists(Section, key);
    if (!headless)
        return Open(QStringLiteral("Net 0"));

    const TScopedBackend backend(File.ReadString(Section, KeyBackend, QString()).trimmed());
    QString name = File.ReadString(Section, KeyInterface, QString()).trimmed();
    int32_t net = 0;
    if (name.isEmpty() && File.ValueExists(Section, KeyNet)) {
        bool ok = true;
        net = File.ReadString(Section, KeyNet, QString()).trimmed().toInt(&ok);
        if (!ok || net < 0)
            return E_NOT_FOUND;
    } else if (name.isEmpty()) {
        name = cfgInterface;
    }
    const int32_t code =
        File.ReadInteger(Section, KeyBitrate, Settings().ReadInteger(Common, KeyBitrate, DefaultBitrate));
    if (CanBitrateForCode(uint32_t(code)) == 0) {
        qCWarning(lcTransport).noquote() << code << "is not a supported bitrate";
        return E_INVALID_PARAMETER;
    }
    const int32_t id = File.ReadInteger(Section, KeyId, Settings().ReadInteger(Common, KeyId, DefaultId));
    return OpenNamed(name, net, code, id);
}

TStat TCANDevice::OpenLink(const TCanSettings& Given, const QString& Backend) {
    if (Given.Interface.isEmpty() && Given.Net < 0)
        return E_NOT_FOUND;
    if (CanBitrateForCode(uint32_t(Given.Bitrate)) == 0) {
        qCWarning(lcTransport).noquote() << Given.Bitrate << "is not a supported bitrate";
        return E_INVALID_PARAMETER;
    }
    const TScopedBackend backend(Backend);
    return OpenNamed(Given.Interface, Given.Net, Given.Bitrate, Given.Id);
}

TStat TCANDevice::OpenNamed(const QString& Name, int32_t Net, int32_t BitrateCode, int32_t Id) {
    const std::vector<TCanInterfaceInfo> list = Interfaces();
    if (!Name.isEmpty()) {
        Net = IndexOf(list, Name);
        if (Net < 0) {
            qCWarning(lcTransport).noquote() << "CAN interface" << Name << "not found";
            return E_NOT_FOUND;
        }
    }
    return OpenNet(Net, size_t(Net) < list.size() ? list[size_t(Net)] : TCanInterfaceInfo{}, BitrateCode, Id);
}

bool TCANDevice::IsOpen() {
    return FRxThread && FNetHandle != -1;
}

std::vector<TCanInterfaceInfo> TCANDevice::Interfaces() {
    return FApi.Interfaces ? FApi.Interfaces() : std::vector<TCanInterfaceInfo>{};
}

TStat TCANDevice::Open(const QString& PortName) {
    const TPortName port = ParsePortName(PortName);
    if (port.Net < 0)
        return E_NOT_FOUND;
    // The list may have changed since it was shown: the interface the user saw is the one opened.
    const std::vector<TCanInterfaceInfo> list = Interfaces();
    int32_t net = port.Net;
    if (!port.Interface.isEmpty()) {
        net = IndexOf(list, port.Interface);
        if (net < 0)
            return E_NOT_FOUND;
    }
    const TCanInterfaceInfo info = size_t(net) < list.size() ? list[size_t(net)] : TCanInterfaceInfo{};
    TCanSettings settings = StoredSettings();
    settings.Net = net;
    settings.Interface = info.Name.isEmpty() ? QString() : PortNameOf(size_t(net), info);
    if (AskOperator() && !AskOperator()(*this, settings))
        return E_CMD_ABORTED;
    return OpenNet(net, info, settings.Bitrate, settings.Id);
}

TStat TCANDevice::OpenNet(int32_t Net, const TCanInterfaceInfo& Interface, int32_t BitrateCode, int32_t Id) {
    // Frames can only be sent with a valid standard identifier, and the answers come with the next.
    if (Id < 0 || Id > MaxId) {
        qCWarning(lcTransport).noquote() << "CAN: identifier" << Id << "is outside 0 to" << MaxId;
        return E_INVALID_PARAMETER;
    }
    if (FNetHandle != -1)
        Close();
    ClearLastError();
    int32_t handle = -1;
    const TCanResult opened =
        FApi.Open(Net, OpenFlags, TxQueueSize, RxQueueSize, TxTimeoutMs, RxTimeoutMs, &handle);
    if (opened != CAN_SUCCESS) {
        if (opened == CAN_LINK_DOWN)
            ReportDown(Interface, BitrateCode);
        return E_IO_ERROR;
    }
    FNetHandle = handle;
    ++FLinkSerial;
    // A net whose set-up failed is closed at once rather than left open behind a closed transport.
    if (const TCanResult rate = FApi.SetBaudrate(FNetHandle, uint32_t(BitrateCode)); rate != CAN_SUCCESS) {
        if (rate == CAN_BITRATE_MISMATCH)
            ReportBitrate(Interface, BitrateCode);
        ReleaseNet();
        return E_INVALID_PARAMETER;
    }
    if (FApi.IdAdd(FNetHandle, Id + 1) != CAN_SUCCESS) {
        ReleaseNet();
        return E_INSUFFICIENT_RESOURCES;
    }
    if (FRxThread) {
        ReleaseNet();
        throw std::logic_error("rx thread was already assigned");
    }
    FRxThread = new TCANRxThread(this, FNetHandle, OnDataAvailable, FApi);
    FTxId = Id;
    FInterfaceName = Interface.Name;
    Settings().WriteInteger(Common, KeyBitrate, BitrateCode);
    Settings().WriteInteger(Common, KeyId, Id);
    StartConnectPoll();
    return E_SUCCESS;
}

void TCANDevice::ReportDown(const TCanInterfaceInfo& Interface, int32_t BitrateCode) {
    const QString name = Interface.Name;
    const QString command = Interface.Virtual ? QStringLiteral("sudo ip link set %1 up").arg(name)
                                              : QStringLiteral("sudo ip link set %1 up type can bitrate %2")
                                                    .arg(name)
                                                    .arg(CanBitrateForCode(uint32_t(BitrateCode)));
    const QString text = QStringLiteral("CAN interface %1 is down. Bring it up with:\n%2").arg(name, command);
    qCWarning(lcTransport).noquote() << text;
    // The reason of the failed open: the window's one box about it says it.
    SetLastError(text, QString());
}

void TCANDevice::ReportBitrate(const TCanInterfaceInfo& Interface, int32_t BitrateCode) {
    int32_t current = 0;
    if (!FApi.NetBitrate || FApi.NetBitrate(FNetHandle, &current) != CAN_SUCCESS)
        current = 0;
    const int wanted = CanBitrateForCode(uint32_t(BitrateCode));
    const QString name = Interface.Name.isEmpty() ? QStringLiteral("can0") : Interface.Name;
    const QString now =
        current > 0 ? QStringLiteral("%1 bit/s").arg(current) : QStringLiteral("an unknown bit rate");
    const QString text =
        QStringLiteral("CAN interface %1 runs at %2, not at the chosen %3 bit/s, and its bit rate cannot be "
                       "set from here. Set it with:\nsudo ip link set %1 down\n"
                       "sudo ip link set %1 up type can bitrate %3")
            .arg(name, now)
            .arg(wanted);
    qCWarning(lcTransport).noquote() << text;
    // The reason of the failed open: the window's one box about it says it.
    SetLastError(text, QString());
}

void TCANDevice::ReleaseNet() {
    FApi.Close(FNetHandle);
    FNetHandle = -1;
    ++FLinkSerial;
}

TStat TCANDevice::Close() {
    if (FNetHandle == -1)
        return E_NOT_OPENED;
    StopConnectPoll();
    const uint64_t link = FLinkSerial;
    if (TCANRxThread* thread = FRxThread) {
        // Nothing may call back into an owner that is being torn down.
        if (Destroying())
            thread->ReleaseHandOvers();
        thread->RequestTerminate();
        FApi.Ioctl(FNetHandle, CAN_IOCTL_ABORT_TX, nullptr);
        FApi.Ioctl(FNetHandle, CAN_IOCTL_ABORT_RX, nullptr);
        thread->WaitForEnd();
        // A Close run by a hand-over served meanwhile has finished this link, and whoever ran it
        // may have opened the next one: nothing is left to do here.
        if (FLinkSerial != link)
            return E_SUCCESS;
        FRxThread = nullptr;
        // Closed from inside one of its own hand-overs or its timer: that code still runs on the
        // stack, so the object goes once control is back in the event loop.
        if (thread->Busy())
            thread->deleteLater();
        else
            delete thread;
    }
    ReleaseNet();
    DoDisconnected();
    return E_SUCCESS;
}

int32_t TCANDevice::BytesAvailable() {
    return IsOpen() ? FRxThread->Count() : 0;
}

int32_t TCANDevice::Read(uint8_t* Buffer, int32_t MaxCount) {
    if (!IsOpen())
        return -1;
    return FRxThread->Read(Buffer, MaxCount);
}

TStat TCANDevice::Write(const uint8_t* Buffer, int32_t Count) {
    if (!IsOpen())
        return E_NOT_OPENED;
    if (Count > 0 && !Buffer)
        return E_INVALID_PARAMETER;
    for (int32_t done = 0; done < Count;) {
        CMSG msg;
        msg.id = FTxId;
        msg.len = uint8_t(std::min<int32_t>(8, Count - done));
        std::memcpy(msg.data, Buffer + done, msg.len);
        int32_t sent = 1;
        if (FApi.Send(FNetHandle, &msg, &sent) != CAN_SUCCESS || sent != 1)
            return E_WRITE_ERROR;
        done += msg.len;
    }
    return E_SUCCESS;
}

void TCANDevice::GetPortList(QStringList& List) {
    List.clear();
    const std::vector<TCanInterfaceInfo> list = Interfaces();
    for (size_t net = 0; net < list.size(); ++net)
        List.append(PortNameOf(net, list[net]));
    if (List.isEmpty())
        List.append(QStringLiteral("not installed"));
}

QString TCANDevice::LinkDescription() const {
    return QStringLiteral("CAN %1 id %2").arg(FInterfaceName).arg(FTxId);
}
