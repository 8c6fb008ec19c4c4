// The field tables of both devices: every command in both directions, payloads that fit, fall
// short or run long, and the device reading the same values as the log from the same packet.
#include "device/PayloadFields.h"
#include "taq/TAQ.h"
#include "taq/TAQ_fields.h"
#include "TempSettingsFolder.h"
#include "zel/ZEL.h"
#include "zel/ZEL_fields.h"
#include "protocol/convert.h"

#include <gtest/gtest.h>

namespace {
TByteArray Answer(uint16_t Status, const TByteArray& Data) {
    TByteArray p(2);
    WriteWord(p.data(), Status);
    p.insert(p.end(), Data.begin(), Data.end());
    return p;
}

TByteArray Floats(std::initializer_list<float> Values) {
    TByteArray b;
    for (float v : Values) {
        uint8_t f[4];
        WriteSingle(f, v);
        b.insert(b.end(), f, f + 4);
    }
    return b;
}

TPacket Packet(int32_t ID, const TByteArray& Payload) {
    return TPacket{ID, int32_t(Payload.size()), Payload};
}
} // namespace

TEST(PayloadFields, EveryCommandOfBothDevicesFitsFallsShortAndRunsLong) {
    // Every row, both directions: a payload of the layout's size reads; one byte less or more is
    // named as such and never read.
    for (const auto* table : {&ZelCommandFields(), &TaqCommandFields(), &GenericCommandFields()}) {
        for (const TCommandFields& row : *table) {
            if (!row.Described)
                continue;
            for (const TPayloadLayout* l : {&row.Request, &row.Answer}) {
                const bool answer = l == &row.Answer;
                const size_t size = l->FixedSize();
                auto describe = [&](size_t N) {
                    const TByteArray data(N, 0x01);
                    const bool received = answer;
                    if (!received || row.NoStatus)
                        return DescribePacketFields(&row, received, data);
                    return DescribePacketFields(&row, received, Answer(0, data));
                };
                const std::string fits = describe(size);
                SCOPED_TRACE(std::to_string(row.ID) + (answer ? " answer " : " request ") + fits);
                EXPECT_EQ(fits.find("too"), std::string::npos);
                if (size > 1) {
                    EXPECT_NE(describe(size - 1).find("too short: " + std::to_string(size - 1) + " of "),
                              std::string::npos);
                }
                if (!l->Variable()) {
                    EXPECT_NE(describe(size + 1).find("too long: " + std::to_string(size + 1) + " of " +
                                                      std::to_string(size) + " byte"),
                              std::string::npos);
                }
            }
        }
    }

    struct Row {
        const TCommandFields* Fields;
        bool Received;
        TByteArray Payload;
        std::string Text;
    };
    const Row rows[] = {
        {ZelFields(TZEL::MOVE), false, TZEL::MovePayload(20, 50),
         "flags 0, position 20.00 mm, speed 50.00 mm/s"},
        {ZelFields(TZEL::MOVE), false, {0, 0, 0}, "too short: 3 of 9 bytes"},
        {ZelFields(TZEL::MOVE), true, Answer(E_CMD_PENDING, {}), "E_CMD_PENDING"},
        {ZelFields(TZEL::GRASP), false, TZEL::TwoFloatPayload(8, 50), "width 8.00 mm, speed 50.00 mm/s"},
        {ZelFields(TZEL::HOMING), false, {2}, "direction inwards (2)"},
        {ZelFields(TZEL::FAST_STOP_ACK), false, TZEL::FastStopAckPayload, "key \"ack\""},
        {ZelFields(TZEL::SET_ACCELERATION), false, TZEL::FloatPayload(150), "acceleration 150.00 mm/s²"},
        {ZelFields(TZEL::SET_FORCE_LIMIT), false, TZEL::FloatPayload(40), "force limit 40.00 N"},
        {ZelFields(TZEL::GET_FORCE_LIMIT), true, Answer(0, Floats({40})), "E_SUCCESS, force limit 40.00 N"},
        {ZelFields(TZEL::GET_POS), false, TZEL::AutoUpdatePayload(true, 100, true),
         "update on change only, period 100"},
        {ZelFields(TZEL::GET_POS), false, TZEL::AutoUpdatePayload(false, 100, true), "update off, period 0"},
        {ZelFields(TZEL::GET_POS), false, {}, "no fields"},
        {ZelFields(TZEL::GET_POS), true, Answer(0, Floats({12.5f})), "E_SUCCESS, position 12.50 mm"},
        {ZelFields(TZEL::GET_FORCE), true, Answer(0, Floats({-3})), "E_SUCCESS, force -3.00 N"},
        {ZelFields(TZEL::GET_GRASPING_STATE), true, Answer(0, {4}), "E_SUCCESS, grasping state Holding (4)"},
        {ZelFields(TZEL::GET_GRASPING_STATE), true, Answer(0, {9}), "E_SUCCESS, grasping state invalid (9)"},
        {ZelFields(TZEL::GET_SYSTEM_STATE), true, Answer(0, {0x01, 0x10, 0, 0}),
         "E_SUCCESS, system state 00001001h (Referenced, Fast stop)"},
        {ZelFields(TZEL::GET_SYSTEM_STATE), true, Answer(0, {0x00, 0x04, 0, 0}),
         "E_SUCCESS, system state 00000400h (none)"},
        {ZelFields(TZEL::GET_SYSTEM_STATE), true, Answer(0, {0, 0, 0}), "E_SUCCESS, too short: 3 of 4 bytes"},
        {ZelFields(TZEL::GET_GRASPING_STATS), true, Answer(0, {7, 0, 0, 0, 2, 0, 1, 0}),
         "E_SUCCESS, grasps 7, parts not found 2, parts lost 1"},
        {ZelFields(TZEL::GET_SYSTEM_LIMITS), true, Answer(0, Floats({110, 5, 400, 100, 5000, 5, 40, 80})),
         "E_SUCCESS, stroke 110.00 mm, min speed 5.00 mm/s, max speed 400.00 mm/s, min acceleration 100.00 "
         "mm/s², max acceleration 5000.00 mm/s², min force 5.00 N, nominal force 40.00 N, overdrive force "
         "80.00 N"},
        {ZelFields(GET_SYSINFO), true, Answer(0, {1, 3, 0x12, 0x34, 0x39, 0x30, 0, 0}),
         "E_SUCCESS, device type ZEL 11, hardware revision 3, firmware 3.4.1 rc 2, serial number 12345"},
        {ZelFields(CMD_ID_GET_TEMPERATURE), true, Answer(0, {0x06, 0xFF}),
         "E_SUCCESS, temperature -25.00 °C"},
        {ZelFields(GET_DEVICE_TAG), true, Answer(0, {'R', 'i', 'g', 10}), "E_SUCCESS, tag \"Rig_\""},
        {ZelFields(SET_DEVICE_TAG), false, {'A'}, "tag \"A\""},
        {ZelFields(0x99), true, Answer(E_CMD_UNKNOWN, {}), "E_CMD_UNKNOWN"},
        {ZelFields(0x60), false, {1, 2}, "2 bytes, fields not known"},
        {ZelFields(TZEL::STOP), true, {0x1A}, "too short for a status: 1 byte"},
        {ZelFields(TZEL::STOP), true, Answer(0x120, {}), "unknown error code 288"},
        {TaqFields(TTAQ::CMD_ID_MATRIX_INFO), true, Answer(0, {2, 0, 3, 0, 0x54, 1, 250, 0, 0xFF, 0x0F}),
         "E_SUCCESS, cells across 2, cells down 3, cell width 3.40, cell height 2.50, value 4095"},
        {TaqFields(TTAQ::CMD_ID_FRAME_DATA),
         true,
         {1, 0, 0, 0, 2, 5, 0, 0xFE, 0xFF, 7},
         "time stamp 1, coding run-length, data 2 words and 1 byte"},
        {TaqFields(TTAQ::CMD_ID_FRAME_DATA), true, {1, 0, 0}, "too short: 3 of at least 5 bytes"},
        {TaqFields(TTAQ::CMD_ID_READ_SINGLE_FRAME), true, Answer(0, {9, 0, 0, 0, 0, 1, 0}),
         "E_SUCCESS, time stamp 9, coding plain (0), data 1 word"},
        {TaqFields(TTAQ::CMD_ID_GAIN_GET), true, Answer(0, {255}), "E_SUCCESS, gain 100.00 %"},
        {TaqFields(0x34), false, {0x10, 0x27}, "threshold 10000"},
        {TaqFields(TTAQ::CMD_ID_TRANSDUCER_TYPE), true, Answer(0, {'P', 'Z'}),
         "E_SUCCESS, transducer \"PZ\""},
        {TaqFields(0x31), false, {1, 2, 3}, "3 bytes, fields not known"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DescribePacketFields(r.Fields, r.Received, r.Payload), r.Text) << r.Text;
}

TEST(PayloadFields, TheDevicesReadWhatTheLogShows) {
    TTempSettingsFolder folder;
    TZEL zel(nullptr);
    struct Report {
        int32_t ID;
        TByteArray Data;
        std::string Fields;
    };
    // Each report reaches the device and the log alike; a malformed one is ignored by the device
    // and named by the log.
    const Report reports[] = {
        {TZEL::GET_POS, Floats({33.25f}), "E_SUCCESS, position 33.25 mm"},
        {TZEL::GET_FORCE, Floats({12.5f}), "E_SUCCESS, force 12.50 N"},
        {TZEL::GET_SYSTEM_STATE, {0x03, 0, 0, 0}, "E_SUCCESS, system state 00000003h (Referenced, Moving)"},
        {TZEL::GET_GRASPING_STATE, {5}, "E_SUCCESS, grasping state Releasing (5)"},
        {TZEL::GET_POS, Floats({1, 2}), "E_SUCCESS, too long: 8 of 4 bytes"},
    };
    for (const Report& r : reports) {
        const TPacket p = Packet(r.ID, Answer(0, r.Data));
        zel.PacketReceived(p);
        EXPECT_EQ(DescribePacketFields(ZelFields(r.ID), true, p.Payload), r.Fields);
    }
    EXPECT_EQ(FieldNumber(zel.Position, 2) + " mm", "33.25 mm"); // the malformed report left it
    EXPECT_EQ(FieldNumber(zel.Force, 2), "12.50");
    EXPECT_EQ(zel.SystemState, 3u);
    EXPECT_EQ(zel.GraspingState, 5);

    // The answers the device reads through the same readers.
    TGraspingStats stats;
    EXPECT_TRUE(ReadGraspingStats({7, 0, 0, 0, 2, 0, 1, 0}, stats));
    EXPECT_EQ(std::vector<uint32_t>({stats.Grasps, stats.PartsNotFound, stats.PartsLost}),
              std::vector<uint32_t>({7, 2, 1}));
    EXPECT_FALSE(ReadGraspingStats({7, 0, 0, 0, 2, 0, 1}, stats));

    TTAQ taq(nullptr);
    const TByteArray info = {2, 0, 2, 0, 0x54, 1, 250, 0, 0xFF, 0x0F};
    ASSERT_TRUE(taq.ApplyMatrixInfo(info));
    EXPECT_EQ(DescribePacketFields(TaqFields(TTAQ::CMD_ID_MATRIX_INFO), true, Answer(0, info)),
              "E_SUCCESS, cells across 2, cells down 2, cell width 3.40, cell height 2.50, value 4095");
    EXPECT_EQ(taq.MatrixWidth, 2);
    EXPECT_FLOAT_EQ(taq.CellWidth, 3.4f);
    EXPECT_EQ(taq.MatrixInfoValue, 4095);
    TByteArray eleven = info;
    eleven.push_back(0);
    EXPECT_FALSE(taq.ApplyMatrixInfo(eleven));
    const TByteArray frame = {0x39, 0x30, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0};
    taq.PacketReceived(Packet(TTAQ::CMD_ID_FRAME_DATA, frame));
    EXPECT_EQ(taq.FrameData.Timestamp, 12345u);
    EXPECT_EQ(DescribePacketFields(TaqFields(0), true, frame),
              "time stamp 12345, coding plain (0), data 4 words");
}
