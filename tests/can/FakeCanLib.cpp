#include "FakeCanLib.h"

#include <algorithm>
#include <chrono>
#include <cstring>

TCanApi TFakeCanLib::Api() {
    TCanApi api;
    api.Open = [this](int32_t Net, uint32_t, int32_t, int32_t, int32_t, int32_t, int32_t* Handle) {
        return Open(Net, Handle);
    };
    api.Close = [this](int32_t) {
        std::lock_guard<std::mutex> l(FLock);
        FCalls.push_back("close");
        --FOpen;
        return CAN_SUCCESS;
    };
    api.SetBaudrate = [this](int32_t, uint32_t Code) {
        Log("baud " + std::to_string(Code));
        return BaudrateResult;
    };
    api.IdAdd = [this](int32_t, int32_t Id) {
        Log("idadd " + std::to_string(Id));
        return IdAddResult;
    };
    api.Read = [this](int32_t, CMSG* Msg, int32_t* Count, void*) { return Read(Msg, Count); };
    api.Send = [this](int32_t, const CMSG* Msg, int32_t* Count) {
        std::lock_guard<std::mutex> l(FLock);
        if (FSendAttempts++ == SendFailsAt) {
            *Count = 0;
            return CAN_IO_ERROR;
        }
        FSent.push_back(*Msg);
        return CAN_SUCCESS;
    };
    api.Ioctl = [this](int32_t, uint32_t Command, void*) {
        std::lock_guard<std::mutex> l(FLock);
        FCalls.push_back("ioctl " + std::to_string(Command));
        if (Command == CAN_IOCTL_ABORT_RX) {
            FAborted = true;
            FCv.notify_all();
        }
        return CAN_SUCCESS;
    };
    return api;
}

TCanResult TFakeCanLib::Open(int32_t Net, int32_t* Handle) {
    std::lock_guard<std::mutex> l(FLock);
    FCalls.push_back("open " + std::to_string(Net));
    if (OpenResult != CAN_SUCCESS || std::find(Nets.begin(), Nets.end(), Net) == Nets.end())
        return OpenResult != CAN_SUCCESS ? OpenResult : CAN_NET_NOT_FOUND;
    ++FOpen;
    FAborted = false;
    *Handle = FNextHandle++;
    return CAN_SUCCESS;
}

TCanResult TFakeCanLib::Read(CMSG* Msg, int32_t* Count) {
    std::unique_lock<std::mutex> l(FLock);
    const int32_t capacity = *Count;
    *Count = 0;
    FCv.wait_for(l, std::chrono::milliseconds(100),
                 [this] { return FAborted || !FFrames.empty() || FReadFailure != CAN_SUCCESS; });
    if (FAborted)
        return CAN_ABORTED;
    if (!FFrames.empty() && capacity > 0) {
        *Msg = FFrames.front();
        FFrames.pop_front();
        *Count = 1;
        FCv.notify_all();
        return CAN_SUCCESS;
    }
    return FReadFailure != CAN_SUCCESS ? FReadFailure : CAN_RX_TIMEOUT;
}

void TFakeCanLib::Log(std::string Call) {
    std::lock_guard<std::mutex> l(FLock);
    FCalls.push_back(std::move(Call));
}

void TFakeCanLib::PushFrame(int32_t Id, const std::vector<uint8_t>& Bytes, int Len) {
    CMSG m;
    m.id = Id;
    m.len = uint8_t(Len < 0 ? int(Bytes.size()) : Len);
    std::copy_n(Bytes.begin(), std::min<size_t>(Bytes.size(), 8), m.data);
    {
        std::lock_guard<std::mutex> l(FLock);
        FFrames.push_back(m);
    }
    FCv.notify_all();
}

void TFakeCanLib::PushFrames(int Count, uint8_t Size) {
    std::lock_guard<std::mutex> l(FLock);
    for (int i = 0; i < Count; ++i) {
        CMSG m;
        m.id = 101;
        m.len = Size;
        for (int b = 0; b < Size && b < 8; ++b)
            m.data[b] = uint8_t(i * 8 + b);
        FFrames.push_back(m);
    }
    FCv.notify_all();
}

void TFakeCanLib::FailRead(TCanResult Code) {
    {
        std::lock_guard<std::mutex> l(FLock);
        FReadFailure = Code;
    }
    FCv.notify_all();
}

bool TFakeCanLib::WaitConsumed(int TimeoutMs) {
    std::unique_lock<std::mutex> l(FLock);
    return FCv.wait_for(l, std::chrono::milliseconds(TimeoutMs), [this] { return FFrames.empty(); });
}

std::vector<std::string> TFakeCanLib::Calls() const {
    std::lock_guard<std::mutex> l(FLock);
    return FCalls;
}

std::vector<CMSG> TFakeCanLib::Sent() const {
    std::lock_guard<std::mutex> l(FLock);
    return FSent;
}

int TFakeCanLib::SendAttempts() const {
    std::lock_guard<std::mutex> l(FLock);
    return FSendAttempts;
}

int TFakeCanLib::OpenHandles() const {
    std::lock_guard<std::mutex> l(FLock);
    return FOpen;
}

bool TFakeCanLib::ReadAborted() const {
    std::lock_guard<std::mutex> l(FLock);
    return FAborted;
}
