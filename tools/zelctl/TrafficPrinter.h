#pragma once
// Writes every logged packet as one line, in the command log's words, with command names and
// the status of received packets decoded.
#include "CommLog.h"

#include <QTextStream>

class TKORADevice;

class TTrafficPrinter : public TCommLogSink {
public:
    TTrafficPrinter(QTextStream& Out, const TKORADevice& Device) : FOut(Out), FDevice(Device) {}
    void AddPacket(const TPacket& Packet, bool Received) override;
    static QString Describe(const TPacket& Packet, bool Received, const TKORADevice& Device);

private:
    QTextStream& FOut;
    const TKORADevice& FDevice;
};
