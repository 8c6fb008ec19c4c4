#pragma once
// The failures a Python program tells apart, each raised as its own exception class there.
#include <stdexcept>
#include <string>

namespace zelpy {

enum class TFailure { LinkLost, CommandFailed, Timeout, ConnectFailed };

class TError : public std::runtime_error {
public:
    // Status -1: the failure carries no status of the device.
    TError(TFailure FailureKind, const std::string& Message, int StatusCode = -1, std::string CommandName = {})
        : std::runtime_error(Message), Kind(FailureKind), Status(StatusCode), Command(std::move(CommandName)) {}
    TFailure Kind;
    int Status;
    std::string Command;
};

// A failed exchange of the device layer as one of the kinds above. The layer reports only a
// text; a link that is gone makes any failure a lost link.
TError FromDeviceError(const std::exception& Error, bool Connected);
// The status whose text StatToStr gives; -1 for a text no status has.
int StatusFromText(const std::string& Text);

} // namespace zelpy
