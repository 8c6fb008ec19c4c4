#pragma once
// Opens a device's TCP link to a loopback port without any dialog and waits for its connect
// sequence (system information, device check) to finish, whatever its outcome.
#include "protocol/stat.h"

#include <QtGlobal>

class TKORADevice;

class TDeviceTestLink {
public:
    explicit TDeviceTestLink(TKORADevice& Device);
    // Takes its handlers back out of the device, which may outlive it.
    ~TDeviceTestLink();
    TDeviceTestLink(const TDeviceTestLink&) = delete;
    TDeviceTestLink& operator=(const TDeviceTestLink&) = delete;

    TStat Open(quint16 Port);
    // True once the connect sequence ran (accepted, refused or failed) within TimeoutMs.
    bool WaitConnectSequence(int TimeoutMs = 5000);
    // Open and wait; true when the device was accepted (OnConnect).
    bool Connect(quint16 Port);

    bool SequenceDone() const { return FSequenceDone; }
    bool Accepted() const { return FAccepted; }
    int Disconnects() const { return FDisconnects; }

private:
    TKORADevice& FDevice;
    bool FSequenceDone = false;
    bool FAccepted = false;
    int FDisconnects = 0;
};
