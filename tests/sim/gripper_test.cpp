// The simulated gripper over a real TCP loopback connection.
#include "SimClient.h"

#include "SimCommands.h"
#include "Simulator.h"
#include "protocol/convert.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <thread>

using namespace simtest;
using namespace zelsim;

namespace {

TSimConfig TcpConfig() {
    TSimConfig c;
    c.TcpPort = 0;
    return c;
}

class GripperTcp : public ::testing::Test {
protected:
    void Start(const TSimConfig& Config = TcpConfig()) {
        EnsureApp();
        Sim = std::make_unique<TSimThread>(Config);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
        Client = std::make_unique<TClient>(TcpTransport(Sim->TcpPort()));
    }
    TRx Must(uint8_t Id, const TByteArray& Payload = {}) {
        auto rx = Client->Exchange(Id, Payload);
        EXPECT_TRUE(rx.has_value()) << "no answer to " << int(Id);
        return rx ? *rx : TRx{};
    }
    int StatusOf(uint8_t Id, const TByteArray& Payload = {}) { return Must(Id, Payload).Status(); }
    uint32_t SystemState() { return ReadLongWord(Must(gripper::GET_SYSTEM_STATE).Data().data()); }

    std::unique_ptr<TSimThread> Sim;
    std::unique_ptr<TClient> Client;
};

TByteArray Bytes(const std::string& s) {
    return TByteArray(s.begin(), s.end());
}

} // namespace

