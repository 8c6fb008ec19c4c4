// The CAN bit rate table belongs to the transports, which the link parser's fuzz target does not
// link: every code the parser lets through counts as a bit rate here.
#include "transports/CanLib.h"

int CanBitrateForCode(uint32_t Code) {
    return Code <= 255 ? 1 : 0;
}
