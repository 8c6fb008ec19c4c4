#pragma once
// Console-side test client for the simulator: frames packets with the protocol core, sends them
// over one link and collects what comes back with arrival times.
#include "protocol/PacketBufferClass.h"
#include "protocol/PacketReceiver.h"
#include "Simulator.h"
#include "protocol/convert.h"
#include "protocol/stat.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTcpSocket;
class QUdpSocket;
class QCanBusDevice;

namespace simtest {

// A QCoreApplication for the whole test binary.
void EnsureApp();

using Clock = std::chrono::steady_clock;

struct TRx {
    TPacket Packet;
    Clock::time_point At;
    uint8_t Id() const { return uint8_t(Packet.CommandID); }
    int Status() const { return Packet.Payload.size() >= 2 ? ReadWord(Packet.Payload.data()) : -1; }
    TByteArray Data() const {
        return Packet.Payload.size() > 2 ? TByteArray(Packet.Payload.begin() + 2, Packet.Payload.end())
                                         : TByteArray{};
    }
    float Float(size_t Offset = 0) const { return ReadSingle(Packet.Payload.data() + 2 + Offset); }
};

// Raw byte transport of a client.
class TTransport {
public:
    virtual ~TTransport() = default;
    virtual void Write(const TByteArray& Bytes) = 0;
    // Waits up to Ms for bytes; returns the chunks that arrived (one per read or datagram).
    virtual std::vector<TByteArray> Read(int Ms) = 0;
    virtual bool Connected() const { return true; }
};

std::unique_ptr<TTransport> TcpTransport(uint16_t Port);
std::unique_ptr<TTransport> UdpTransport(uint16_t Port);
std::unique_ptr<TTransport> PtyTransport(const std::string& Path);
// Sends with Id and receives Id + 1 on a virtualcan interface; null when the bus is unavailable.
std::unique_ptr<TTransport> CanTransport(const std::string& Interface, uint32_t Id);

class TClient {
public:
    explicit TClient(std::unique_ptr<TTransport> Transport);

    void Send(uint8_t Id, const TByteArray& Payload = {});
    void SendRaw(const TByteArray& Bytes);
    // The next packet of any identifier, or none within Ms.
    std::optional<TRx> Next(int Ms = 1000);
    // The next packet with Id; packets with other identifiers stay queued for Next.
    std::optional<TRx> WaitFor(uint8_t Id, int Ms = 1000);
    // Sends and waits for the answer with the same identifier.
    std::optional<TRx> Exchange(uint8_t Id, const TByteArray& Payload = {}, int Ms = 1000);
    // Everything that arrives within Ms.
    std::vector<TRx> Collect(int Ms);

    // Raw chunks as they arrived (for the fault tests), kept when RecordChunks is set.
    bool RecordChunks = false;
    std::vector<std::pair<Clock::time_point, TByteArray>> Chunks;
    uint64_t ChecksumErrors() const { return FReceiver.ChecksumErrors(); }
    TTransport& Transport() { return *FTransport; }

private:
    void Pump(int Ms);

    std::unique_ptr<TTransport> FTransport;
    TPacketBuffer FStore{100000};
    TPacketReceiver FReceiver;
    std::deque<TRx> FQueue;
    Clock::time_point FChunkTime;
};

TByteArray Floats(std::initializer_list<float> Values, std::optional<uint8_t> Prefix = std::nullopt);
double Ms(Clock::time_point From, Clock::time_point To);

} // namespace simtest