TEST_F(GripperTcp, GenericCommandsAnswerWithStatusFirst) {
    TSimConfig c = TcpConfig();
    c.SysInfo = {0x81, 7, 0x2104, 0x01020304};
    c.Temperature = -25;
    Start(c);

    const TRx loop = Must(LOOP, Bytes("hello"));
    EXPECT_EQ(loop.Packet.Payload, (TByteArray{0, 0, 'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(Must(LOOP).Packet.Payload, (TByteArray{0, 0}));
    // The longest echo that still fits in a packet, and one byte more.
    EXPECT_EQ(Must(LOOP, TByteArray(65533, 0xAA)).Data(), TByteArray(65533, 0xAA));
    EXPECT_EQ(Must(LOOP, TByteArray(65534, 1)).Packet.Payload, (TByteArray{E_RANGE_ERROR, 0}));

    EXPECT_EQ(Must(GET_SYSINFO).Packet.Payload, (TByteArray{0, 0, 0x81, 7, 0x04, 0x21, 4, 3, 2, 1}));
    EXPECT_EQ(Must(CMD_ID_GET_TEMPERATURE).Data(), (TByteArray{0xE7, 0xFF}));

    const TRx limits = Must(gripper::GET_SYSTEM_LIMITS);
    ASSERT_EQ(limits.Data().size(), 32u);
    const float expected[8] = {110, 5, 420, 100, 5000, 5, 80, 120};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(limits.Float(4 * i), expected[i]) << i;

    EXPECT_EQ(StatusOf(SET_DEVICE_TAG, Bytes("bench 3")), E_SUCCESS);
    EXPECT_EQ(Must(GET_DEVICE_TAG).Data(), Bytes("bench 3"));
    EXPECT_EQ(StatusOf(SET_DEVICE_TAG, TByteArray(65, 'x')), E_RANGE_ERROR);
    EXPECT_EQ(Must(GET_DEVICE_TAG).Data(), Bytes("bench 3"));

    EXPECT_EQ(Must(0x99).Packet.Payload, (TByteArray{E_CMD_UNKNOWN, 0}));
    EXPECT_EQ(StatusOf(RUN_SCRIPT), E_FEATURE_NOT_SUPPORTED);
}

TEST_F(GripperTcp, MalformedPayloadsAreRefusedWithoutSideEffects) {
    TSimConfig c = TcpConfig();
    c.Gripper.StartReferenced = true;
    Start(c);
    EXPECT_EQ(StatusOf(gripper::MOVE, TByteArray(8, 0)), E_NOT_ENOUGH_PARAMS);
    EXPECT_EQ(StatusOf(gripper::MOVE, TByteArray(10, 0)), E_CMD_FORMAT_ERROR);
    EXPECT_EQ(StatusOf(gripper::MOVE, Floats({50, 100}, 0x04)), E_FEATURE_NOT_SUPPORTED);
    EXPECT_EQ(StatusOf(gripper::HOMING), E_NOT_ENOUGH_PARAMS);
    EXPECT_EQ(StatusOf(gripper::STOP, {1}), E_NO_PARAM_EXPECTED);
    EXPECT_EQ(StatusOf(gripper::GET_POS, {1, 2}), E_NOT_ENOUGH_PARAMS);
    EXPECT_EQ(StatusOf(gripper::GET_POS, {1, 2, 3, 4}), E_CMD_FORMAT_ERROR);
    EXPECT_EQ(StatusOf(gripper::GET_POS, {1, 0, 0}), E_RANGE_ERROR); // period 0 would flood the link
    EXPECT_EQ(StatusOf(gripper::SET_ACCELERATION, {1, 2}), E_NOT_ENOUGH_PARAMS);
    EXPECT_EQ(StatusOf(gripper::GET_GRASPING_STATS), E_NOT_ENOUGH_PARAMS);
    EXPECT_EQ(StatusOf(gripper::MOVE, Floats({111, 100}, 0)), E_RANGE_ERROR);
    EXPECT_EQ(StatusOf(gripper::GRASP, Floats({20, 1000})), E_RANGE_ERROR);
    EXPECT_EQ(StatusOf(gripper::SET_FORCE_LIMIT, Floats({200})), E_RANGE_ERROR);
    EXPECT_EQ(Must(gripper::GET_FORCE_LIMIT).Float(), 80.0f);
    // Nothing moved and nothing was subscribed.
    EXPECT_EQ(SystemState() & gripper::SF_MOVING, 0u);
    EXPECT_TRUE(Client->Collect(150).empty());
}

TEST_F(GripperTcp, MotionAnswersPendingThenFinalAfterTheProfileTime) {
    TSimConfig c = TcpConfig();
    c.Gripper.StartPosition = 100;
    Start(c);
    EXPECT_EQ(StatusOf(gripper::MOVE, Floats({50, 400}, 0)), E_NOT_INITIALIZED);
    EXPECT_EQ(SystemState() & gripper::SF_REFERENCED, 0u);

    // Homing outwards: 10 mm at 100 mm/s, 1000 mm/s²: 0.2 s.
    const auto sentHoming = Clock::now();
    const TRx pendingHoming = Must(gripper::HOMING, {1});
    EXPECT_EQ(pendingHoming.Status(), E_CMD_PENDING);
    const auto homed = Client->WaitFor(gripper::HOMING, 2000);
    ASSERT_TRUE(homed);
    EXPECT_EQ(homed->Status(), E_SUCCESS);
    EXPECT_GE(Ms(sentHoming, homed->At), 200 - 2);
    EXPECT_LE(Ms(sentHoming, homed->At), 200 + 150);
    EXPECT_EQ(Must(gripper::GET_POS).Float(), 110.0f);

    EXPECT_EQ(StatusOf(gripper::SET_ACCELERATION, Floats({5000})), E_SUCCESS);
    EXPECT_EQ(Must(gripper::GET_ACCELERATION).Float(), 5000.0f);
    // 80 mm at 400 mm/s with 5000 mm/s²: 0.08 s ramps and 0.12 s cruise, 0.28 s in all.
    const auto sent = Clock::now();
    const TRx pending = Must(gripper::MOVE, Floats({30, 400}, 0));
    EXPECT_EQ(pending.Status(), E_CMD_PENDING);
    EXPECT_LT(Ms(sent, pending.At), 50);
    EXPECT_TRUE(SystemState() & gripper::SF_MOVING);
    EXPECT_EQ(StatusOf(gripper::MOVE, Floats({60, 400}, 0)), E_ALREADY_RUNNING);
    const auto final = Client->WaitFor(gripper::MOVE, 2000);
    ASSERT_TRUE(final);
    EXPECT_EQ(final->Status(), E_SUCCESS);
    EXPECT_GE(Ms(sent, final->At), 280 - 2);
    EXPECT_LE(Ms(sent, final->At), 280 + 150);
    EXPECT_EQ(Must(gripper::GET_POS).Float(), 30.0f);
    const uint32_t s = SystemState();
    EXPECT_TRUE(s & gripper::SF_TARGET_POS_REACHED);
    EXPECT_FALSE(s & gripper::SF_MOVING);
}

TEST_F(GripperTcp, GraspHoldsThePartAndReportsItsState) {
    TSimConfig c = TcpConfig();
    c.Gripper.StartReferenced = true;
    c.Gripper.StartPosition = 30;
    c.Gripper.PartWidth = 25;
    c.Gripper.ForceRate = 2000;
    Start(c);
    ASSERT_EQ(StatusOf(gripper::SET_FORCE_LIMIT, Floats({40})), E_SUCCESS);
    ASSERT_EQ(StatusOf(gripper::GRASP, Floats({24, 400})), E_CMD_PENDING);
    const auto done = Client->WaitFor(gripper::GRASP, 2000);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->Status(), E_SUCCESS);
    EXPECT_EQ(Must(gripper::GET_GRASPING_STATE).Data(), TByteArray{uint8_t(gripper::EGraspState::Holding)});
    EXPECT_EQ(Must(gripper::GET_FORCE).Float(), 40.0f);
    EXPECT_EQ(Must(gripper::GET_POS).Float(), 25.0f);

    Sim->Run([](TSimulator& s) { EXPECT_TRUE(s.LosePart()); });
    EXPECT_EQ(Must(gripper::GET_GRASPING_STATE).Data(), TByteArray{uint8_t(gripper::EGraspState::PartLost)});
    EXPECT_EQ(Must(gripper::GET_FORCE).Float(), 0.0f);

    // Statistics are read, then reset by the flag.
    EXPECT_EQ(Must(gripper::GET_GRASPING_STATS, {1}).Data(), (TByteArray{1, 0, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(Must(gripper::GET_GRASPING_STATS, {0}).Data(), TByteArray(8, 0));
}

TEST_F(GripperTcp, AutomaticUpdatesFollowTheirPeriodAndOnChangeOnly) {
    TSimConfig c = TcpConfig();
    c.Gripper.StartReferenced = true;
    c.Gripper.StartPosition = 100;
    Start(c);

    // Every 25 ms regardless of change; the first answer carries the value itself.
    const TRx first = Must(gripper::GET_POS, {0x01, 25, 0});
    EXPECT_EQ(first.Status(), E_SUCCESS);
    EXPECT_EQ(first.Float(), 100.0f);
    const auto updates = Client->Collect(400);
    ASSERT_GE(updates.size(), 10u);
    EXPECT_LE(updates.size(), 17u);
    for (const TRx& u : updates) {
        EXPECT_EQ(u.Id(), gripper::GET_POS);
        EXPECT_EQ(u.Float(), 100.0f);
    }
    const double span = Ms(updates.front().At, updates.back().At);
    EXPECT_NEAR(span / double(updates.size() - 1), 25, 8);

    // Switching off answers with the value once more, then silence.
    EXPECT_EQ(Must(gripper::GET_POS, {0, 0, 0}).Float(), 100.0f);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    (void)Client->Collect(10);
    EXPECT_TRUE(Client->Collect(100).empty());

    // Only on change: quiet at rest, a stream while moving, quiet again afterwards.
    EXPECT_EQ(Must(gripper::GET_POS, {0x03, 10, 0}).Float(), 100.0f);
    EXPECT_EQ(Must(gripper::GET_SYSTEM_STATE, {0x03, 10, 0}).Status(), E_SUCCESS);
    EXPECT_TRUE(Client->Collect(100).empty());
    ASSERT_EQ(StatusOf(gripper::MOVE, Floats({60, 200}, 0)), E_CMD_PENDING); // 0.4 s
    std::vector<float> positions;
    std::vector<uint32_t> states;
    bool finished = false;
    for (const TRx& u : Client->Collect(700)) {
        if (u.Id() == gripper::GET_POS)
            positions.push_back(u.Float());
        else if (u.Id() == gripper::GET_SYSTEM_STATE)
            states.push_back(ReadLongWord(u.Data().data()));
        else if (u.Id() == gripper::MOVE)
            finished = u.Status() == E_SUCCESS;
    }
    EXPECT_TRUE(finished);
    ASSERT_GE(positions.size(), 10u);
    EXPECT_LE(positions.size(), 45u);
    for (size_t i = 1; i < positions.size(); ++i)
        EXPECT_LT(positions[i], positions[i - 1]); // each one a change
    EXPECT_EQ(positions.back(), 60.0f);
    // Moving came on and went off again, each reported once.
    ASSERT_EQ(states.size(), 2u);
    EXPECT_TRUE(states[0] & gripper::SF_MOVING);
    EXPECT_FALSE(states[1] & gripper::SF_MOVING);
    EXPECT_TRUE(Client->Collect(100).empty());
}

TEST_F(GripperTcp, FastStopRefusesMotionUntilAcknowledgedWithAck) {
    TSimConfig c = TcpConfig();
    c.Gripper.StartReferenced = true;
    c.Gripper.StartPosition = 100;
    Start(c);
    ASSERT_EQ(StatusOf(gripper::MOVE, Floats({40, 50}, 0)), E_CMD_PENDING);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(StatusOf(gripper::FAST_STOP), E_SUCCESS);
    const auto aborted = Client->WaitFor(gripper::MOVE, 500);
    ASSERT_TRUE(aborted);
    EXPECT_EQ(aborted->Status(), E_CMD_ABORTED);
    const float stoppedAt = Must(gripper::GET_POS).Float();
    EXPECT_GT(stoppedAt, 40.0f);
    EXPECT_LT(stoppedAt, 100.0f);

    EXPECT_TRUE(SystemState() & gripper::SF_FAST_STOP);
    EXPECT_EQ(StatusOf(gripper::MOVE, Floats({60, 50}, 0)), E_ACCESS_DENIED);
    EXPECT_EQ(StatusOf(gripper::GRASP, Floats({20, 50})), E_ACCESS_DENIED);
    EXPECT_EQ(StatusOf(gripper::HOMING, {0}), E_ACCESS_DENIED);
    EXPECT_EQ(StatusOf(gripper::FAST_STOP_ACK, Bytes("ACK")), E_INVALID_PARAMETER);
    EXPECT_EQ(StatusOf(gripper::FAST_STOP_ACK, Bytes("ack ")), E_CMD_FORMAT_ERROR);
    EXPECT_EQ(StatusOf(gripper::FAST_STOP_ACK), E_NOT_ENOUGH_PARAMS);
    EXPECT_TRUE(SystemState() & gripper::SF_FAST_STOP);
    EXPECT_EQ(Must(gripper::GET_POS).Float(), stoppedAt);

    EXPECT_EQ(StatusOf(gripper::FAST_STOP_ACK, Bytes("ack")), E_SUCCESS);
    EXPECT_FALSE(SystemState() & gripper::SF_FAST_STOP);
    EXPECT_EQ(StatusOf(gripper::MOVE, Floats({60, 400}, 0)), E_CMD_PENDING);

    // STOP ends it as well, with the axis-stopped flag instead of the fast stop.
    EXPECT_EQ(StatusOf(gripper::STOP), E_SUCCESS);
    const auto stopped = Client->WaitFor(gripper::MOVE, 500);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->Status(), E_CMD_ABORTED);
    const uint32_t s = SystemState();
    EXPECT_TRUE(s & gripper::SF_AXIS_STOPPED);
    EXPECT_FALSE(s & gripper::SF_FAST_STOP);
}

TEST_F(GripperTcp, AnnounceDisconnectAndANewConnectionEndTheUpdates) {
    Start();
    ASSERT_EQ(Must(gripper::GET_FORCE, {0x01, 10, 0}).Status(), E_SUCCESS);
    EXPECT_FALSE(Client->Collect(60).empty());
    EXPECT_EQ(StatusOf(ANNOUNCE_DISCONNECT), E_SUCCESS);
    (void)Client->Collect(20);
    EXPECT_TRUE(Client->Collect(80).empty());

    // A second console replaces the first; the first one's subscriptions do not follow.
    ASSERT_EQ(Must(gripper::GET_FORCE, {0x01, 10, 0}).Status(), E_SUCCESS);
    TClient second(TcpTransport(Sim->TcpPort()));
    ASSERT_TRUE(second.Exchange(LOOP, {9}).has_value());
    EXPECT_TRUE(second.Collect(80).empty());
    (void)Client->Collect(50);
    EXPECT_FALSE(Client->Transport().Connected());
}

TEST(GripperSameThread, RunsOnTheCallersEventLoop) {
    EnsureApp();
    TSimConfig c = TcpConfig();
    c.Gripper.StartReferenced = true;
    TSimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    std::vector<std::string> log;
    sim.SetLogSink([&](const std::string& line) { log.push_back(line); });

    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", sim.TcpPort());
    TPacketBuffer store(16);
    TPacketReceiver receiver;
    receiver.Store = &store;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        const QByteArray d = socket.readAll();
        receiver.Feed(reinterpret_cast<const uint8_t*>(d.constData()), size_t(d.size()));
    });
    QObject::connect(&socket, &QTcpSocket::connected, [&] {
        const TByteArray f = MakeFrame(gripper::MOVE, Floats({50, 400}, 0));
        socket.write(reinterpret_cast<const char*>(f.data()), qint64(f.size()));
    });
    const auto until = Clock::now() + std::chrono::seconds(3);
    while (store.Count() < 2 && Clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    TPacket p;
    ASSERT_TRUE(store.Get(p));
    EXPECT_EQ(ReadWord(p.Payload.data()), E_CMD_PENDING);
    ASSERT_TRUE(store.Get(p));
    EXPECT_EQ(ReadWord(p.Payload.data()), E_SUCCESS);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "tcp: MOVE(21h) [9] 00 00 00 48 42 00 00 C8 43 -> E_CMD_PENDING [0]");
    EXPECT_EQ(log[1], "tcp: final MOVE(21h) -> E_SUCCESS [0]");
}
