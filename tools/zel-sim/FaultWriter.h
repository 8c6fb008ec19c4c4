#pragma once
// Frames outgoing packets and passes them to the link, applying the configured faults on the way.
// Without faults a frame goes straight to the link; with timing faults an ordered queue keeps
// the stream in sequence.
#include "ByteSink.h"
#include "SimConfig.h"
#include "protocol/Types.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <random>

namespace zelsim {

class TFaultWriter : public QObject {
public:
    TFaultWriter(TByteSink& Sink, const TFaultConfig& Faults, QObject* Parent = nullptr);

    void SetFaults(const TFaultConfig& Faults);
    const TFaultConfig& Faults() const { return FFaults; }

    // Answer: a response to a command, the only kind whose length the wrong-length fault changes.
    void Send(uint8_t CommandID, const TByteArray& Payload, bool Answer);

    uint64_t PacketsSent() const { return FSent; }
    bool Closed() const { return FClosed; }

private:
    struct TChunk {
        TByteArray Bytes;
        int64_t NotBefore; // steady clock, ms
        int GapMs;         // at least this long after the chunk before it went out
        bool EndsPacket;
    };
    bool Roll(double Share);
    void Enqueue(TChunk Chunk);
    void Pump();
    void Write(const TChunk& Chunk);
    void PacketWritten();

    TByteSink& FSink;
    TFaultConfig FFaults;
    std::mt19937 FRandom;
    std::deque<TChunk> FQueue;
    QTimer FTimer;
    int64_t FLastWrite = 0; // when the last chunk went out, ms
    uint64_t FSent = 0;
    bool FClosed = false;
};

} // namespace zelsim
