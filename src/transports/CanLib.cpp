#include "transports/CanLib.h"

#include "transports/CanBus.h"
#include "transports/CanNet.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {
bool ValidFrame(const CMSG& M) {
    return M.id >= 0 && M.id <= CAN_MAX_STD_ID && M.len <= 8;
}
} // namespace

TCanResult canOpen(int32_t Net, uint32_t /*Flags*/, int32_t TxQueueSize, int32_t RxQueueSize,
                   int32_t TxTimeoutMs, int32_t RxTimeoutMs, int32_t* Handle) {
    if (!Handle || Net < 0 || Net > 255 || TxQueueSize <= 0 || RxQueueSize <= 0 || TxTimeoutMs < 0 ||
        RxTimeoutMs < 0)
        return CAN_INVALID_PARAMETER;
    return TCanBus::Instance().Open(Net, RxQueueSize, TxTimeoutMs, RxTimeoutMs, Handle);
}

TCanResult canClose(int32_t Handle) {
    return TCanBus::Instance().Close(Handle);
}

TCanResult canSetBaudrate(int32_t Handle, uint32_t BitrateCode) {
    const auto net = TCanBus::Instance().Find(Handle);
    if (!net)
        return CAN_INVALID_HANDLE;
    const int bitrate = CanBitrateForCode(BitrateCode);
    if (bitrate == 0)
        return CAN_INVALID_PARAMETER;
    if (const TCanResult state = net->LinkState(); state != CAN_SUCCESS)
        return state;
    auto result = std::make_shared<TCanResult>(CAN_TX_TIMEOUT);
    // Owns what it touches: it may still run after the wait has given up.
    if (!TCanBus::Instance().Run([net, bitrate, result] { *result = net->SetBitrate(bitrate); },
                                 net->TxTimeoutMs()))
        return CAN_TX_TIMEOUT;
    return *result;
}

TCanResult canIdAdd(int32_t Handle, int32_t Id) {
    const auto net = TCanBus::Instance().Find(Handle);
    if (!net)
        return CAN_INVALID_HANDLE;
    if (Id < 0 || Id > CAN_MAX_STD_ID)
        return CAN_INVALID_PARAMETER;
    net->AddId(Id);
    return CAN_SUCCESS;
}

TCanResult canRead(int32_t Handle, CMSG* Msgs, int32_t* Count, void* /*Overlapped*/) {
    if (!Count)
        return CAN_INVALID_PARAMETER;
    const auto net = TCanBus::Instance().Find(Handle);
    if (!net) {
        *Count = 0;
        return CAN_INVALID_HANDLE;
    }
    return net->Read(Msgs, *Count);
}

