// The simulated matrix sensor over TCP.
#include "SimClient.h"

#include "SimCommands.h"
#include "Simulator.h"

#include <gtest/gtest.h>

using namespace simtest;
using namespace zelsim;

namespace {
struct TSensorRig {
    TSensorRig() {
        EnsureApp();
        TSimConfig c;
        c.Device = EDeviceKind::Sensor;
        c.TcpPort = 0;
        c.Sensor.MatrixWidth = 4;
        c.Sensor.MatrixHeight = 5;
        c.Sensor.CellWidth = 250;
        Sim = std::make_unique<TSimThread>(c);
        std::string error;
        EXPECT_TRUE(Sim->Start(&error)) << error;
        Client = std::make_unique<TClient>(TcpTransport(Sim->TcpPort()));
    }
    TRx Must(uint8_t Id, const TByteArray& Payload = {}) {
        auto rx = Client->Exchange(Id, Payload);
        EXPECT_TRUE(rx.has_value()) << "no answer to " << int(Id);
        return rx ? *rx : TRx{};
    }
    std::unique_ptr<TSimThread> Sim;
    std::unique_ptr<TClient> Client;
};
} // namespace

TEST(Sensor, DescribesItselfAndKeepsGainAndThreshold) {
    TSensorRig r;
    EXPECT_EQ(r.Must(GET_SYSINFO).Data()[0], 4);
    EXPECT_EQ(r.Must(sensor::MATRIX_INFO).Data(), (TByteArray{4, 0, 5, 0, 250, 0, 0x54, 1, 0xFF, 0x0F}));
    const TByteArray type = r.Must(sensor::TRANSDUCER_TYPE).Data();
    EXPECT_EQ(std::string(type.begin(), type.end()), "piezoresistive");
    EXPECT_EQ(r.Must(sensor::GAIN_SET, {255}).Status(), E_SUCCESS);
    EXPECT_EQ(r.Must(sensor::GAIN_GET).Data(), TByteArray{255});
    EXPECT_EQ(r.Must(sensor::THRESHOLD_SET, {0x34, 0x12}).Status(), E_SUCCESS);
    EXPECT_EQ(r.Must(sensor::THRESHOLD_GET).Data(), (TByteArray{0x34, 0x12}));
    EXPECT_EQ(r.Must(sensor::THRESHOLD_SET, {1}).Status(), E_NOT_ENOUGH_PARAMS);
    // The gripper's own commands are not the sensor's.
    EXPECT_EQ(r.Must(gripper::GET_SYSTEM_LIMITS).Status(), E_CMD_UNKNOWN);
    EXPECT_EQ(r.Must(gripper::GET_POS).Status(), E_CMD_UNKNOWN);
}

TEST(Sensor, SingleFramesInBothCodings) {
    TSensorRig r;
    const TRx plain = r.Must(sensor::READ_SINGLE_FRAME);
    EXPECT_EQ(plain.Status(), E_SUCCESS);
    ASSERT_EQ(plain.Data().size(), 5u + 2 * 20);
    EXPECT_EQ(plain.Data()[4], 0);
    const TRx rle = r.Must(sensor::READ_SINGLE_FRAME, {sensor::CodingRunLength});
    ASSERT_GE(rle.Data().size(), 7u);
    EXPECT_EQ(rle.Data()[4], sensor::CodingRunLength);
    EXPECT_EQ((rle.Data().size() - 5) % 2, 0u);
    EXPECT_EQ(r.Must(sensor::READ_SINGLE_FRAME, {2, 0}).Status(), E_CMD_FORMAT_ERROR);
}

TEST(Sensor, PeriodicFramesUntilStoppedOrDisconnected) {
    TSensorRig r;
    ASSERT_EQ(r.Must(sensor::START_PERIODIC_ACQ, {0, 20, 0}).Status(), E_SUCCESS);
    const auto frames = r.Client->Collect(300);
    ASSERT_GE(frames.size(), 9u);
    EXPECT_LE(frames.size(), 17u);
    uint32_t last = 0;
    for (const TRx& f : frames) {
        EXPECT_EQ(f.Id(), sensor::FRAME_DATA);
        // Frame packets carry no status: the time stamp comes first.
        ASSERT_EQ(f.Packet.Payload.size(), 5u + 2 * 20);
        const uint32_t stamp = ReadLongWord(f.Packet.Payload.data());
        EXPECT_GT(stamp, last);
        last = stamp;
    }
    EXPECT_EQ(r.Must(sensor::STOP_PERIODIC_ACQ).Status(), E_SUCCESS);
    (void)r.Client->Collect(30);
    EXPECT_TRUE(r.Client->Collect(80).empty());

    ASSERT_EQ(r.Must(sensor::START_PERIODIC_ACQ).Status(), E_SUCCESS); // the default period
    EXPECT_FALSE(r.Client->Collect(120).empty());
    EXPECT_EQ(r.Must(ANNOUNCE_DISCONNECT).Status(), E_SUCCESS);
    (void)r.Client->Collect(30);
    EXPECT_TRUE(r.Client->Collect(120).empty());
    EXPECT_EQ(r.Must(sensor::START_PERIODIC_ACQ, {0, 0, 0}).Status(), E_RANGE_ERROR);
}
