#include "transports/baudrate.h"

namespace {
constexpr int Rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                         14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr int CodeCount = int(sizeof(Rates) / sizeof(Rates[0]));
} // namespace

int BaudIndexToRate(int Code) {
    if (Code <= brUser || Code >= CodeCount)
        return 19200;
    return Rates[Code];
}

int BaudRateToIndex(int Rate) {
    for (int code = br110; code < CodeCount; ++code)
        if (Rates[code] == Rate)
            return code;
    return br19200;
}
