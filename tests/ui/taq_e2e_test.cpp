// The sensor window against zel-sim over loopback TCP, connected through the real dialogs:
// acquisition with its recording and playback, the sensor settings, the disconnect and the lost
// link during an acquisition, and the refusal of the wrong device by each window.
#include "ui/TAQMainWin.h"
#include "ui/TaqAcquisition.h"
#include "ui/TaqMapPanel.h"
#include "ui/TaqPlayback.h"
#include "ui/TaqRecording.h"
#include "ui/ZELMainWin.h"

#include "platform/IniFile.h"
#include "LinkDialogSteps.h"
#include "platform/MessageBox.h"
#include "ModalDriver.h"
#include "SensorModel.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "WindowControls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>
#include <mutex>

namespace {
zelsim::TSimConfig SensorConfig() {
    zelsim::TSimConfig c;
    c.Device = zelsim::EDeviceKind::Sensor;
    c.Sensor.MatrixWidth = 8;
    c.Sensor.MatrixHeight = 10;
    c.Sensor.CellHeight = 680;
    return c;
}
} // namespace

class TAQE2E : public SettingsFolderTest {
protected:
    void TearDown() override {
        Win.reset();
        Gripper.reset();
        Sim.reset();
    }

    void StartSim(zelsim::TSimConfig Config) {
        Config.TcpPort = 0;
        Config.Verbose = true;
        Sim = std::make_unique<zelsim::TSimThread>(Config);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
        Sim->Run([this](zelsim::TSimulator& S) {
            S.SetLogSink([this](const std::string& Line) {
                std::lock_guard<std::mutex> lock(FLogMutex);
                FLog.push_back(Line);
            });
        });
    }
    void Start(zelsim::TSimConfig Config = SensorConfig()) {
        ASSERT_NO_FATAL_FAILURE(StartSim(Config));
        Win = std::make_unique<TTAQMainWin>();
        Win->show();
    }
    // Device > Connect of Window through the interface and host dialogs.
    void Connect(TMainWinBase& Window) {
        TModalDriver driver;
        driver.Then(ChooseInterface(1)).Then(EnterHost(QStringLiteral("127.0.0.1"), Sim->TcpPort()));
        Control<QAction>(Window, "miConnect")->trigger();
    }
    bool Connect() {
        Connect(*Win);
        return WaitUntil([&] { return Control<QAction>(*Win, "miDisconnect")->isEnabled(); }, 5000);
    }
    // Index of the first simulator log line holding Text, -1 when none.
    int LogIndex(const std::string& Text) {
        std::lock_guard<std::mutex> lock(FLogMutex);
        for (size_t i = 0; i < FLog.size(); ++i)
            if (FLog[i].find(Text) != std::string::npos)
                return int(i);
        return -1;
    }
    void ClearLog() {
        std::lock_guard<std::mutex> lock(FLogMutex);
        FLog.clear();
    }
    // A control of the window by its object name.
    template <class T> T* Control(const char* Name) const {
        T* c = Win->findChild<T*>(QString::fromLatin1(Name));
        EXPECT_NE(c, nullptr) << Name;
        return c;
    }
    // A control of another window (WindowControls.h).
    template <class T> T* Control(const QObject& Window, const char* Name) const {
        return ::Control<T>(Window, Name);
    }
    QPushButton* Button(const char* Name) const { return Control<QPushButton>(Name); }
    QLabel* Label(const char* Name) const { return Control<QLabel>(Name); }
    TPressureMap* Map() const { return Win->MapPanel().Map(); }

    TRecordingErrorHandler Errors;
    TMessageRecorder Messages;
    std::unique_ptr<zelsim::TSimThread> Sim;
    std::unique_ptr<TTAQMainWin> Win;
    std::unique_ptr<TMainWin> Gripper;

private:
    std::mutex FLogMutex;
    std::vector<std::string> FLog;
};

