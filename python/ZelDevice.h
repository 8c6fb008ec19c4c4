#pragma once
// What the gripper and the sensor have in common for a Python program: the connection, the
// commands every device understands, raw commands, and waiting for final results. Every member
// runs on the thread that connected (the device's sockets deliver there) without the
// interpreter lock, except where a comment says otherwise.
#include "protocol/AsyncResultEventList.h"
#include "protocol/Types.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

class QThread;
class TKORADevice;

namespace zelpy {

struct TInfo {
    std::string Model;
    int DeviceType = 0;
    int HardwareRevision = 0;
    int FirmwareMajor = 0, FirmwareMinor = 0, FirmwarePatch = 0, FirmwareRC = 0;
    int64_t SerialNumber = 0;
};

struct TResponse {
    int CommandID = 0;
    int Status = 0;
    TByteArray Data; // empty when the answer held its status only
};

// Final results of a command that answered "pending", as the device delivers them.
struct TFinal {
    int Count = 0;
    int Status = 0;
    TByteArray Data;
};

class TDeviceSession {
public:
    // Takes the device; the application must exist.
    explicit TDeviceSession(TKORADevice* Device);
    virtual ~TDeviceSession();

    void Connect(const std::string& Url, double TimeoutSeconds);
    void Close();
    bool Connected() const;
    const std::string& Link() const { return FLink; }
    TKORADevice& Device() const { return *FDevice; }
    bool OnOwnerThread() const;

    TInfo Info();
    double Temperature();
    std::string Tag();
    void SetTag(const std::string& Tag);
    // One command with a raw payload; a "pending" answer is followed to its final result when Wait.
    TResponse Send(uint8_t CommandID, const TByteArray& Payload, bool Wait, double TimeoutSeconds);
    // Runs events (automatic updates, callbacks) for the given time.
    void ProcessEvents(double Seconds);

    // A handler for the device's result list that records into Final.
    static TAsyncResultEvent Recorder(const std::shared_ptr<TFinal>& Final);
    // Waits until Final has more than SeenBefore results; raises on a lost link, a timeout
    // (below 0: none) or a final status other than success.
    void WaitFinal(uint8_t CommandID, const TFinal& Final, int SeenBefore, double TimeoutSeconds);
    std::string CommandName(int CommandID) const;

    // Errors from a Python callback, raised by the next call that returns to Python.
    void SetCallbackError(std::exception_ptr Error);

protected:
    // Checks the thread and the link, runs Body, turns what the device layer raises into the
    // module's errors and raises errors reported while it ran.
    template <class F> auto Run(F&& Body) -> decltype(Body());
    void CheckThread() const;
    // The exchange did not take place: the link is gone, or another exchange is waiting.
    [[noreturn]] void Refused(const std::string& What) const;
    void RaisePending();

    TKORADevice* FDevice;

private:
    [[noreturn]] void Translate(std::exception_ptr Error);
    QThread* FThread;
    std::string FLink;
    std::exception_ptr FCallbackError;
};

template <class F> auto TDeviceSession::Run(F&& Body) -> decltype(Body()) {
    CheckThread();
    try {
        RaisePending();
        if constexpr (std::is_void_v<decltype(Body())>) {
            Body();
            RaisePending();
        } else {
            auto result = Body();
            RaisePending();
            return result;
        }
    } catch (...) {
        Translate(std::current_exception());
    }
}

} // namespace zelpy
