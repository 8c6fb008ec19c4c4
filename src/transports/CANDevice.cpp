#include "CANDevice.h"

#include "CANRxThread.h"
#include "CanParamsDialog.h"
#include "IniFile.h"

#include <QDebug>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {
const QString Common = QStringLiteral("common");
const QString KeyBitrate = QStringLiteral("bitrate");
const QString KeyId = QStringLiteral("id");
const QString KeyNet = QStringLiteral("net");
const QString KeyBackend = QStringLiteral("backend");
constexpr int32_t DefaultBitrate = 4;
constexpr int32_t DefaultId = 100;

// The arguments of every canOpen of the transport.
constexpr uint32_t OpenFlags = 0;
constexpr int32_t TxQueueSize = 256;
constexpr int32_t RxQueueSize = 8192;
constexpr int32_t TxTimeoutMs = 1000;
constexpr int32_t RxTimeoutMs = 100;

// "Net " and a decimal number; -1 for anything else.
int32_t NetOfPortName(const QString& PortName) {
    static const QRegularExpression re(QStringLiteral("^Net (\\d{1,9})$"));
    const auto m = re.match(PortName);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}
} // namespace

TCANDevice::TCANDevice(QObject* Owner) : TDevice(Owner, QStringLiteral("can")), FApi(CanLibApi()) {
    FDialog = std::make_unique<TCANParamsDlg>();
    try {
        LoadDialogFromSettings();
    } catch (const std::exception& e) {
        // A bad code in can.cfg must not stop the program from starting; Open reports it.
        qWarning().noquote() << "can.cfg:" << e.what();
    }
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

void TCANDevice::LoadDialogFromSettings() {
    FDialog->SetBitrate(Settings().ReadInteger(Common, KeyBitrate, DefaultBitrate));
    FDialog->SetId(Settings().ReadInteger(Common, KeyId, DefaultId));
}

void TCANDevice::WriteSettings(TIniFile&, const QString&) {}

TStat TCANDevice::OpenFromSettings(TIniFile& File, const QString& Section) {
    const bool headless = File.ValueExists(Section, KeyBackend) || File.ValueExists(Section, KeyNet) ||
                          File.ValueExists(Section, KeyBitrate) || File.ValueExists(Section, KeyId);
    if (!headless)
        return Open(QStringLiteral("Net 0"));

    const QString backend = File.ReadString(Section, KeyBackend, QString()).trimmed();
    if (!backend.isEmpty())
        CanSetBackendOverride(backend);
    bool ok = true;
    const QString netText = File.ReadString(Section, KeyNet, QStringLiteral("0")).trimmed();
    const int32_t net = netText.toInt(&ok);
    if (!ok || net < 0)
        return E_NOT_FOUND;
    const int32_t code =
        File.ReadInteger(Section, KeyBitrate, Settings().ReadInteger(Common, KeyBitrate, DefaultBitrate));
    if (CanBitrateForCode(uint32_t(code)) == 0) {
        qWarning().noquote() << code << "is not a supported bitrate";
        return E_INVALID_PARAMETER;
    }
    const int32_t id = File.ReadInteger(Section, KeyId, Settings().ReadInteger(Common, KeyId, DefaultId));
    return OpenNet(net, code, id);
}

bool TCANDevice::IsOpen() {
    return FRxThread && FNetHandle != -1;
}

TStat TCANDevice::Open(const QString& PortName) {
    const int32_t net = NetOfPortName(PortName);
    if (net < 0)
        return E_NOT_FOUND;
    LoadDialogFromSettings();
    if (!FDialog->Show())
        return E_CMD_ABORTED;
    return OpenNet(net, FDialog->GetBitrate(), FDialog->GetId());
}

TStat TCANDevice::OpenNet(int32_t Net, int32_t BitrateCode, int32_t Id) {
    if (FNetHandle != -1)
        Close();
    int32_t handle = -1;
    if (FApi.Open(Net, OpenFlags, TxQueueSize, RxQueueSize, TxTimeoutMs, RxTimeoutMs, &handle) != CAN_SUCCESS)
        return E_IO_ERROR;
    FNetHandle = handle;
    // A net whose set-up failed is closed at once rather than left open behind a closed transport.
    if (FApi.SetBaudrate(FNetHandle, uint32_t(BitrateCode)) != CAN_SUCCESS) {
        ReleaseNet();
        return E_INVALID_PARAMETER;
    }
    const int64_t rxId = int64_t(Id) + 1;
    if (rxId > std::numeric_limits<int32_t>::max() || FApi.IdAdd(FNetHandle, int32_t(rxId)) != CAN_SUCCESS) {
        ReleaseNet();
        return E_INSUFFICIENT_RESOURCES;
    }
    if (FRxThread) {
        ReleaseNet();
        throw std::logic_error("rx thread was already assigned");
    }
    FRxThread = new TCANRxThread(this, FNetHandle, OnDataAvailable, FApi);
    FTxId = Id;
    Settings().WriteInteger(Common, KeyBitrate, BitrateCode);
    Settings().WriteInteger(Common, KeyId, Id);
    StartConnectPoll();
    return E_SUCCESS;
}

void TCANDevice::ReleaseNet() {
    FApi.Close(FNetHandle);
    FNetHandle = -1;
}

TStat TCANDevice::Close() {
    if (FNetHandle == -1)
        return E_NOT_OPENED;
    StopConnectPoll();
    if (TCANRxThread* thread = FRxThread) {
        // Nothing may call back into an owner that is being torn down.
        if (Destroying())
            thread->ReleaseHandOvers();
        thread->RequestTerminate();
        FApi.Ioctl(FNetHandle, CAN_IOCTL_ABORT_TX, nullptr);
        FApi.Ioctl(FNetHandle, CAN_IOCTL_ABORT_RX, nullptr);
        thread->WaitForEnd();
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
    for (int32_t net = 0; net <= MaxNet; ++net) {
        int32_t handle = -1;
        if (FApi.Open(net, OpenFlags, TxQueueSize, RxQueueSize, TxTimeoutMs, RxTimeoutMs, &handle) ==
            CAN_SUCCESS) {
            List.append(QStringLiteral("Net %1").arg(net));
            FApi.Close(handle);
        }
    }
    if (List.isEmpty())
        List.append(QStringLiteral("not installed"));
}