TCanResult canSend(int32_t Handle, const CMSG* Msgs, int32_t* Count) {
    if (!Count)
        return CAN_INVALID_PARAMETER;
    const int32_t wanted = *Count;
    *Count = 0;
    const auto net = TCanBus::Instance().Find(Handle);
    if (!net)
        return CAN_INVALID_HANDLE;
    if (wanted < 0 || (wanted > 0 && !Msgs))
        return CAN_INVALID_PARAMETER;
    if (wanted == 0)
        return CAN_SUCCESS;
    for (int32_t i = 0; i < wanted; ++i)
        if (!ValidFrame(Msgs[i]))
            return CAN_INVALID_PARAMETER;
    // The job outlives this call when the worker does not answer in time.
    struct TJob {
        std::vector<CMSG> Msgs;
        int32_t Taken = 0;
        TCanResult Result = CAN_TX_TIMEOUT;
    };
    using TClock = std::chrono::steady_clock;
    const auto patience = std::chrono::milliseconds(net->TxTimeoutMs());
    auto lastProgress = TClock::now();
    int32_t done = 0;
    for (;;) {
        auto job = std::make_shared<TJob>();
        job->Msgs.assign(Msgs + done, Msgs + wanted);
        const bool ran = TCanBus::Instance().Run(
            [net, job] {
                job->Taken = int32_t(job->Msgs.size());
                job->Result = net->WriteFrames(job->Msgs.data(), job->Taken);
            },
            net->TxTimeoutMs());
        if (!ran)
            return CAN_TX_TIMEOUT;
        done += job->Taken;
        *Count = done;
        if (job->Result != CAN_TX_QUEUE_FULL)
            return job->Result;
        // The queue drains at the bus's pace; the rest follows in order once there is room.
        if (job->Taken > 0)
            lastProgress = TClock::now();
        else if (TClock::now() - lastProgress >= patience)
            return CAN_TX_TIMEOUT;
        if (TCanBus::Instance().Find(Handle) != net)
            return CAN_INVALID_HANDLE;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TCanResult canIoctl(int32_t Handle, uint32_t Command, void* /*Arg*/) {
    const auto net = TCanBus::Instance().Find(Handle);
    if (!net)
        return CAN_INVALID_HANDLE;
    switch (Command) {
    case CAN_IOCTL_ABORT_RX:
        net->AbortRead();
        return CAN_SUCCESS;
    case CAN_IOCTL_ABORT_TX:
        // canSend hands every frame to the bus before it returns, so nothing waits here.
        return CAN_SUCCESS;
    default:
        return CAN_NOT_SUPPORTED;
    }
}

int CanBitrateForCode(uint32_t Code) {
    switch (Code) {
    case 0:
        return 1000000;
    case 2:
        return 500000;
    case 4:
        return 250000;
    case 6:
        return 125000;
    case 7:
        return 100000;
    case 9:
        return 50000;
    case 11:
        return 20000;
    case 13:
        return 10000;
    default:
        return 0;
    }
}

std::vector<TCanInterfaceInfo> CanListInterfaces() {
    return TCanBus::Instance().Interfaces(TCanBus::Instance().ActiveBackend());
}

TCanResult CanNetBitrate(int32_t Handle, int32_t* Bitrate) {
    const auto net = TCanBus::Instance().Find(Handle);
    if (!net)
        return CAN_INVALID_HANDLE;
    if (!Bitrate)
        return CAN_INVALID_PARAMETER;
    *Bitrate = net->Bitrate();
    return CAN_SUCCESS;
}

uint64_t CanFramesLost(int32_t Handle) {
    const auto net = TCanBus::Instance().Find(Handle);
    return net ? net->FramesLost() : 0;
}

uint64_t CanFramesLostTotal() {
    return TCanBus::Instance().DroppedTotal();
}

void CanSetBusSeam(std::shared_ptr<TCanBusSeam> Seam) {
    TCanBus::Instance().SetSeam(std::move(Seam));
}

bool CanRunInWorker(std::function<void()> Task, int TimeoutMs) {
    return TCanBus::Instance().Run(std::move(Task), TimeoutMs);
}

void CanSetBackendOverride(const QString& Backend) {
    TCanBus::Instance().SetBackendOverride(Backend.trimmed());
}

QString CanBackendOverride() {
    return TCanBus::Instance().BackendOverride();
}

QString CanActiveBackend() {
    return TCanBus::Instance().ActiveBackend();
}

int CanOpenHandleCount() {
    return TCanBus::Instance().OpenCount();
}

TCanResult CanDropLink(int32_t Handle) {
    const auto net = TCanBus::Instance().Find(Handle);
    if (!net)
        return CAN_INVALID_HANDLE;
    TCanBus::Instance().Run([net] { net->DropLink(); }, 2000);
    return CAN_SUCCESS;
}

void CanShutdown() {
    TCanBus::Instance().Shutdown();
}

const TCanApi& CanLibApi() {
    static const TCanApi api{canOpen, canClose, canSetBaudrate,    canIdAdd,     canRead,
                             canSend, canIoctl, CanListInterfaces, CanNetBitrate};
    return api;
}
