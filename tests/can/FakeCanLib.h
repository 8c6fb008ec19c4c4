#pragma once
// A scripted CAN library for the transport's tests: interfaces that open, results per call, frames
// to deliver and a read failure to report, with a log of every call. It keeps its own table of
// handles and records every use the real library would punish: a call on a handle that is not
// open, and canClose while a canRead on that handle has not returned (the receive thread must
// have ended first). Thread-safe: canRead runs in the transport's receive thread.
#include "transports/CanLib.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class TFakeCanLib {
public:
    TCanApi Api();

    // Script (set before the transport opens). Net n is Interfaces[n]; a down one does not open.
    std::vector<TCanInterfaceInfo> Interfaces{{QStringLiteral("can0"), true, false}};
    TCanResult OpenResult = CAN_SUCCESS;
    TCanResult BaudrateResult = CAN_SUCCESS;
    int32_t NetBitrate = 0; // what CanNetBitrate reports after a refused rate
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
    // Misuses seen so far, one line each; a test ends with none.
    std::vector<std::string> Violations() const;

private:
    struct THandle {
        bool Open = true;
        bool Aborted = false;
        int Reading = 0;
    };
    TCanResult Open(int32_t Net, int32_t* Handle);
    TCanResult Close(int32_t Handle);
    TCanResult Read(int32_t Handle, CMSG* Msg, int32_t* Count);
    // Under FLock: the open handle, or null after recording the misuse.
    THandle* Use(int32_t Handle, const char* Call);

    mutable std::mutex FLock;
    std::condition_variable FCv;
    std::vector<std::string> FCalls;
    std::vector<std::string> FViolations;
    std::map<int32_t, THandle> FHandles;
    std::deque<CMSG> FFrames;
    std::vector<CMSG> FSent;
    int FSendAttempts = 0;
    int32_t FNextHandle = 40;
    bool FLastAborted = false;
    TCanResult FReadFailure = CAN_SUCCESS;
};