TEST_F(TAQE2E, AcquisitionIsRecordedAndPlayedBack) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_FALSE(Button("btnReadFrame")->isEnabled());
    EXPECT_FALSE(Button("btnSaveCsv")->isEnabled());
    ASSERT_TRUE(Connect());
    EXPECT_EQ(Map()->MatrixWidth(), 8);
    EXPECT_EQ(Map()->MatrixHeight(), 10);
    EXPECT_TRUE(Label("lbMatrix")->text().startsWith("8 x 10 cells of 3.40 x 6.80, piezoresistive"));
    // Cells twice as high as wide: the map is drawn in the sensor's proportions.
    const QRectF shape = Map()->MatrixRect();
    EXPECT_NEAR(shape.height() / shape.width(), 10 * 2.0 / 8, 0.02);

    // One frame, run-length coded.
    Control<QComboBox>("cbCoding")->setCurrentIndex(2);
    Button("btnReadFrame")->click();
    EXPECT_TRUE(Map()->HasFrame());
    EXPECT_EQ(Win->Acquisition().FramesReceived(), 1);
    EXPECT_TRUE(Label("lbSource")->text().startsWith("Live frame, time stamp"));
    EXPECT_TRUE(Button("btnSaveCsv")->isEnabled());

    // Periodic frames, run-length coded every 10 ms, recorded while they run.
    Control<QLineEdit>("edStartPayload")->setText(QStringLiteral("0x02 0x0A 0x00"));
    const QString path = Settings.Path(QStringLiteral("run.csv"));
    ASSERT_TRUE(Win->Recorder().Start(path));
    Button("btnStart")->click();
    EXPECT_TRUE(Win->Acquisition().Acquiring());
    EXPECT_TRUE(Win->Taq()->PeriodicAcquisition);
    EXPECT_FALSE(Button("btnStart")->isEnabled());
    ASSERT_TRUE(WaitUntil(
        [&] { return Win->Acquisition().FramesReceived() >= 40 && Win->Acquisition().FrameRate() > 0; },
        5000));
    EXPECT_GT(Win->Acquisition().FrameRate(), 20);
    // The strip of the total scrolls with the frames: what it shows catches up with what arrived.
    const auto stripCatchesUp = [&] {
        const double newest = Win->MapPanel().TotalPlot().Newest();
        return newest > 0 &&
               WaitUntil([&] { return Win->MapPanel().TotalPlot().PaintedUntil() >= newest; }, 3000);
    };
    EXPECT_TRUE(stripCatchesUp());
    ProcessEventsFor(300);
    EXPECT_TRUE(stripCatchesUp());
    Button("btnStop")->click();
    EXPECT_FALSE(Win->Acquisition().Acquiring());
    EXPECT_FALSE(Win->Taq()->PeriodicAcquisition);
    EXPECT_FALSE(Win->Recorder().File().IsOpen());
    const int recorded = Win->Recorder().File().Count();
    EXPECT_EQ(recorded, Win->Acquisition().FramesReceived()); // every frame of the acquisition, nothing else
    EXPECT_TRUE(Label("lbRecording")->text().startsWith(QStringLiteral("Recorded %1 frames").arg(recorded)));
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
    EXPECT_EQ(Messages.Count(), 0) << Messages.Texts().join('|').toStdString();
    // The start parameters are remembered for the next session.
    EXPECT_EQ(TIniFile(TIniFile::PathFor("settings.ini")).ReadString("TAQ", "StartPayload", QString()),
              "0x02 0x0A 0x00");

    // Played back: the recording has the display until "Live".
    ASSERT_TRUE(Win->Playback().Open(path));
    ASSERT_EQ(Win->Playback().Player().Count(), recorded);
    EXPECT_TRUE(Label("lbSource")->text().startsWith(QStringLiteral("run.csv: frame 1 of %1").arg(recorded)));
    EXPECT_FALSE(Button("btnPrevFrame")->isEnabled());
    Button("btnNextFrame")->click();
    EXPECT_TRUE(Label("lbPlayback")->text().endsWith(QStringLiteral("frame 2 of %1").arg(recorded)));
    Button("btnPlay")->click();
    EXPECT_TRUE(Win->Playback().Playing());
    ASSERT_TRUE(WaitUntil([&] { return !Win->Playback().Playing(); }, 5000));
    EXPECT_TRUE(Label("lbPlayback")->text().endsWith(QStringLiteral("frame %1 of %1").arg(recorded)));
    Button("btnReadFrame")->click(); // a live frame meanwhile does not take the display
    EXPECT_TRUE(Label("lbSource")->text().startsWith("run.csv"));
    Button("btnLive")->click();
    EXPECT_FALSE(Win->Playback().Player().IsOpen());
    EXPECT_TRUE(Label("lbSource")->text().startsWith("Live frame"));
    // Live again after the playback: the strip follows the new frames.
    Button("btnStart")->click();
    ASSERT_TRUE(WaitUntil([&] { return Win->MapPanel().TotalPlot().Count() > 10; }, 5000));
    EXPECT_TRUE(stripCatchesUp());
    Button("btnStop")->click();
}

