#include "FaultWriter.h"

#include "protocol/PacketReceiver.h"

#include <chrono>

namespace zelsim {

namespace {
int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

TFaultWriter::TFaultWriter(TByteSink& Sink, const TFaultConfig& Faults, QObject* Parent)
    : QObject(Parent), FSink(Sink), FFaults(Faults), FRandom(Faults.Seed), FTimer(this) {
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, [this] { Pump(); });
}

void TFaultWriter::SetFaults(const TFaultConfig& Faults) {
    FFaults = Faults;
    FRandom.seed(Faults.Seed);
}

bool TFaultWriter::Roll(double Share) {
    if (Share <= 0)
        return false;
    if (Share >= 1)
        return true;
    return std::uniform_real_distribution<double>(0, 1)(FRandom) < Share;
}

void TFaultWriter::Send(uint8_t CommandID, const TByteArray& Payload, bool Answer) {
    if (FClosed)
        return;
    if (!FFaults.Any()) {
        // Framed on the stack when it fits: most answers are a few bytes, and this runs for each.
        uint8_t small[256];
        TByteArray large;
        uint8_t* out = small;
        if (Payload.size() + FrameOverhead > sizeof small) {
            large.resize(Payload.size() + FrameOverhead);
            out = large.data();
        }
        int32_t length = 0;
        if (BuildFrame(CommandID, Payload.data(), Payload.size(), out, length) != E_SUCCESS)
            return;
        FSink.WriteBytes(out, size_t(length), false);
        ++FSent;
        return;
    }
    if (Roll(FFaults.DropShare))
        return;
    TByteArray frame;
    if (Answer && Roll(FFaults.WrongLengthShare)) {
        TByteArray changed = Payload;
        if (changed.empty())
            changed.push_back(0);
        else
            changed.pop_back();
        frame = MakeFrame(CommandID, changed);
    } else {
        frame = MakeFrame(CommandID, Payload);
    }
    if (frame.empty())
        return;
    if (Roll(FFaults.CorruptShare))
        frame.back() ^= 0x5A;

    const int64_t due = NowMs() + FFaults.DelayMs;
    if (FFaults.GarbageBytes > 0) {
        TByteArray noise(size_t(FFaults.GarbageBytes));
        std::uniform_int_distribution<int> byte(0, 0xA9); // anything but the preamble byte
        for (auto& b : noise)
            b = uint8_t(byte(FRandom));
        Enqueue({std::move(noise), due, 0, false});
    }
    if (Roll(FFaults.PauseShare)) {
        // Cut after the identifier so that the receiver is inside the frame when it stalls.
        const size_t cut = frame.size() / 2 < 4 ? 4 : frame.size() / 2;
        TByteArray head(frame.begin(), frame.begin() + long(cut));
        TByteArray tail(frame.begin() + long(cut), frame.end());
        Enqueue({std::move(head), due, 0, false});
        Enqueue({std::move(tail), due, FFaults.PauseMs, true});
    } else {
        Enqueue({std::move(frame), due, 0, true});
    }
}

void TFaultWriter::Enqueue(TChunk Chunk) {
    FQueue.push_back(std::move(Chunk));
    if (!FTimer.isActive())
        Pump();
}

void TFaultWriter::Pump() {
    while (!FQueue.empty() && !FClosed) {
        TChunk& c = FQueue.front();
        if (c.GapMs > 0) {
            c.NotBefore = std::max(c.NotBefore, FLastWrite + c.GapMs);
            c.GapMs = 0;
        }
        const int64_t now = NowMs();
        if (c.NotBefore > now) {
            FTimer.start(int(c.NotBefore - now));
            return;
        }
        const TChunk chunk = std::move(c);
        FQueue.pop_front();
        Write(chunk);
        FLastWrite = NowMs();
        if (chunk.EndsPacket)
            PacketWritten();
    }
}

void TFaultWriter::Write(const TChunk& Chunk) {
    if (FFaults.SplitWrites) {
        for (uint8_t b : Chunk.Bytes)
            FSink.WriteBytes(&b, 1, true);
    } else {
        FSink.WriteBytes(Chunk.Bytes.data(), Chunk.Bytes.size(), FFaults.PauseShare > 0);
    }
}

void TFaultWriter::PacketWritten() {
    ++FSent;
    if (FFaults.CloseAfter > 0 && FSent >= uint64_t(FFaults.CloseAfter)) {
        FClosed = true;
        FQueue.clear();
        FSink.CloseLink();
    }
}

} // namespace zelsim
