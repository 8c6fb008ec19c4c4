// The CAN library layer over Qt's virtual CAN bus, with a node of the test's own as the far end.
#include "transports/CanBusSeam.h"
#include "transports/CanLib.h"
#include "CanTestPeer.h"
#include "TempSettingsFolder.h"

#include <gtest/gtest.h>

#include <linux/can/netlink.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {
constexpr int32_t TxQ = 256, RxQ = 8192, TxTimeout = 1000, RxTimeout = 100;

int32_t OpenNet(int32_t Net, int32_t RxTimeoutMs = RxTimeout) {
    int32_t handle = -1;
    const TCanResult r = canOpen(Net, 0, TxQ, RxQ, TxTimeout, RxTimeoutMs, &handle);
    EXPECT_EQ(r, CAN_SUCCESS) << "net " << Net;
    return r == CAN_SUCCESS ? handle : -1;
}

// Reads in a thread of its own, as the transport does, while the test serves the UI thread's
// events (the virtual bus server runs there).
class TReader {
public:
    TReader(int32_t Handle, int Frames, int MaxTimeouts) {
        FThread = std::thread([this, Handle, Frames, MaxTimeouts] {
            int timeouts = 0;
            while (int(FMsgs.size()) < Frames && timeouts < MaxTimeouts) {
                CMSG m;
                int32_t count = 1;
                const TCanResult r = canRead(Handle, &m, &count, nullptr);
                FResults.push_back(r);
                if (r == CAN_SUCCESS && count == 1)
                    FMsgs.push_back(m);
                else if (r == CAN_RX_TIMEOUT)
                    ++timeouts;
                else
                    break;
            }
            FDone = true;
        });
    }
    ~TReader() { Join(); }
    bool Wait(int TimeoutMs = 10000) {
        const bool done = SpinUntil([this] { return FDone.load(); }, TimeoutMs);
        Join();
        return done;
    }
    void Join() {
        if (FThread.joinable())
            FThread.join();
    }
    const std::vector<CMSG>& Msgs() const { return FMsgs; }
    const std::vector<TCanResult>& Results() const { return FResults; }

private:
    std::vector<CMSG> FMsgs;
    std::vector<TCanResult> FResults;
    std::atomic<bool> FDone{false};
    std::thread FThread;
};

// Frames on the virtual bus reach a node only after the bus server has taken its greeting, which
// comes on the same connection before anything the node sends: one frame seen by the peer proves it.
void JoinBus(int32_t Handle, TVirtualCanPeer& Peer) {
    CMSG hello;
    hello.id = CAN_MAX_STD_ID;
    int32_t count = 1;
    ASSERT_EQ(canSend(Handle, &hello, &count), CAN_SUCCESS);
    ASSERT_TRUE(Peer.WaitForFrames(1));
    Peer.Clear();
}

QByteArray Bytes(const CMSG& M) {
    return QByteArray(reinterpret_cast<const char*>(M.data), std::min<int>(M.len, 8));
}

class CanLibTest : public SettingsFolderTest {
protected:
    void SetUp() override {
        // The bus server runs in the thread that touches it first; here that is the UI thread, so
        // that stopping the layer's worker (last test) cannot take the bus of later tests with it.
        Host = std::make_unique<TVirtualCanPeer>(1);
        CanSetBackendOverride(QStringLiteral("virtualcan"));
    }
    void TearDown() override {
        Host.reset();
        EXPECT_EQ(CanOpenHandleCount(), 0);
        if (CanOpenHandleCount() != 0)
            CanShutdown(); // a failed test must not leave its nets to the next one
        CanSetBackendOverride(QString());
    }
    std::unique_ptr<TVirtualCanPeer> Host;
};
} // namespace

