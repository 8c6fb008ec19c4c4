#pragma once
// zel-sim as a library: a simulated ZEL gripper (or TAQ matrix sensor) on TCP, UDP, a
// pseudo-terminal and CAN, for tests, benchmarks and the zel-sim program.
//
// Starting one in-process:
//
//     zelsim::TSimConfig cfg;              // gripper, type 1, default limits
//     cfg.TcpPort = 0;                     // 0: ephemeral port, -1: link off (the default)
//     cfg.UdpPort = 0;
//     cfg.Pty = true;                      // optional: cfg.PtyLink = "/tmp/zel-tty"
//     cfg.Can = "virtualcan:can0:100";     // receives id 100, answers with id 101
//     cfg.Gripper.StartReferenced = true;  // skip homing
//
//   On its own thread (tests with blocking clients, a console in the same process):
//     zelsim::TSimThread sim(cfg);
//     std::string error;
//     if (!sim.Start(&error)) ...          // blocks until every link is open
//     sim.TcpPort(); sim.UdpPort(); sim.PtyPath();
//     sim.Run([](zelsim::TSimulator& s) { s.LosePart(); });  // runs on the simulator's thread
//     sim.Stop();                          // also done by the destructor
//
//   On the calling thread (needs that thread's event loop to run):
//     zelsim::TSimulator sim(cfg);
//     if (!sim.Start(&error)) ...
//
// A QCoreApplication must exist. Run-time controls: LosePart (a held part drops: grasping state
// "Part lost"), SetTemperature (tenths of a degree; the warning flag follows the configured
// threshold), SetFaults (TFaultConfig: drop, corrupt, wrong length, mid-frame pause, delay,
// 1-byte writes, garbage, bursts, close after N packets), Gripper() for the model itself.
// SetLogSink's sink runs on the simulator's thread.
//
// The virtual CAN bus lives in the thread that opens the first virtualcan device of the process
// and dies with it; TSimThread::Start therefore opens the bus on the calling thread, whose event
// loop must run for CAN traffic to flow (a console or test client on that thread does this).
#include "SimConfig.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QThread;

namespace zelsim {

class TDispatcher;
class TTcpLink;
class TUdpLink;
class TPtyLink;
class TCanLink;
class TGripperModel;
class TSensorModel;

class TSimulator : public QObject {
public:
    using TLogSink = std::function<void(const std::string&)>;

    explicit TSimulator(const TSimConfig& Config, QObject* Parent = nullptr);
    ~TSimulator() override;

    // Opens the configured links; on failure closes what was opened and describes the problem.
    bool Start(std::string* Error = nullptr);
    void Stop();
    bool Running() const { return FRunning; }

    // Bound ports (0 when the link is off), the slave's path ("" when off).
    uint16_t TcpPort() const;
    uint16_t UdpPort() const;
    std::string PtyPath() const;
    // One line per link, as the program prints them: "tcp 127.0.0.1:1000", "pty /dev/pts/3", ...
    std::string Endpoints() const;

    // Verbose log: one line per command with its answer, and per final result.
    void SetLogSink(TLogSink Sink);

    bool LosePart();
    void SetTemperature(int16_t Tenths);
    void SetFaults(const TFaultConfig& Faults);
    TGripperModel* Gripper();
    TSensorModel* Sensor();
    // Seconds on the simulator's clock (the one motion times are measured with).
    double Now() const;

    const TSimConfig& Config() const { return FConfig; }

private:
    TSimConfig FConfig;
    TDispatcher* FDispatcher;
    TTcpLink* FTcp = nullptr;
    TUdpLink* FUdp = nullptr;
    TPtyLink* FPty = nullptr;
    TCanLink* FCan = nullptr;
    bool FRunning = false;
};

// A simulator on a thread of its own.
class TSimThread {
public:
    explicit TSimThread(const TSimConfig& Config);
    ~TSimThread();
    TSimThread(const TSimThread&) = delete;
    TSimThread& operator=(const TSimThread&) = delete;

    bool Start(std::string* Error = nullptr);
    void Stop();

    uint16_t TcpPort() const { return FTcpPort; }
    uint16_t UdpPort() const { return FUdpPort; }
    const std::string& PtyPath() const { return FPtyPath; }

    // Runs Fn on the simulator's thread and waits for it.
    void Run(const std::function<void(TSimulator&)>& Fn);

private:
    TSimConfig FConfig;
    std::unique_ptr<QThread> FThread;
    TSimulator* FSim = nullptr;
    uint16_t FTcpPort = 0;
    uint16_t FUdpPort = 0;
    std::string FPtyPath;
};

} // namespace zelsim
