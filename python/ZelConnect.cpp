#include "ZelConnect.h"

#include "engine/CommandComponent.h"
#include "device/KORADevice.h"
#include "ZelErrors.h"
#include "ZelRuntime.h"

#include <algorithm>
#include <climits>

namespace zelpy {

TLinkAddress ParseLink(const std::string& Url) {
    TLinkAddress link;
    QString error;
    if (!ParseLinkAddress(QString::fromStdString(Url), link, error))
        throw TError(TFailure::ConnectFailed, error.toStdString());
    return link;
}

namespace {
// At least 1 ms: the device takes 0 as no limit at all.
uint32_t ConnectLimitMs(double TimeoutSeconds) {
    return TimeoutSeconds <= 0 ? 1 : uint32_t(std::min(TimeoutSeconds * 1000.0 + 0.5, double(INT32_MAX)));
}

// Why a connect that has ended or run out of time failed; empty when nothing went wrong.
std::string WhyNotConnected(TKORADevice& Device, bool Accepted, bool SequenceDone) {
    if (const std::exception_ptr e = TakeReportedError()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            return x.what();
        } catch (...) {
            return "unknown error";
        }
    }
    if (!Accepted && !SequenceDone)
        return "no answer within the time limit";
    if (!Accepted)
        return Device.IsConnected() ? "the device check failed"
                                    : "the device did not answer the system information request";
    return {};
}
} // namespace

void ConnectDevice(TKORADevice& Device, const TLinkAddress& Link, double TimeoutSeconds) {
    // The device's own connect sequence runs unchanged; this only notes how it ends, so that a
    // refused device is told apart from one that is still connecting.
    struct TListeners {
        TKORADevice& D;
        bool Accepted = false;
        bool SequenceDone = false;
        ~TListeners() {
            D.OnConnect.Remove(this);
            D.OnConnectSequenceDone.Remove(this);
        }
    } seen{Device};
    Device.OnConnect.Add(&seen, [&seen](TKORADevice*) {
        seen.Accepted = true;
        Wake();
    });
    Device.OnConnectSequenceDone.Add(&seen, [&seen](TKORADevice*) {
        seen.SequenceDone = true;
        Wake();
    });
    const bool& accepted = seen.Accepted;
    const bool& sequenceDone = seen.SequenceDone;
    Device.SetConnectTimeLimit(ConnectLimitMs(TimeoutSeconds));

    const std::string prefix = "Cannot connect over " + Link.Description().toStdString() + ": ";
    TakeMessages();
    // What the transport would have shown the operator says more than its status.
    auto reason = [](std::string Why) {
        const std::string shown = TakeMessages();
        return shown.empty() ? Why : Why + "\n" + shown;
    };
    TStat result = E_SUCCESS;
    try {
        result = Device.ConnectLink(Link);
    } catch (const std::exception& e) {
        throw TError(TFailure::ConnectFailed, prefix + reason(e.what()));
    }
    if (result != E_SUCCESS)
        throw TError(TFailure::ConnectFailed, prefix + reason(StatToStr(result)), result);

    PumpUntil([&] { return accepted || sequenceDone; }, TimeoutSeconds);
    Device.SetConnectTimeLimit(0);
    std::string why = WhyNotConnected(Device, accepted, sequenceDone);
    if (accepted && why.empty()) {
        TakeMessages();
        return;
    }
    why = reason(why);
    try {
        Device.Disconnect();
    } catch (const std::exception&) {
        // Already failing; the link is closed either way.
    }
    if (std::exception_ptr stop = TakeInterrupt())
        std::rethrow_exception(stop);
    throw TError(TFailure::ConnectFailed, prefix + why);
}

} // namespace zelpy
