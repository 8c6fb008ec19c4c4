// The live plot window: fed by a gripper on zel-sim during a move and a grasp, and its paused view.
#include "DeviceTestLink.h"
#include "ui/LivePlotForm.h"
#include "ui/PlotCanvas.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "zel/ZEL.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {
// A point of the plot area, given as fractions of its width and height.
QPointF PlotPoint(TLivePlot& Plot, double FX, double FY) {
    QRect Area = Plot.PlotArea();
    return QPointF(Area.left() + FX * Area.width(), Area.top() + FY * Area.height());
}

class LivePlotE2E : public SettingsFolderTest {
protected:
    void SetUp() override {
        zelsim::TSimConfig Cfg;
        Cfg.TcpPort = 0;
        Cfg.Gripper.StartReferenced = true;
        Cfg.Gripper.StartPosition = 50;
        Sim = std::make_unique<zelsim::TSimThread>(Cfg);
        std::string Error;
        ASSERT_TRUE(Sim->Start(&Error)) << Error;
        ASSERT_TRUE(Link.Connect(Sim->TcpPort()));
        // The gripper window's wiring, with a period short enough to see the motion.
        Zel.OnPositionChange = [this](TKORADevice*) { Plot.AddPosition(Zel.Position); };
        Zel.OnForceChange = [this](TKORADevice*) { Plot.AddForce(Zel.Force); };
        Zel.OnGraspingStateChange = [this](TKORADevice*) { Plot.AddGraspingState(Zel.GraspingState); };
        ASSERT_EQ(Zel.AutoUpdatePosition(true, 10, true), E_SUCCESS);
        ASSERT_EQ(Zel.AutoUpdateForce(true, 10, true), E_SUCCESS);
        ASSERT_EQ(Zel.AutoUpdateGraspingState(true, 10, true), E_SUCCESS);
        Plot.SetWindowLength(10);
        Plot.show();
    }
    void TearDown() override {
        Zel.Disconnect();
        Sim.reset();
    }
    // Runs a motion and waits for its final result.
    TStat RunMotion(const std::function<TStat(TAsyncResultEvent)>& Start) {
        std::optional<TStat> Final;
        TStat First = Start([&](TKORADevice*, int32_t, TStat S, const TByteArray&) { Final = S; });
        EXPECT_EQ(First, E_CMD_PENDING);
        EXPECT_TRUE(WaitUntil([&] { return Final.has_value(); }, 5000));
        ProcessEventsFor(100); // the last reports
        return Final.value_or(E_CMD_FAILED);
    }

    TRecordingErrorHandler Errors;
    std::unique_ptr<zelsim::TSimThread> Sim;
    TZEL Zel{nullptr};
    TDeviceTestLink Link{Zel};
    TLivePlot Plot;
};
} // namespace

TEST_F(LivePlotE2E, MoveRisesAndSettlesAtTheTargetAndAGraspShowsItsStates) {
    ASSERT_EQ(RunMotion([&](TAsyncResultEvent R) { return Zel.Move(90, 200, R); }), E_SUCCESS);

    const TSampleRing& Pos = Plot.Buffer().Position();
    ASSERT_GE(Pos.Size(), 5u) << "the move should be seen in several reports";
    float Previous = Pos.ValueAt(0);
    int Rises = 0;
    for (size_t I = 1; I < Pos.Size(); ++I) {
        EXPECT_GE(Pos.ValueAt(I), Previous) << "sample " << I;
        EXPECT_GE(Pos.TimeAt(I), Pos.TimeAt(I - 1));
        Rises += Pos.ValueAt(I) > Previous;
        Previous = Pos.ValueAt(I);
    }
    EXPECT_GE(Rises, 4);
    EXPECT_LT(Pos.ValueAt(0), 80.f);
    EXPECT_NEAR(Pos.ValueAt(Pos.Size() - 1), 90.f, 0.01);

    ASSERT_EQ(RunMotion([&](TAsyncResultEvent R) { return Zel.Grasp(20, 200, R); }), E_SUCCESS);
    ProcessEventsFor(200); // the force builds up after the fingers touch the part
    std::vector<int> States;
    for (const TStateSpan& S : StateSpans(Plot.Buffer(), 0, Plot.Buffer().Now()))
        States.push_back(S.State);
    EXPECT_NE(std::find(States.begin(), States.end(), 1), States.end()) << "Grasping";
    EXPECT_EQ(States.back(), 4) << "Holding";
    ASSERT_GT(Plot.Buffer().Force().Size(), 0u);
    EXPECT_GT(Plot.Buffer().Force().ValueAt(Plot.Buffer().Force().Size() - 1), 0.f);

    // What the user reads at the newest edge of the plot.
    Plot.RedrawNow();
    QString ReadOut = Plot.CursorText(PlotPoint(Plot, 0.999, 0.5));
    EXPECT_TRUE(ReadOut.contains(QStringLiteral("State: Holding"))) << ReadOut.toStdString();
    EXPECT_TRUE(ReadOut.contains(QStringLiteral(" mm"))) << ReadOut.toStdString();
    EXPECT_TRUE(Plot.CursorText(QPoint(-5, -5)).isEmpty());

    TTempSettingsFolder Out;
    ASSERT_TRUE(Plot.ExportCsvTo(Out.Path(QStringLiteral("grasp.csv"))));
    QList<QByteArray> Lines = Out.ReadFile(QStringLiteral("grasp.csv")).trimmed().split('\n');
    EXPECT_EQ(Lines.first(), "Time (s),Position (mm),Force (N),Grasping state");
    EXPECT_TRUE(Lines.last().endsWith(",Holding")) << Lines.last().toStdString();
    ASSERT_TRUE(Plot.ExportPngTo(Out.Path(QStringLiteral("grasp.png"))));
    QImage Image(Out.Path(QStringLiteral("grasp.png")));
    EXPECT_FALSE(Image.isNull());
    EXPECT_GT(Image.width(), 100);
    EXPECT_EQ(Errors.Count(), 0);
}

