#pragma once
// Writes every logged packet as a line in the command log's words, with command names and the
// status of received packets decoded, and a line with its fields; or as the command log's CSV
// record.
#include "device/CommLog.h"
#include "platform/RecordFile.h"
#include "protocol/tick.h"

#include <QTextStream>

#include <functional>

#include <string>
#include <vector>

class TKORADevice;

class TTrafficPrinter : public TCommLogSink {
public:
    TTrafficPrinter(QTextStream& Out, const TKORADevice& Device) : FOut(Out), FDevice(Device) {}
    void AddPacket(const TPacket& Packet, bool Received) override;
    static QString Describe(const TPacket& Packet, bool Received, const TKORADevice& Device);
    // The packet's fields as the device reads them ("position 20.00 mm, speed 50.00 mm/s").
    static std::string Fields(const TKORADevice& Device, int32_t ID, bool Received,
                              const TByteArray& Payload);

private:
    QTextStream& FOut;
    const TKORADevice& FDevice;
};

// The console's "Save..." as CSV, written as the traffic happens: the header on Open, then one
// row per packet, each written at once so that an interrupted run keeps what it logged. The first
// row that cannot be written whole is cut off again, ends the log and is told to OnFailed.
class TTrafficCsv : public TCommLogSink {
public:
    TTrafficCsv(const QString& Path, const TKORADevice& Device, bool Sensor, TTickSource Clock = {});
    // False with Error() set when the file cannot be created.
    bool Open();
    void AddPacket(const TPacket& Packet, bool Received) override;
    // Closes the file; false when any write failed.
    bool Close();
    // The first failure, with the file's name.
    QString Error() const { return FError; }
    std::function<void(const QString& Error)> OnFailed;

private:
    void Write(const QString& Row);

    QString FPath;
    TRecordFile FFile;
    const TKORADevice& FDevice;
    bool FSensor;
    TTickSource FClock;
    bool FStarted = false;
    uint32_t FOrigin = 0;
    QString FError;
};

// Hands every packet to each sink in turn.
class TTrafficTee : public TCommLogSink {
public:
    std::vector<TCommLogSink*> Sinks;
    void AddPacket(const TPacket& Packet, bool Received) override {
        for (TCommLogSink* s : Sinks)
            s->AddPacket(Packet, Received);
    }
};
