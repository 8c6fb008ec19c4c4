// Frame store and frame decoding, plain and run-length coded.
#include "taq/TAQ.h"
#include "TempSettingsFolder.h"

#include <gtest/gtest.h>

namespace {
TByteArray MatrixInfo(uint16_t W, uint16_t H, uint16_t CellW = 340, uint16_t CellH = 250,
                      uint16_t Extra = 4095) {
    return {uint8_t(W),          uint8_t(W >> 8), uint8_t(H),          uint8_t(H >> 8), uint8_t(CellW),
            uint8_t(CellW >> 8), uint8_t(CellH),  uint8_t(CellH >> 8), uint8_t(Extra),  uint8_t(Extra >> 8)};
}

TPacket Packet(int32_t ID, const TByteArray& Payload) {
    TPacket p;
    p.CommandID = ID;
    p.Length = int32_t(Payload.size());
    p.Payload = Payload;
    return p;
}

class TAQFrames : public SettingsFolderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(taq.ApplyMatrixInfo(MatrixInfo(2, 2)));
        taq.OnFrame = [this](TKORADevice* S) {
            EXPECT_EQ(S, &taq);
            ++frames;
        };
    }
    void Decode(const TByteArray& Frame) { taq.DecodeFrame(Frame.data(), Frame.size()); }
    int AssertLine(const TByteArray& Frame) {
        try {
            Decode(Frame);
        } catch (const EAssertionFailed& e) {
            EXPECT_EQ(e.Source(), "src/taq/TAQ");
            return e.Line();
        }
        return 0;
    }
    std::vector<int32_t> Cells() const { return taq.FrameData.Cells(); }

    TTAQ taq{nullptr};
    int frames = 0;
};
} // namespace

TEST(FrameData, ResizeKeepsFrontAndBoundsAreChecked) {
    TFrameData d;
    EXPECT_EQ(d.Count(), 0);
    d.SetWidth(2);
    EXPECT_EQ(d.Count(), 0);
    d.SetHeight(2);
    ASSERT_EQ(d.Count(), 4);
    for (int i = 0; i < 4; ++i)
        d.SetCell(i, i + 1);
    d.SetWidth(3);
    EXPECT_EQ(d.Cells(), (std::vector<int32_t>{1, 2, 3, 4, 0, 0}));
    d.SetHeight(1);
    EXPECT_EQ(d.Cells(), (std::vector<int32_t>{1, 2, 3}));
    d.SetWidth(-5);
    EXPECT_EQ(d.Count(), 0);

    d.SetWidth(2);
    d.SetHeight(2);
    try {
        d.SetCell(4, 1);
        ADD_FAILURE() << "index 4 accepted";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Index is out of bounds (4 > 3)");
    }
    EXPECT_THROW(d.SetCell(-1, 1), std::out_of_range);
}

TEST_F(TAQFrames, MatrixInformationSetsGeometry) {
    EXPECT_EQ(taq.CellCount, 4);
    EXPECT_FLOAT_EQ(taq.CellWidth, 3.4f);
    EXPECT_FLOAT_EQ(taq.CellHeight, 2.5f);
    EXPECT_FLOAT_EQ(taq.SensorWidth, 6.8f);
    EXPECT_EQ(taq.MatrixInfoValue, 4095);
    EXPECT_EQ(taq.FrameData.Count(), 4);
    EXPECT_FALSE(taq.ApplyMatrixInfo(TByteArray(9, 1)));
    EXPECT_FALSE(taq.ApplyMatrixInfo(TByteArray(11, 1)));
    // A matrix far beyond any sensor is refused rather than allocated.
    EXPECT_FALSE(taq.ApplyMatrixInfo(MatrixInfo(0xFFFF, 0xFFFF)));
    EXPECT_EQ(taq.CellCount, 4);
}