TEST_F(CanLibTest, BackendComesFromCanCfgAndNetsAreTheBackendsInterfaces) {
    CanSetBackendOverride(QString());
    EXPECT_EQ(CanActiveBackend(), QStringLiteral("socketcan"));
    Settings.WriteFile(QStringLiteral("can.cfg"), "[Common]\nBackend=virtualcan\n");
    EXPECT_EQ(CanActiveBackend(), QStringLiteral("virtualcan"));
    CanSetBackendOverride(QStringLiteral("nosuchbackend"));
    EXPECT_EQ(CanActiveBackend(), QStringLiteral("nosuchbackend"));
    int32_t handle = -1;
    EXPECT_EQ(canOpen(0, 0, TxQ, RxQ, TxTimeout, RxTimeout, &handle), CAN_NET_NOT_FOUND);
    CanSetBackendOverride(QString());

    // virtualcan has the interfaces can0 and can1.
    const int32_t h0 = OpenNet(0);
    const int32_t h1 = OpenNet(1);
    EXPECT_NE(h0, h1);
    EXPECT_EQ(CanOpenHandleCount(), 2);
    EXPECT_EQ(canOpen(2, 0, TxQ, RxQ, TxTimeout, RxTimeout, &handle), CAN_NET_NOT_FOUND);
    EXPECT_EQ(canOpen(-1, 0, TxQ, RxQ, TxTimeout, RxTimeout, &handle), CAN_INVALID_PARAMETER);
    EXPECT_EQ(canOpen(0, 0, TxQ, 0, TxTimeout, RxTimeout, &handle), CAN_INVALID_PARAMETER);
    EXPECT_EQ(canOpen(0, 0, TxQ, RxQ, TxTimeout, RxTimeout, nullptr), CAN_INVALID_PARAMETER);

    EXPECT_EQ(canClose(h0), CAN_SUCCESS);
    EXPECT_EQ(canClose(h0), CAN_INVALID_HANDLE);
    CMSG m;
    int32_t count = 1;
    EXPECT_EQ(canRead(h0, &m, &count, nullptr), CAN_INVALID_HANDLE);
    EXPECT_EQ(canSend(h0, &m, &count), CAN_INVALID_HANDLE);
    EXPECT_EQ(canIdAdd(h0, 1), CAN_INVALID_HANDLE);
    EXPECT_EQ(canIoctl(h0, CAN_IOCTL_ABORT_RX, nullptr), CAN_INVALID_HANDLE);
    EXPECT_EQ(canSetBaudrate(h0, 4), CAN_INVALID_HANDLE);
    EXPECT_EQ(canClose(h1), CAN_SUCCESS);
}

TEST_F(CanLibTest, ReadTimesOutWithoutTrafficAndAbortReleasesItForGood) {
    const int32_t h = OpenNet(0);
    CMSG m;
    int32_t count = 1;
    EXPECT_EQ(canRead(h, &m, &count, nullptr), CAN_RX_TIMEOUT);
    EXPECT_EQ(count, 0);

    // A long receive time-out: only the abort can release the reader before it passes.
    const int32_t slow = OpenNet(1, 20000);
    std::atomic<TCanResult> result{CAN_SUCCESS};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        CMSG r;
        int32_t n = 1;
        result = canRead(slow, &r, &n, nullptr);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(canIoctl(slow, CAN_IOCTL_ABORT_TX, nullptr), CAN_SUCCESS);
    EXPECT_FALSE(done.load());
    EXPECT_EQ(canIoctl(slow, CAN_IOCTL_ABORT_RX, nullptr), CAN_SUCCESS);
    reader.join();
    EXPECT_EQ(result.load(), CAN_ABORTED);
    count = 1;
    EXPECT_EQ(canRead(slow, &m, &count, nullptr), CAN_ABORTED);
    EXPECT_EQ(canIoctl(slow, 77, nullptr), CAN_NOT_SUPPORTED);
    EXPECT_EQ(canClose(slow), CAN_SUCCESS);
    EXPECT_EQ(canClose(h), CAN_SUCCESS);
}

