#pragma once
// Command line of zel-sim, turned into a simulator configuration.
#include "SimConfig.h"

#include <string>
#include <vector>

namespace zelsim {

struct TOptions {
    bool Ok = false;
    bool Help = false;    // --help: print UsageText and stop
    bool Version = false; // --version: print the version and stop
    std::string Message;  // what was wrong when not Ok
    TSimConfig Config;
};

// Args[0] is the program name. Without any link option the simulator listens on TCP 1000 and
// UDP 1500, the console's defaults.
TOptions ParseOptions(const std::vector<std::string>& Args);
std::string UsageText();

// "drop=0.2,delay=50,split": adds to Faults; false with a message on the first bad item.
bool ParseFaults(const std::string& Text, TFaultConfig& Faults, std::string& Error);
// "1.2.3" or "1.2.3-rc4", each digit 0 to 15, into the 16-bit firmware field.
bool ParseFirmware(const std::string& Text, uint16_t& Firmware);

} // namespace zelsim
