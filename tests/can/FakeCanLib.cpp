#include "FakeCanLib.h"

#include <algorithm>
#include <chrono>
#include <cstring>

TCanApi TFakeCanLib::Api() {
    TCanApi api;
    api.Open = [this](int32_t Net, uint32_t, int32_t, int32_t, int32_t, int32_t, int32_t* Handle) {
        return Open(Net, Handle);
    };
    api.Close = [this](int32_t Handle) { return Close(Handle); };
    api.SetBaudrate = [this](int32_t Handle, uint32_t Code) {
        std::lock_guard<std::mutex> l(FLock);
        FCalls.push_back("baud " + std::to_string(Code));
        return Use(Handle, "canSetBaudrate") ? BaudrateResult : CAN_INVALID_HANDLE;
    };
    api.IdAdd = [this](int32_t Handle, int32_t Id) {
        std::lock_guard<std::mutex> l(FLock);
        FCalls.push_back("idadd " + std::to_string(Id));
        return Use(Handle, "canIdAdd") ? IdAddResult : CAN_INVALID_HANDLE;
    };
    api.Read = [this](int32_t Handle, CMSG* Msg, int32_t* Count, void*) { return Read(Handle, Msg, Count); };
    api.Send = [this](int32_t Handle, const CMSG* Msg, int32_t* Count) {
        std::lock_guard<std::mutex> l(FLock);
        if (!Use(Handle, "canSend"))
            return CAN_INVALID_HANDLE;
        if (FSendAttempts++ == SendFailsAt) {
            *Count = 0;
            return CAN_IO_ERROR;
        }
        FSent.push_back(*Msg);
        return CAN_SUCCESS;
    };
    api.Ioctl = [this](int32_t Handle, uint32_t Command, void*) {
        std::lock_guard<std::mutex> l(FLock);
        FCalls.push_back("ioctl " + std::to_string(Command));
        THandle* h = Use(Handle, "canIoctl");
        if (!h)
            return CAN_INVALID_HANDLE;
        if (Command == CAN_IOCTL_ABORT_RX) {
            h->Aborted = true;
            FLastAborted = true;
            FCv.notify_all();
        }
        return CAN_SUCCESS;
    };
    api.Interfaces = [this] {
        std::lock_guard<std::mutex> l(FLock);
        return Interfaces;
    };
    api.NetBitrate = [this](int32_t Handle, int32_t* Bitrate) {
        std::lock_guard<std::mutex> l(FLock);
        if (!Use(Handle, "CanNetBitrate"))
            return CAN_INVALID_HANDLE;
        *Bitrate = NetBitrate;
        return CAN_SUCCESS;
    };
    return api;
}

TFakeCanLib::THandle* TFakeCanLib::Use(int32_t Handle, const char* Call) {
    auto it = FHandles.find(Handle);
    if (it == FHandles.end() || !it->second.Open) {
        FViolations.push_back(std::string(Call) + " on handle " + std::to_string(Handle) +
                              ", which is not open");
        return nullptr;
    }
    return &it->second;
}

TCanResult TFakeCanLib::Open(int32_t Net, int32_t* Handle) {
    std::lock_guard<std::mutex> l(FLock);
    FCalls.push_back("open " + std::to_string(Net));
    if (OpenResult != CAN_SUCCESS)
        return OpenResult;
    if (Net < 0 || size_t(Net) >= Interfaces.size())
        return CAN_NET_NOT_FOUND;
    if (!Interfaces[size_t(Net)].Up)
        return CAN_LINK_DOWN;
    *Handle = FNextHandle++;
    FHandles[*Handle] = THandle{};
    FLastAborted = false;
    return CAN_SUCCESS;
}

TCanResult TFakeCanLib::Close(int32_t Handle) {
    std::lock_guard<std::mutex> l(FLock);
    FCalls.push_back("close");
    THandle* h = Use(Handle, "canClose");
    if (!h)
        return CAN_INVALID_HANDLE;
    if (h->Reading > 0)
        FViolations.push_back("canClose on handle " + std::to_string(Handle) +
                              " while the receive thread is still in canRead");
    h->Open = false;
    FCv.notify_all();
    return CAN_SUCCESS;
}

TCanResult TFakeCanLib::Read(int32_t Handle, CMSG* Msg, int32_t* Count) {
    std::unique_lock<std::mutex> l(FLock);
    const int32_t capacity = *Count;
    *Count = 0;
    THandle* h = Use(Handle, "canRead");
    if (!h)
        return CAN_INVALID_HANDLE;
    ++h->Reading;
    FCv.wait_for(l, std::chrono::milliseconds(100),
                 [&] { return h->Aborted || !FFrames.empty() || FReadFailure != CAN_SUCCESS; });
    --h->Reading;
    if (!h->Open)
        return CAN_INVALID_HANDLE;
    if (h->Aborted)
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
    return int(std::count_if(FHandles.begin(), FHandles.end(), [](const auto& H) { return H.second.Open; }));
}

bool TFakeCanLib::ReadAborted() const {
    std::lock_guard<std::mutex> l(FLock);
    return FLastAborted;
}

std::vector<std::string> TFakeCanLib::Violations() const {
    std::lock_guard<std::mutex> l(FLock);
    return FViolations;
}