TEST_F(CanLibTest, DeliversOnlyStandardDataFramesOfAddedIdentifiersInOrder) {
    TVirtualCanPeer peer(0);
    ASSERT_TRUE(peer.Connected());
    const int32_t h = OpenNet(0);
    JoinBus(h, peer);
    EXPECT_EQ(canIdAdd(h, 101), CAN_SUCCESS);
    EXPECT_EQ(canIdAdd(h, 0x800), CAN_INVALID_PARAMETER);
    EXPECT_EQ(canIdAdd(h, -1), CAN_INVALID_PARAMETER);

    TReader reader(h, 2, 50);
    QCanBusFrame extended(101, "x");
    extended.setExtendedFrameFormat(true);
    QCanBusFrame remote(QCanBusFrame::RemoteRequestFrame);
    remote.setFrameId(101);
    ASSERT_TRUE(peer.Send(100, "a"));
    ASSERT_TRUE(peer.Send(101, "b1"));
    ASSERT_TRUE(peer.Send(102, "c"));
    ASSERT_TRUE(peer.Send(extended));
    ASSERT_TRUE(peer.Send(remote));
    ASSERT_TRUE(peer.Send(101, QByteArray("\x00\x01\x02\x03\x04\x05\x06\x07", 8)));
    ASSERT_TRUE(reader.Wait());
    ASSERT_EQ(reader.Msgs().size(), 2u);
    EXPECT_EQ(reader.Msgs()[0].id, 101);
    EXPECT_EQ(Bytes(reader.Msgs()[0]), QByteArray("b1"));
    EXPECT_EQ(reader.Msgs()[1].len, 8);
    EXPECT_EQ(Bytes(reader.Msgs()[1]), QByteArray("\x00\x01\x02\x03\x04\x05\x06\x07", 8));
    // Nothing else was queued: the filtered frames were sent before the last one.
    CMSG m;
    int32_t count = 1;
    EXPECT_EQ(canRead(h, &m, &count, nullptr), CAN_RX_TIMEOUT);

    // The other direction: frames go out in order with their identifier; bad frames not at all.
    CMSG out[2];
    out[0].id = 100;
    out[0].len = 8;
    std::memcpy(out[0].data, "ABCDEFGH", 8);
    out[1].id = 100;
    out[1].len = 2;
    std::memcpy(out[1].data, "IJ", 2);
    count = 2;
    EXPECT_EQ(canSend(h, out, &count), CAN_SUCCESS);
    EXPECT_EQ(count, 2);
    CMSG bad[2] = {out[0], out[1]};
    bad[1].len = 9;
    count = 2;
    EXPECT_EQ(canSend(h, bad, &count), CAN_INVALID_PARAMETER);
    EXPECT_EQ(count, 0);
    bad[1].len = 1;
    bad[1].id = 0x800;
    count = 2;
    EXPECT_EQ(canSend(h, bad, &count), CAN_INVALID_PARAMETER);
    ASSERT_TRUE(peer.WaitForFrames(2));
    peer.WaitForFrames(3, 200); // anything wrongly sent would show up here
    ASSERT_EQ(peer.Frames().size(), 2);
    EXPECT_EQ(peer.Frames()[0].frameId(), 100u);
    EXPECT_EQ(peer.Frames()[0].payload(), QByteArray("ABCDEFGH"));
    EXPECT_EQ(peer.Frames()[1].payload(), QByteArray("IJ"));
    EXPECT_EQ(canClose(h), CAN_SUCCESS);
}

TEST_F(CanLibTest, FdFrameKeepsItsLengthButOnlyItsFirstEightBytes) {
    TVirtualCanPeer peer(1, true);
    ASSERT_TRUE(peer.Connected());
    const int32_t h = OpenNet(1);
    JoinBus(h, peer);
    ASSERT_EQ(canIdAdd(h, 101), CAN_SUCCESS);
    TReader reader(h, 1, 50);
    QCanBusFrame fd(101, QByteArray("0123456789AB"));
    fd.setFlexibleDataRateFormat(true);
    ASSERT_TRUE(peer.Send(fd));
    ASSERT_TRUE(reader.Wait());
    ASSERT_EQ(reader.Msgs().size(), 1u);
    EXPECT_EQ(reader.Msgs()[0].len, 12);
    EXPECT_EQ(Bytes(reader.Msgs()[0]), QByteArray("01234567"));
    EXPECT_EQ(canClose(h), CAN_SUCCESS);
}

TEST_F(CanLibTest, LostLinkFailsReadAndSendUntilClosed) {
    const int32_t h = OpenNet(0);
    ASSERT_EQ(canIdAdd(h, 101), CAN_SUCCESS);
    EXPECT_EQ(CanDropLink(h), CAN_SUCCESS);
    CMSG m;
    int32_t count = 1;
    EXPECT_EQ(canRead(h, &m, &count, nullptr), CAN_LINK_LOST);
    count = 1;
    EXPECT_NE(canSend(h, &m, &count), CAN_SUCCESS);
    EXPECT_EQ(canSetBaudrate(h, 4), CAN_LINK_LOST);
    EXPECT_EQ(canClose(h), CAN_SUCCESS);
    EXPECT_EQ(CanDropLink(h), CAN_INVALID_HANDLE);
}

TEST_F(CanLibTest, BitRateCodesOfTheDialogAreAcceptedAndOthersRefused) {
    const std::pair<uint32_t, int> table[] = {{13, 10000}, {11, 20000}, {9, 50000},  {7, 100000},
                                              {6, 125000}, {4, 250000}, {2, 500000}, {0, 1000000}};
    const int32_t h = OpenNet(0);
    for (const auto& [code, rate] : table) {
        EXPECT_EQ(CanBitrateForCode(code), rate);
        EXPECT_EQ(canSetBaudrate(h, code), CAN_SUCCESS) << code;
    }
    for (uint32_t code : {1u, 3u, 5u, 8u, 14u, 0xFFFFFFFFu}) {
        EXPECT_EQ(CanBitrateForCode(code), 0);
        EXPECT_EQ(canSetBaudrate(h, code), CAN_INVALID_PARAMETER) << code;
    }
    EXPECT_EQ(canClose(h), CAN_SUCCESS);
}

