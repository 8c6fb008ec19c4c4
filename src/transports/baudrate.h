#pragma once
// Serial speed codes and their bits per second.
enum TBaudRate {
    brUser,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};

// Bits per second of a code; a code without a rate gives 19200.
int BaudIndexToRate(int Code);
// Code of a rate; a rate not in the table gives br19200.
int BaudRateToIndex(int Rate);