TEST_F(TAQE2E, GainThresholdAndTareReachTheSensor) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    EXPECT_NEAR(Control<QDoubleSpinBox>("edGain")->value(), 128 / 2.55, 0.06);
    EXPECT_EQ(Control<QSpinBox>("edThreshold")->value(), 20);

    Control<QDoubleSpinBox>("edGain")->setValue(100);
    Button("btnGainSet")->click();
    Control<QSpinBox>("edThreshold")->setValue(1234);
    Button("btnThresholdSet")->click();
    Button("btnTare")->click();
    uint8_t gain = 0;
    uint16_t threshold = 0;
    Sim->Run([&](zelsim::TSimulator& S) {
        gain = S.Sensor()->Gain();
        threshold = S.Sensor()->Threshold();
    });
    EXPECT_EQ(gain, 255);
    EXPECT_EQ(threshold, 1234);
    EXPECT_DOUBLE_EQ(Win->Taq()->Gain, 100); // read back after the set
    EXPECT_EQ(Win->Taq()->Threshold, 1234);
    EXPECT_GE(LogIndex("CMD_ID_TARE"), 0);
    EXPECT_EQ(Messages.Count(), 0) << Messages.Texts().join('|').toStdString();
}

TEST_F(TAQE2E, DisconnectAndLostLinkEndTheAcquisition) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    Button("btnStart")->click(); // no parameters: the sensor's own period
    ASSERT_TRUE(WaitUntil([&] { return Win->Acquisition().FramesReceived() >= 3; }));
    ClearLog();
    Control<QAction>(*Win, "miDisconnect")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Control<QAction>(*Win, "miConnect")->isEnabled(); }));
    ASSERT_TRUE(WaitUntil([&] { return LogIndex("ANNOUNCE_DISCONNECT") >= 0; }));
    EXPECT_GE(LogIndex("CMD_ID_STOP_PERIODIC_ACQ"), 0);
    EXPECT_LT(LogIndex("CMD_ID_STOP_PERIODIC_ACQ"), LogIndex("ANNOUNCE_DISCONNECT"));
    EXPECT_FALSE(Win->Acquisition().Acquiring());
    EXPECT_EQ(Label("lbAcquisition")->text(), "Not connected");
    EXPECT_EQ(Messages.Count(), 0) << Messages.Texts().join('|').toStdString();

    // The link breaks while frames arrive and one is recorded.
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(Win->Recorder().Start(Settings.Path(QStringLiteral("lost.csv"))));
    Button("btnStart")->click();
    ASSERT_TRUE(WaitUntil([&] { return Win->Recorder().File().Count() >= 2; }));
    zelsim::TFaultConfig pull;
    pull.CloseAfter = 2;
    Sim->Run([pull](zelsim::TSimulator& S) { S.SetFaults(pull); });
    ASSERT_TRUE(WaitUntil([&] { return Messages.Count() >= 1; }));
    EXPECT_TRUE(Messages.Messages().front().Text.startsWith(
        "A Connection Error occurred or the connection to the device was interrupted."));
    EXPECT_FALSE(Win->Acquisition().Acquiring());
    EXPECT_FALSE(Win->Taq()->PeriodicAcquisition);
    EXPECT_FALSE(Win->Recorder().File().IsOpen());
    EXPECT_TRUE(Label("lbRecording")->text().startsWith("Recorded"));
    EXPECT_EQ(Label("lbFrameRate")->text(), "-- frames/s received");
    EXPECT_FALSE(Button("btnStart")->isEnabled());
    EXPECT_FALSE(Button("btnReadFrame")->isEnabled());
    EXPECT_FALSE(Control<QAction>(*Win, "miCustomCommands")->isEnabled());
    EXPECT_TRUE(Control<QAction>(*Win, "miConnect")->isEnabled());
    EXPECT_TRUE(Map()->HasFrame()); // the last frame stays to be looked at and saved
    EXPECT_TRUE(Button("btnSaveCsv")->isEnabled());
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
}

TEST_F(TAQE2E, StopAcquisitionReachesTheSensorWhileABoxIsOpen) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    const TMessageHook recorder = SetMessageHook(MessageBoxHook());
    const auto pressKeyInBox = [] { QTest::keyClick(OpenMessageBox()->windowHandle(), Qt::Key_F12); };
    const auto clickStop = [this] {
        QTest::mouseClick(Win->windowHandle(), Qt::LeftButton, {},
                          Button("btnStop")->mapTo(Win.get(), Button("btnStop")->rect().center()));
    };
    for (const auto& [how, stop] : {std::pair{"stop key in the box", std::function<void()>(pressKeyInBox)},
                                    std::pair{"click on Stop", std::function<void()>(clickStop)}}) {
        SCOPED_TRACE(how);
        Button("btnStart")->click();
        ASSERT_TRUE(WaitUntil([&] { return Win->Acquisition().FramesReceived() >= 2; }));
        ShowMessage(TMessageKind::Error,
                    QStringLiteral("The frame could not be saved: there is no frame to save."),
                    QStringLiteral("Error"), Win.get());
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(box->frameGeometry().intersects(
            QRect(Button("btnStop")->mapToGlobal(QPoint(0, 0)), Button("btnStop")->size())));
        ClearLog();
        stop();
        EXPECT_TRUE(WaitUntil([&] { return LogIndex("CMD_ID_STOP_PERIODIC_ACQ") >= 0; }));
        EXPECT_FALSE(Win->Acquisition().Acquiring());
        box->close();
    }
    SetMessageHook(recorder);
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
}

