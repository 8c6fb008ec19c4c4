#pragma once
// The CAN interface library as the CAN transport uses it, built on QtSerialBus. Net n is the
// n-th interface, in the order of their names, of the backend named by key "backend" in section
// "common" of can.cfg ("socketcan" unless set; "virtualcan" needs no hardware). All calls may be
// made from any thread: the bus devices live in one worker thread of the layer, callers only meet
// them through queues.
#include "transports/CanBusSeam.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

using TCanResult = uint32_t;

constexpr TCanResult CAN_SUCCESS = 0;
constexpr TCanResult CAN_ABORTED = 995;                  // canRead released by canIoctl(CAN_IOCTL_ABORT_RX)
constexpr TCanResult CAN_RX_TIMEOUT = 0xE0000001;        // no frame within the receive time-out
constexpr TCanResult CAN_TX_TIMEOUT = 0xE0000002;        // the bus did not take a frame in time
constexpr TCanResult CAN_NET_NOT_FOUND = 0xE0000010;     // no such net, backend or worker
constexpr TCanResult CAN_INVALID_HANDLE = 0xE0000011;    // handle not open (or closed meanwhile)
constexpr TCanResult CAN_INVALID_PARAMETER = 0xE0000012; // argument out of range
constexpr TCanResult CAN_LINK_LOST = 0xE0000013;         // the interface went away after opening
constexpr TCanResult CAN_IO_ERROR = 0xE0000014;          // the backend refused a frame or the open
constexpr TCanResult CAN_NOT_SUPPORTED = 0xE0000015;     // unknown ioctl command
constexpr TCanResult CAN_TX_QUEUE_FULL = 0xE0000016;     // the interface's transmit queue is full
constexpr TCanResult CAN_BITRATE_MISMATCH = 0xE0000017;  // the interface runs at another bit rate
constexpr TCanResult CAN_BUS_OFF = 0xE0000018;           // the controller went bus-off
constexpr TCanResult CAN_LINK_DOWN = 0xE0000019;         // the interface is (or was set) down

constexpr uint32_t CAN_IOCTL_ABORT_RX = 9;  // releases a pending canRead, which returns CAN_ABORTED
constexpr uint32_t CAN_IOCTL_ABORT_TX = 10; // drops transmissions not yet handed to the bus

constexpr int32_t CAN_MAX_STD_ID = 0x7FF;

// One frame. On receive, len is the number of data bytes the frame carried (more than 8 for a
// CAN FD frame, of which data holds the first 8); on send it must be 0 to 8.
struct CMSG {
    int32_t id = 0;
    uint8_t len = 0;
    uint8_t data[8] = {};
};

// A down interface opens with CAN_LINK_DOWN.
TCanResult canOpen(int32_t Net, uint32_t Flags, int32_t TxQueueSize, int32_t RxQueueSize, int32_t TxTimeoutMs,
                   int32_t RxTimeoutMs, int32_t* Handle);
TCanResult canClose(int32_t Handle);
// Applies the rate through the backend's configuration unless the interface runs at it already
// or has none (virtual); CAN_BITRATE_MISMATCH when it runs at another or an unknown rate.
TCanResult canSetBaudrate(int32_t Handle, uint32_t BitrateCode);
TCanResult canIdAdd(int32_t Handle, int32_t Id);
// Blocks until a frame arrives, the receive time-out passes or canIoctl(CAN_IOCTL_ABORT_RX) is
// called. Count is the capacity of Msgs on entry and the number of frames stored on return.
TCanResult canRead(int32_t Handle, CMSG* Msgs, int32_t* Count, void* Overlapped);
// Count is the number of frames on entry and the number handed to the bus on return. A full
// transmit queue is waited out, frame order kept, for up to the transmit time-out of the handle
// (then CAN_TX_TIMEOUT).
TCanResult canSend(int32_t Handle, const CMSG* Msgs, int32_t* Count);
TCanResult canIoctl(int32_t Handle, uint32_t Command, void* Arg);

// Bit rate in bit/s for a bit-rate code of the configuration dialog; 0 for an unknown code.
int CanBitrateForCode(uint32_t Code);

// The interfaces of the active backend sorted by name: entry n is net n.
std::vector<TCanInterfaceInfo> CanListInterfaces();
// The rate the interface of Handle ran at after canSetBaudrate: bit/s, TCanBusSeam::NoBitrate
// for a virtual interface, 0 when unknown.
TCanResult CanNetBitrate(int32_t Handle, int32_t* Bitrate);
// Frames dropped because the receive queue of Handle was full, and in all since the start.
uint64_t CanFramesLost(int32_t Handle);
uint64_t CanFramesLostTotal();

// Backend used by canOpen instead of the one in can.cfg while non-empty (headless tools).
void CanSetBackendOverride(const QString& Backend);
QString CanBackendOverride();
// The backend canOpen uses right now.
QString CanActiveBackend();

// Number of handles open at the moment; lets tests prove that nothing is left open.
int CanOpenHandleCount();
// Behaves as if the interface behind Handle had gone away (the bus connection is dropped by the
// backend); pending and later canRead calls fail with CAN_LINK_LOST. For tests and demos.
TCanResult CanDropLink(int32_t Handle);
// Closes every handle and stops the worker thread; later calls start it again.
void CanShutdown();
// Where nets find their interfaces and bus devices from the next canOpen on; null: the machine's.
void CanSetBusSeam(std::shared_ptr<TCanBusSeam> Seam);
// Runs Task in the thread that owns the bus devices and waits for it (tests drive their scripted
// devices there); false when it did not run within TimeoutMs.
bool CanRunInWorker(std::function<void()> Task, int TimeoutMs = 5000);

// The calls as one table, so the transport can run against a scripted library in tests.
struct TCanApi {
    std::function<TCanResult(int32_t, uint32_t, int32_t, int32_t, int32_t, int32_t, int32_t*)> Open;
    std::function<TCanResult(int32_t)> Close;
    std::function<TCanResult(int32_t, uint32_t)> SetBaudrate;
    std::function<TCanResult(int32_t, int32_t)> IdAdd;
    std::function<TCanResult(int32_t, CMSG*, int32_t*, void*)> Read;
    std::function<TCanResult(int32_t, const CMSG*, int32_t*)> Send;
    std::function<TCanResult(int32_t, uint32_t, void*)> Ioctl;
    std::function<std::vector<TCanInterfaceInfo>()> Interfaces;
    std::function<TCanResult(int32_t, int32_t*)> NetBitrate;
};

// The table of the real layer.
const TCanApi& CanLibApi();
