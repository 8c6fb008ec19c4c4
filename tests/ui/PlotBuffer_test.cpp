// The live plot's buffer: bounded rings, point reduction and the CSV record.
#include "ui/PlotBuffer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <sstream>

namespace {
// A clock the test moves by hand, in microseconds.
struct TManualClock {
    int64_t Now = 1'000'000'000;
    TPlotClock Source() {
        return [this] { return Now; };
    }
    void AdvanceMs(double Ms) { Now += int64_t(Ms * 1000); }
};

struct TSample {
    double Ms;
    double V;
};
} // namespace

TEST(PlotBuffer, RingKeepsTheNewestInOrderAndHoldsThirtyMinutesAtOneKilohertz) {
    struct Row {
        size_t Capacity;
        int Appends;
        std::vector<float> Expected;
    };
    const Row Rows[] = {
        {4, 3, {0, 1, 2}}, {4, 4, {0, 1, 2, 3}}, {4, 6, {2, 3, 4, 5}}, {4, 11, {7, 8, 9, 10}}, {0, 5, {}},
    };
    for (const Row& R : Rows) {
        TSampleRing Ring(R.Capacity);
        for (int I = 0; I < R.Appends; ++I)
            Ring.Append(int64_t(I) * 10, float(I));
        std::vector<float> Got;
        for (size_t I = 0; I < Ring.Size(); ++I)
            Got.push_back(Ring.ValueAt(I));
        EXPECT_EQ(Got, R.Expected) << "capacity " << R.Capacity << ", appends " << R.Appends;
        // Times stay searchable across the wrap: the sample at time 10*k sits at its index.
        for (size_t I = 0; I < Ring.Size(); ++I)
            EXPECT_EQ(Ring.LowerBound(int64_t(R.Expected[I]) * 10), I);
        EXPECT_EQ(Ring.LowerBound(1'000'000), Ring.Size());
    }
    TPlotBuffer Buffer;
    EXPECT_GE(Buffer.Position().Capacity(), 30u * 60 * 1000);
    EXPECT_GE(Buffer.Force().Capacity(), 30u * 60 * 1000);
}

TEST(PlotBuffer, ReductionKeepsEveryColumnsExtremesAndTheEdges) {
    struct Row {
        const char* Name;
        std::vector<TSample> Samples; // time in ms from the first sample
        double T0, T1;                // seconds
        int Columns;
        std::vector<TPlotPoint> Expected;
    };
    const Row Rows[] = {
        {"one column: minimum and maximum in the order they came",
         {{0, 5}, {1, 9}, {2, 1}, {3, 4}},
         0,
         1,
         1,
         {{0.001, 9}, {0.002, 1}}},
        {"a flat column gives one point", {{0, 3}, {1, 3}, {2, 3}}, 0, 1, 1, {{0, 3}}},
        {"one sample per column passes through",
         {{0, 1}, {500, 2}, {999, 3}},
         0,
         1,
         2,
         {{0, 1}, {0.5, 2}, {0.999, 3}}},
        {"neighbours outside the range are kept so the line reaches both edges",
         {{0, 1}, {2000, 2}, {2500, 7}, {4000, 3}},
         1,
         3,
         4,
         {{0, 1}, {2, 2}, {2.5, 7}, {4, 3}}},
        {"nothing inside: only the neighbours", {{0, 1}, {5000, 2}}, 1, 2, 10, {{0, 1}, {5, 2}}},
        {"no columns", {{0, 1}}, 0, 1, 0, {}},
        {"empty range", {{0, 1}}, 1, 1, 10, {}},
    };
    for (const Row& R : Rows) {
        TManualClock Clock;
        TPlotBuffer Buffer(Clock.Source());
        const int64_t Start = Clock.Now;
        for (const TSample& S : R.Samples) {
            Clock.Now = Start + int64_t(S.Ms * 1000);
            Buffer.AddPosition(S.V);
        }
        std::vector<TPlotPoint> Got = ReducePoints(Buffer, Buffer.Position(), R.T0, R.T1, R.Columns);
        ASSERT_EQ(Got.size(), R.Expected.size()) << R.Name;
        for (size_t I = 0; I < Got.size(); ++I) {
            EXPECT_NEAR(Got[I].T, R.Expected[I].T, 1e-9) << R.Name << " point " << I;
            EXPECT_EQ(Got[I].V, R.Expected[I].V) << R.Name << " point " << I;
        }
    }
}