TEST_F(TAQE2E, EachWindowRefusesTheOtherDevice) {
    // The sensor window and a gripper.
    ASSERT_NO_FATAL_FAILURE(Start(zelsim::TSimConfig{}));
    Connect(*Win);
    ASSERT_TRUE(Errors.WaitFor(1));
    EXPECT_EQ(Errors.Messages(), QStringList{"Connected device is not a TAQ"});
    EXPECT_FALSE(Control<QAction>(*Win, "miDisconnect")->isEnabled());
    EXPECT_FALSE(Button("btnStart")->isEnabled());
    EXPECT_FALSE(Control<QAction>(*Win, "miGetSystemInfo")->isEnabled());
    Win.reset();
    Sim.reset();
    Errors.Clear();

    // The gripper console and the sensor, as before this window existed.
    ASSERT_NO_FATAL_FAILURE(StartSim(SensorConfig()));
    Gripper = std::make_unique<TMainWin>();
    Gripper->show();
    Connect(*Gripper);
    ASSERT_TRUE(Errors.WaitFor(1));
    EXPECT_EQ(Errors.Messages(), QStringList{"Connected device is not a ZEL Series Gripper"});
    EXPECT_FALSE(Control<QAction>(*Gripper, "miDisconnect")->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(*Gripper, "btnMove")->isEnabled());
}

// Also run on a real X server by scripts that set ZEL_SCREENSHOT (and ZEL_SCREENSHOT_DARK for the
// same window in a dark palette) to keep the picture.
TEST_F(TAQE2E, MapShowsThePressOfTheSimulatedObject) {
    zelsim::TSimConfig cfg = SensorConfig();
    cfg.Sensor.MatrixWidth = 16;
    cfg.Sensor.MatrixHeight = 22;
    cfg.Sensor.CellHeight = 340;
    ASSERT_NO_FATAL_FAILURE(Start(cfg));
    Win->resize(1000, 760);
    ASSERT_TRUE(Connect());
    Button("btnTare")->click();
    Control<QLineEdit>("edStartPayload")->setText(QStringLiteral("0x02 0x14 0x00"));
    Button("btnStart")->click();
    // Unloaded, the tared pad reads 0; pressed, a round contact rises far above the noise.
    TFrameStats stats;
    ASSERT_TRUE(WaitUntil(
        [&] {
            stats = FrameStats(Map()->Cells(), 16, 22);
            return stats.Maximum > 2500;
        },
        6000));
    ASSERT_TRUE(stats.Centre.has_value());
    const QPoint peak(stats.MaximumIndex % 16, stats.MaximumIndex / 16);
    EXPECT_LT(std::abs(stats.Centre->x() - (peak.x() + 0.5)), 2.0);
    EXPECT_LT(std::abs(stats.Centre->y() - (peak.y() + 0.5)), 2.0);
    EXPECT_EQ(Map()->Value(QPoint(peak.x() < 8 ? 15 : 0, peak.y() < 11 ? 21 : 0)), 0); // far corner
    EXPECT_GT(Win->MapPanel().TotalPlot().Count(), 1u);
    Map()->SetCursor(peak);
    EXPECT_TRUE(Label("lbCell")->text().startsWith(
        QStringLiteral("column %1, row %2: ").arg(peak.x() + 1).arg(peak.y() + 1)));

    const QString target = qEnvironmentVariable("ZEL_SCREENSHOT");
    if (!target.isEmpty()) {
        // A whole press in the plot of the total first, then the next press.
        ProcessEventsFor(4000);
        EXPECT_TRUE(WaitUntil([&] { return FrameStats(Map()->Cells(), 16, 22).Maximum > 2500; }, 6000));
        EXPECT_TRUE(Win->grab().save(target)) << target.toStdString();
    }
    const QString dark = qEnvironmentVariable("ZEL_SCREENSHOT_DARK");
    if (!dark.isEmpty()) {
        QPalette p;
        p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2f));
        p.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
        p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x22));
        p.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x38));
        p.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
        p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x40));
        p.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
        p.setColor(QPalette::Highlight, QColor(0x4a, 0x90, 0xd9));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x88));
        const QPalette before = QApplication::palette();
        QApplication::setPalette(p);
        ProcessEventsFor(100);
        EXPECT_TRUE(Win->grab().save(dark)) << dark.toStdString();
        QApplication::setPalette(before);
    }
    Button("btnStop")->click();
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
}