TEST(LivePlot, PauseFreezesTheViewWhileDataArrivesAndZoomAndPanWorkOnlyWhilePaused) {
    TRecordingErrorHandler Errors;
    int64_t Now = 0;
    TLivePlot Plot(nullptr, [&] { return Now; });
    Plot.SetWindowLength(10);
    Plot.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Plot));
    auto FeedUntil = [&](double Seconds) {
        for (; Now <= int64_t(Seconds * 1e6); Now += 100'000) {
            Plot.AddPosition(double(Now) / 1e6);
            Plot.AddForce(1);
        }
        Now -= 100'000;
    };
    FeedUntil(40);
    Plot.RedrawNow();
    EXPECT_NEAR(Plot.ViewEnd(), 40, 1e-6);
    EXPECT_NEAR(Plot.ViewStart(), 30, 1e-6);

    Plot.Zoom(0.5, 35); // running: the view follows the data only
    EXPECT_NEAR(Plot.ViewStart(), 30, 1e-6);

    auto* View = Plot.findChild<QWidget*>(QStringLiteral("pnPlot"));
    QTest::keyClick(View, Qt::Key_Space);
    ASSERT_TRUE(Plot.Paused());
    EXPECT_EQ(Plot.findChild<QToolButton*>(QStringLiteral("btnPause"))->text(), QStringLiteral("&Resume"));
    const size_t Before = Plot.Buffer().Position().Size();
    FeedUntil(50);
    Plot.RedrawNow();
    EXPECT_GT(Plot.Buffer().Position().Size(), Before);
    EXPECT_NEAR(Plot.ViewEnd(), 40, 1e-6) << "the paused view stays where it was";

    QTest::keyClick(View, Qt::Key_Minus); // zoom out around the middle: 12.5 s
    EXPECT_NEAR(Plot.ViewEnd() - Plot.ViewStart(), 12.5, 1e-6);
    EXPECT_NEAR((Plot.ViewEnd() + Plot.ViewStart()) / 2, 35, 1e-6);
    Plot.Zoom(0.4, 36.25); // 5 s, with 36.25 s kept at its place, 60 % across the axis
    EXPECT_NEAR(Plot.ViewStart(), 33.25, 1e-6);
    EXPECT_NEAR(Plot.ViewEnd(), 38.25, 1e-6);
    QTest::keyClick(View, Qt::Key_Left);
    EXPECT_NEAR(Plot.ViewStart(), 32.75, 1e-6);
    Plot.Pan(100); // no further than the newest data
    EXPECT_NEAR(Plot.ViewEnd(), 50, 1e-6);
    QTest::keyClick(View, Qt::Key_Home);
    EXPECT_NEAR(Plot.ViewStart(), 0, 1e-6);

    // The read-out in the middle of the view: position was fed equal to time.
    Plot.RedrawNow();
    QString ReadOut = Plot.CursorText(PlotPoint(Plot, 0.5, 0.5));
    QRegularExpressionMatch M =
        QRegularExpression(
            QStringLiteral("^Time: ([0-9.]+) s   Position: ([0-9.]+) mm   Force: 1.00 N   State: -$"))
            .match(ReadOut);
    ASSERT_TRUE(M.hasMatch()) << ReadOut.toStdString();
    EXPECT_NEAR(M.captured(1).toDouble(), 2.5, 0.05);
    EXPECT_NEAR(M.captured(2).toDouble(), M.captured(1).toDouble(), 0.1) << "the last sample at that time";

    Plot.findChild<QToolButton*>(QStringLiteral("btnPause"))->click();
    Plot.RedrawNow();
    EXPECT_FALSE(Plot.Paused());
    EXPECT_NEAR(Plot.ViewEnd(), 50, 1e-6);
    EXPECT_NEAR(Plot.ViewStart(), 40, 1e-6);
    EXPECT_EQ(Errors.Count(), 0);
}

// The curves keep their contrast with the plot's ground in a light and in a dark palette.
TEST(LivePlot, CurveColoursReadOnLightAndDarkGrounds) {
    for (const QColor base : {QColor(Qt::white), QColor(0xf0, 0xf0, 0xf0), QColor(0x2a, 0x2a, 0x2a), QColor(Qt::black)}) {
        QPalette palette;
        palette.setColor(QPalette::Base, base);
        for (const QColor curve : {PlotPositionColor(palette), PlotForceColor(palette)})
            EXPECT_GE(std::abs(curve.lightness() - base.lightness()), 90)
                << base.name().toStdString() << " " << curve.name().toStdString();
    }
}