TEST(PlotBuffer, ReductionOfADenseWindowFitsThePixelsAndKeepsItsPeaks) {
    TManualClock Clock;
    TPlotBuffer Buffer(Clock.Source());
    // 60 s at 1 kHz of a slow ramp with one spike up and one down.
    for (int I = 0; I < 60000; ++I) {
        double V = I * 0.001;
        if (I == 12345)
            V = 500;
        if (I == 45678)
            V = -500;
        Buffer.AddForce(V);
        Clock.AdvanceMs(1);
    }
    std::vector<TPlotPoint> Got = ReducePoints(Buffer, Buffer.Force(), 0, 60, 800);
    EXPECT_LE(Got.size(), 2u * 800);
    EXPECT_GE(Got.size(), 800u);
    auto [Lo, Hi] = std::minmax_element(Got.begin(), Got.end(), [](auto& A, auto& B) { return A.V < B.V; });
    EXPECT_EQ(Hi->V, 500);
    EXPECT_NEAR(Hi->T, 12.345, 1e-9);
    EXPECT_EQ(Lo->V, -500);
    EXPECT_TRUE(std::is_sorted(Got.begin(), Got.end(), [](auto& A, auto& B) { return A.T < B.T; }));
}

TEST(PlotBuffer, GraspingStatesBecomeBandsOfTheirChanges) {
    TManualClock Clock;
    TPlotBuffer Buffer(Clock.Source());
    const int States[] = {0, 1, 1, 1, 4, 4, 3};
    for (int S : States) {
        Buffer.AddGraspingState(S);
        Clock.AdvanceMs(1000);
    }
    EXPECT_EQ(Buffer.GraspingStates().Size(), 4u) << "repeated reports are not changes";
    std::vector<TStateSpan> Spans = StateSpans(Buffer, 0.5, 10);
    ASSERT_EQ(Spans.size(), 4u);
    const TStateSpan Expected[] = {{0.5, 1, 0}, {1, 4, 1}, {4, 6, 4}, {6, 10, 3}};
    for (size_t I = 0; I < Spans.size(); ++I) {
        EXPECT_DOUBLE_EQ(Spans[I].T0, Expected[I].T0) << I;
        EXPECT_DOUBLE_EQ(Spans[I].T1, Expected[I].T1) << I;
        EXPECT_EQ(Spans[I].State, Expected[I].State) << I;
    }
    EXPECT_EQ(Buffer.GraspingStateAt(4.5), 4);
    EXPECT_EQ(Buffer.GraspingStateAt(-1), std::nullopt);
    EXPECT_EQ(GraspingStateText(3), "Part lost");
    EXPECT_EQ(GraspingStateText(7), "ERROR");
    EXPECT_EQ(GraspingStateText(9), "9");
}

TEST(PlotBuffer, CsvHasOneRowPerArrivalWithTheLatestOfEveryColumn) {
    TManualClock Clock;
    TPlotBuffer Buffer(Clock.Source(), 3);
    Buffer.AddGraspingState(6);
    Clock.AdvanceMs(0.5);
    Buffer.AddPosition(55);
    Clock.AdvanceMs(100);
    Buffer.AddForce(0.25);
    Buffer.AddPosition(60.125); // same instant: position goes first
    Clock.AdvanceMs(1900);
    Buffer.AddGraspingState(4);
    std::ostringstream Out;
    WriteCsv(Buffer, Out);
    EXPECT_EQ(Out.str(), "Time (s),Position (mm),Force (N),Grasping state\n"
                         "0.000000,,,Positioning\n"
                         "0.000500,55,,Positioning\n"
                         "0.100500,60.125,,Positioning\n"
                         "0.100500,60.125,0.25,Positioning\n"
                         "2.000500,60.125,0.25,Holding\n");

    // Once the ring is full the oldest rows go, and the times keep their origin.
    Clock.AdvanceMs(1000);
    Buffer.AddPosition(1.5);
    Buffer.AddPosition(2.5);
    Buffer.AddPosition(3.5);
    Out.str("");
    WriteCsv(Buffer, Out);
    EXPECT_NE(Out.str().find("\n0.000000,,,Positioning\n"), std::string::npos);
    EXPECT_EQ(Out.str().find(",55,"), std::string::npos);
    EXPECT_NE(Out.str().find("3.000500,3.5,0.25,Holding\n"), std::string::npos);

    QTemporaryDir Dir;
    const std::string Path = Dir.filePath("plot.csv").toStdString();
    ASSERT_TRUE(ExportCsv(Buffer, Path));
    std::ifstream In(Path);
    std::string Text((std::istreambuf_iterator<char>(In)), {});
    EXPECT_EQ(Text, Out.str());
    std::string Error;
    EXPECT_FALSE(ExportCsv(Buffer, Dir.filePath("missing/plot.csv").toStdString(), &Error));
    EXPECT_FALSE(Error.empty());
}
