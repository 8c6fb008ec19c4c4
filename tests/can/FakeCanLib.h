#pragma once
// A scripted CAN library for the transport's tests: nets that open, results per call, frames to
// deliver and a read failure to report, with a log of every call. Thread-safe: canRead runs in
// the transport's receive thread.
#include "CanLib.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class TFakeCanLib {
public:
    TCanApi Api();

    // Script (set before the transport opens).
    std::vector<int32_t> Nets{0};
    TCanResult OpenResult = CAN_SUCCESS;
    TCanResult BaudrateResult = CAN_SUCCESS;
    TCanResult IdAddResult = CAN_SUCCESS;
    int SendFailsAt = -1; // 0-based index of the canSend call that fails

    // Frames for canRead; Len defaults to the number of bytes.
    void PushFrame(int32_t Id, const std::vector<uint8_t>& Bytes, int Len = -1);
    void PushFrames(int Count, uint8_t Size);
    void FailRead(TCanResult Code);
    // Blocks (without serving events) until canRead has taken every pushed frame.
    bool WaitConsumed(int TimeoutMs = 5000);

    std::vector<std::string> Calls() const;
    std::vector<CMSG> Sent() const;
    int SendAttempts() const;
    int OpenHandles() const;
    bool ReadAborted() const;

private:
    TCanResult Open(int32_t Net, int32_t* Handle);
    TCanResult Read(CMSG* Msg, int32_t* Count);
    void Log(std::string Call);

    mutable std::mutex FLock;
    std::condition_variable FCv;
    std::vector<std::string> FCalls;
    std::deque<CMSG> FFrames;
    std::vector<CMSG> FSent;
    int FSendAttempts = 0;
    int FOpen = 0;
    int32_t FNextHandle = 40;
    bool FAborted = false;
    TCanResult FReadFailure = CAN_SUCCESS;
};
