#include "ZelErrors.h"

#include "device/KORADevice.h"
#include "protocol/stat.h"

#include <map>

namespace zelpy {
namespace {
bool TakeBetween(const std::string& Text, const std::string& Head, const std::string& Tail,
                 std::string& Middle, std::string& Rest) {
    if (Text.rfind(Head, 0) != 0)
        return false;
    const size_t end = Text.find(Tail, Head.size());
    if (end == std::string::npos)
        return false;
    Middle = Text.substr(Head.size(), end - Head.size());
    Rest = Text.substr(end + Tail.size());
    return true;
}
} // namespace

int StatusFromText(const std::string& Text) {
    static const std::map<std::string, int> codes = [] {
        std::map<std::string, int> m;
        for (int code = 255; code >= 0; --code) // the lowest code wins a shared text
            m[StatToStr(code)] = code;
        return m;
    }();
    const auto it = codes.find(Text);
    return it == codes.end() || it->first == StatToStr(255) ? -1 : it->second;
}

TError FromDeviceError(const std::exception& Error, bool Connected) {
    const std::string text = Error.what();
    if (!Connected)
        return TError(TFailure::LinkLost, "Connection lost: " + text, E_NOT_OPENED);
    if (dynamic_cast<const EDuruzadUdror*>(&Error) == nullptr)
        return TError(TFailure::CommandFailed, text);
    std::string command, rest;
    if (TakeBetween(text, "Timeout while waiting for response of command ", "", command, rest) ||
        text.rfind("Timeout", 0) == 0)
        return TError(TFailure::Timeout, text, E_TIMEOUT, command);
    if (TakeBetween(text, "Command ", " failed: ", command, rest))
        return TError(TFailure::CommandFailed, text, StatusFromText(rest), command);
    if (TakeBetween(text, "Response to command ", " is smaller", command, rest))
        return TError(TFailure::CommandFailed, text, E_INCONSISTENT_DATA, command);
    if (text.rfind("Error while sending packet", 0) == 0)
        return TError(TFailure::LinkLost, text, E_WRITE_ERROR);
    return TError(TFailure::CommandFailed, text);
}

} // namespace zelpy