TEST_F(CanLibTest, CloseReleasesABlockedReaderAndCyclesLeaveNothingOpen) {
    for (int cycle = 0; cycle < 20; ++cycle) {
        const int32_t h = OpenNet(cycle % 2, 20000);
        std::atomic<TCanResult> result{CAN_SUCCESS};
        std::thread reader([&] {
            CMSG m;
            int32_t n = 1;
            result = canRead(h, &m, &n, nullptr);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(cycle % 3));
        EXPECT_EQ(canClose(h), CAN_SUCCESS);
        reader.join();
        EXPECT_EQ(result.load(), CAN_INVALID_HANDLE);
    }
    EXPECT_EQ(CanOpenHandleCount(), 0);

    // The worker stops with every handle and starts again on the next open.
    const int32_t h = OpenNet(0);
    CanShutdown();
    EXPECT_EQ(CanOpenHandleCount(), 0);
    CMSG m;
    int32_t count = 1;
    EXPECT_EQ(canRead(h, &m, &count, nullptr), CAN_INVALID_HANDLE);
    EXPECT_EQ(canClose(OpenNet(1)), CAN_SUCCESS);
}

namespace {
// An RTM_NEWLINK answer as the kernel builds it: link info with a kind and, for "can", the bit
// timing in its data.
std::vector<uint8_t> LinkReply(const char* Kind, uint32_t Bitrate) {
    std::vector<uint8_t> attr;
    const auto put = [](std::vector<uint8_t>& To, uint16_t Type, const void* Data, size_t Len) {
        rtattr a{uint16_t(RTA_LENGTH(Len)), Type};
        const size_t at = To.size();
        To.resize(at + RTA_SPACE(Len));
        std::memcpy(To.data() + at, &a, sizeof a);
        std::memcpy(To.data() + at + RTA_LENGTH(0), Data, Len);
    };
    std::vector<uint8_t> info;
    put(info, IFLA_INFO_KIND, Kind, std::strlen(Kind) + 1);
    if (Bitrate > 0) {
        can_bittiming bt{};
        bt.bitrate = Bitrate;
        std::vector<uint8_t> data;
        put(data, IFLA_CAN_BITTIMING, &bt, sizeof bt);
        put(info, IFLA_INFO_DATA, data.data(), data.size());
    }
    const char name[] = "can0";
    put(attr, IFLA_IFNAME, name, sizeof name);
    put(attr, IFLA_LINKINFO, info.data(), info.size());
    std::vector<uint8_t> msg(NLMSG_LENGTH(sizeof(ifinfomsg)) + attr.size());
    nlmsghdr h{uint32_t(msg.size()), RTM_NEWLINK, 0, 1, 0};
    std::memcpy(msg.data(), &h, sizeof h);
    std::memcpy(msg.data() + NLMSG_LENGTH(sizeof(ifinfomsg)), attr.data(), attr.size());
    return msg;
}
} // namespace

TEST(SocketCanBitrate, ReadsTheBitTimingOfACanControllerAndKnowsVirtualOnes) {
    const auto can = LinkReply("can", 500000);
    EXPECT_EQ(SocketCanBitrateFromReply(can.data(), can.size()), 500000);
    const auto unset = LinkReply("can", 0);
    EXPECT_EQ(SocketCanBitrateFromReply(unset.data(), unset.size()), 0);
    const auto vcan = LinkReply("vcan", 0);
    EXPECT_EQ(SocketCanBitrateFromReply(vcan.data(), vcan.size()), TCanBusSeam::NoBitrate);
    const auto other = LinkReply("veth", 0);
    EXPECT_EQ(SocketCanBitrateFromReply(other.data(), other.size()), 0);
    EXPECT_EQ(SocketCanBitrateFromReply(can.data(), can.size() / 2), 0); // cut short: unknown, no overread
    // Interfaces that are no CAN controller, or none at all, have no rate to give.
    EXPECT_EQ(SocketCanBitrate(QStringLiteral("lo")), 0);
    EXPECT_EQ(SocketCanBitrate(QStringLiteral("nosuchif9")), 0);
}
