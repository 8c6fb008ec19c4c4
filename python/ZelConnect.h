#pragma once
// Opening a device's link from a link text without any dialog (the syntax of LinkAddress.h, the
// same as zelctl's --link and the windows' --connect).
#include "engine/LinkAddress.h"

#include <string>

class TKORADevice;

namespace zelpy {

// TError(ConnectFailed) for a text that names no link, with the parser's message.
TLinkAddress ParseLink(const std::string& Url);

// Opens the link and runs the device's connect sequence until the device is accepted. Called
// without the interpreter lock. TError(ConnectFailed) when it is not within TimeoutSeconds; each
// step of the connect sequence waits at most for the time left.
void ConnectDevice(TKORADevice& Device, const TLinkAddress& Link, double TimeoutSeconds);

} // namespace zelpy