TEST_F(TAQFrames, PlainAndRunLengthFrames) {
    Decode({0x01, 0, 0, 0, 0x00, 1, 0, 2, 0, 3, 0, 0xFF, 0xFF});
    EXPECT_EQ(Cells(), (std::vector<int32_t>{1, 2, 3, 65535}));
    EXPECT_EQ(taq.FrameData.Timestamp, 1u);
    Decode({0, 0, 0, 0, 0x02, 0x05, 0x00, 0xFE, 0xFF, 0x07, 0x00});
    EXPECT_EQ(Cells(), (std::vector<int32_t>{5, 0, 0, 7}));
    EXPECT_EQ(taq.FrameData.Timestamp, 0u);
    // An odd trailing byte of a run-length frame is not a word.
    Decode({9, 0, 0, 0, 0x02, 0xFC, 0xFF, 0x01});
    EXPECT_EQ(Cells(), (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(frames, 3);
}

TEST_F(TAQFrames, FramesThatDoNotFillTheMatrixFailTheirAssertion) {
    Decode({0, 0, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0});
    frames = 0;
    EXPECT_EQ(AssertLine({7, 0, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 9}), 285);
    EXPECT_EQ(AssertLine({7, 0, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4}), 285);
    EXPECT_EQ(Cells(), (std::vector<int32_t>{1, 2, 3, 4}));

    // Runs beyond the matrix write only its cells, then fail.
    EXPECT_EQ(AssertLine({0, 0, 0, 0, 2, 9, 0, 0xFD, 0xFF, 8, 0}), 281);
    EXPECT_EQ(Cells(), (std::vector<int32_t>{9, 0, 0, 0}));
    EXPECT_EQ(AssertLine({0, 0, 0, 0, 2, 6, 0}), 281);
    EXPECT_EQ(Cells(), (std::vector<int32_t>{6, 0, 0, 0}));
    EXPECT_EQ(AssertLine({0, 0, 0, 0, 2, 0x00, 0x80}), 281); // 32768 empty cells
    EXPECT_EQ(frames, 0);
}

TEST_F(TAQFrames, PacketsCarryFramesAndReachCallbacks) {
    int callbacks = 0;
    taq.AsyncResults().Register(0x00, [&](auto...) { ++callbacks; });
    taq.PacketReceived(Packet(0x00, {2, 0, 0, 0, 0, 4, 0, 3, 0, 2, 0, 1, 0}));
    EXPECT_EQ(Cells(), (std::vector<int32_t>{4, 3, 2, 1}));
    EXPECT_EQ(callbacks, 1);
    // A single-frame answer carries its frame after the status; a failure status carries none.
    taq.PacketReceived(Packet(0x20, {0, 0, 3, 0, 0, 0, 2, 0xFC, 0xFF}));
    EXPECT_EQ(Cells(), (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(taq.FrameData.Timestamp, 3u);
    taq.PacketReceived(Packet(0x20, {1, 1, 4, 0, 0, 0, 2, 0x05, 0x00}));
    EXPECT_EQ(taq.FrameData.Timestamp, 3u);
    EXPECT_EQ(frames, 2);
    // Short frames are rejected without reading past them.
    taq.PacketReceived(Packet(0x00, {1, 2, 3, 4}));
    taq.PacketReceived(Packet(0x20, {0, 0, 1, 2, 3}));
    EXPECT_EQ(taq.FrameData.Timestamp, 3u);
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(callbacks, 2);
}

TEST(TAQFramesBeforeMatrix, AreIgnoredButStillDelivered) {
    TTempSettingsFolder folder;
    TTAQ taq(nullptr);
    int frames = 0;
    int callbacks = 0;
    taq.OnFrame = [&](TKORADevice*) { ++frames; };
    taq.AsyncResults().Register(0x00, [&](auto...) { ++callbacks; });
    taq.PacketReceived(Packet(0x00, {1, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(callbacks, 1);
    EXPECT_EQ(taq.FrameData.Timestamp, 0u);
    EXPECT_EQ(taq.CommandName(0x38), "CMD_ID_TRANSDUCER_TYPE");
    EXPECT_EQ(taq.CommandName(0x00), "CMD_ID_FRAME_DATA");
    EXPECT_EQ(taq.CommandName(0x50), "GET_SYSINFO");
    EXPECT_EQ(taq.CommandName(0x40), "unknown ID(64)");
}

TEST_F(TAQFrames, NonSquareMatricesAndWideTimeStamps) {
    const struct {
        uint16_t W, H, CellW, CellH;
        float SensorW, SensorH;
    } rows[] = {
        {3, 1, 100, 200, 3.0f, 2.0f},
        {1, 3, 250, 50, 2.5f, 1.5f},
        {6, 14, 340, 340, 20.4f, 47.6f},
    };
    for (const auto& r : rows) {
        ASSERT_TRUE(taq.ApplyMatrixInfo(MatrixInfo(r.W, r.H, r.CellW, r.CellH)));
        EXPECT_EQ(taq.MatrixWidth, r.W);
        EXPECT_EQ(taq.MatrixHeight, r.H);
        EXPECT_EQ(taq.FrameData.Width(), r.W);
        EXPECT_EQ(taq.FrameData.Height(), r.H);
        EXPECT_FLOAT_EQ(taq.SensorWidth, r.SensorW);
        EXPECT_FLOAT_EQ(taq.SensorHeight, r.SensorH);
        // Cells in the order sent, under a time stamp beyond 16 bits.
        TByteArray frame{0x78, 0x56, 0x34, 0x12, 0x00};
        for (int i = 0; i < r.W * r.H; ++i)
            frame.insert(frame.end(), {uint8_t(i + 1), 0});
        Decode(frame);
        EXPECT_EQ(taq.FrameData.Timestamp, 0x12345678u);
        EXPECT_EQ(Cells().back(), r.W * r.H);
    }
}

TEST_F(TAQFrames, StartAndStopAnswersTrackTheAcquisition) {
    const struct {
        int32_t ID;
        uint16_t Status;
        bool Before, After;
    } rows[] = {
        {TTAQ::CMD_ID_START_PERIODIC_ACQ, E_SUCCESS, false, true},
        {TTAQ::CMD_ID_START_PERIODIC_ACQ, E_CMD_PENDING, false, true},
        {TTAQ::CMD_ID_START_PERIODIC_ACQ, E_ACCESS_DENIED, false, false},
        {TTAQ::CMD_ID_START_PERIODIC_ACQ, 0x0100, false, false},
        {TTAQ::CMD_ID_STOP_PERIODIC_ACQ, E_SUCCESS, true, false},
        {TTAQ::CMD_ID_STOP_PERIODIC_ACQ, E_CMD_PENDING, true, false},
        {TTAQ::CMD_ID_STOP_PERIODIC_ACQ, E_CMD_FAILED, true, true},
        {TTAQ::CMD_ID_TARE, E_SUCCESS, true, true},
    };
    for (const auto& r : rows) {
        taq.PeriodicAcquisition = r.Before;
        taq.PacketReceived(Packet(r.ID, {uint8_t(r.Status), uint8_t(r.Status >> 8)}));
        EXPECT_EQ(taq.PeriodicAcquisition, r.After) << r.ID << " status " << r.Status;
    }
}
