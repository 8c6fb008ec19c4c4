#include "ZelConnect.h"

#include "CommandComponent.h"
#include "KORADevice.h"
#include "ZelErrors.h"
#include "ZelRuntime.h"

#include <algorithm>
#include <climits>

namespace zelpy {

TLinkSpec ParseLink(const std::string& Url) {
    TLinkSpec link;
    QString error;
    if (!ParseLinkSpec(QString::fromStdString(Url), link, error))
        throw TError(TFailure::ConnectFailed, error.toStdString());
    return link;
}

void ConnectDevice(TKORADevice& Device, const TLinkSpec& Link, double TimeoutSeconds) {
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
    const uint32_t limitMs =
        TimeoutSeconds <= 0 ? 1 : uint32_t(std::min(TimeoutSeconds * 1000.0 + 0.5, double(INT32_MAX)));
    Device.SetConnectTimeLimit(limitMs);

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
    std::string why;
    if (const std::exception_ptr e = TakeReportedError()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            why = x.what();
        } catch (...) {
            why = "unknown error";
        }
    } else if (!accepted && !sequenceDone) {
        why = "no answer within the time limit";
    } else if (!accepted) {
        why = Device.IsConnected() ? "the device check failed"
                                   : "the device did not answer the system information request";
    }
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
