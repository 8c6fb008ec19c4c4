// Nothing stands between the operator and a stop: boxes that do not block the window and do not
// cover the stops, the stop key from every window, lost and failed links that end in one box, and
// the failure boxes of the command panels.
#include "ConsoleFixture.h"

#include "ui/CommLogForm.h"
#include "engine/CommandComponent.h"
#include "linkdialogs/DeviceDialog.h"
#include "widgets/FloatEdit.h"
#include "ui/FloatEditDialog.h"
#include "LinkDialogSteps.h"
#include "platform/MessageBox.h"
#include "ModalDriver.h"
#include "TestWait.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {
// Real boxes instead of the fixture's recorder while in scope.
class TRealBoxes {
public:
    TRealBoxes() : FPrevious(SetMessageHook(MessageBoxHook())) {}
    ~TRealBoxes() {
        if (QMessageBox* box = OpenMessageBox())
            box->close();
        SetMessageHook(std::move(FPrevious));
    }
    TRealBoxes(const TRealBoxes&) = delete;
    TRealBoxes& operator=(const TRealBoxes&) = delete;

private:
    TMessageHook FPrevious;
};

// Errors that nothing else handles reach the window's own handler, which shows them, as in the
// program (the fixture's recorder would take them instead). Declared before the window is built.
class TWindowHandlesErrors {
public:
    TWindowHandlesErrors() : FPrevious(SetApplicationErrorHandler(nullptr)) {}
    ~TWindowHandlesErrors() { SetApplicationErrorHandler(std::move(FPrevious)); }
    TWindowHandlesErrors(const TWindowHandlesErrors&) = delete;
    TWindowHandlesErrors& operator=(const TWindowHandlesErrors&) = delete;

private:
    TErrorHandler FPrevious;
};

QRect OnScreen(const QWidget* W) {
    return QRect(W->mapToGlobal(QPoint(0, 0)), W->size());
}

// A click as the window system delivers it, which a modal box would hold back.
void SystemClick(QWidget* Button) {
    QWidget* window = Button->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      Button->mapTo(window, Button->rect().center()));
}

quint16 ClosedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort(); // closed again when it goes
}

const QString ConnectionErrorFirstLine =
    QStringLiteral("A Connection Error occurred or the connection to the device was interrupted.");
} // namespace

TEST_F(ConsoleE2E, WithABoxOpenFastStopAndStopStillReachTheDevice) {
    TWindowHandlesErrors asInTheProgram;
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    TRealBoxes boxes;
    zelsim::TFaultConfig refuse;
    refuse.FailCommand = TZEL::MOVE;
    refuse.FailStatus = E_NOT_INITIALIZED;
    SetFaults(refuse);
    Edit("edGotoPos")->setText("10");
    Edit("edGotoSpeed")->setText("20");
    Button("btnMove")->click(); // refused as by fingers that are not referenced
    ASSERT_TRUE(WaitUntil([] { return OpenMessageBox() != nullptr; }));
    QMessageBox* box = OpenMessageBox();
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(box->frameGeometry().intersects(OnScreen(Button("btnEmergencyStop"))));
    EXPECT_FALSE(box->frameGeometry().intersects(OnScreen(Button("btnStop"))));

    Find<QScrollArea>("sbCommands")->ensureWidgetVisible(Button("btnStop"));
    struct TRow {
        QPushButton* Button;
        std::string Logged;
    };
    for (const TRow& row : {TRow{Button("btnStop"), "STOP(22h)"}, TRow{Button("btnEmergencyStop"), "FAST_STOP(23h)"}}) {
        SCOPED_TRACE(row.Logged);
        const int before = SimLogLines(row.Logged);
        SystemClick(row.Button);
        EXPECT_TRUE(WaitUntil([&] { return SimLogLines(row.Logged) == before + 1; }));
    }
    // The window shows what the device answered, and the box is still there to be read.
    EXPECT_TRUE(Button("btnEmergencyStop")->isChecked());
    EXPECT_TRUE(WaitUntil([&] { return Flag(*Win, "Fast stop")->isChecked(); }));
    EXPECT_EQ(OpenMessageBox(), box);

    // And with the box open while another exchange waits for its late answer.
    zelsim::TFaultConfig slow;
    slow.DelayMs = 800;
    SetFaults(slow);
    const std::string fastStop = "FAST_STOP(23h)";
    const int before = SimLogLines(fastStop);
    int seenWhileWaiting = -1;
    QTimer::singleShot(200, Win.get(), [&] {
        QTimer::singleShot(150, Win.get(), [&] { seenWhileWaiting = SimLogLines(fastStop) - before; });
        SystemClick(Button("btnEmergencyStop"));
    });
    Edit("edGotoPos")->setText("12");
    Button("btnMove")->click();
    EXPECT_EQ(seenWhileWaiting, 1);
    Win.reset();
}

TEST_F(ConsoleE2E, TheFastStopKeyWorksFromEveryWindowDialogAndBox) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    TRealBoxes boxes;
    const std::string logged = "FAST_STOP(23h)";
    struct TRow {
        const char* Where;
        std::function<void()> Press;
    };
    const auto press = [](QWidget* W) { QTest::keyClick(W->windowHandle(), Qt::Key_F12); };
    const TRow rows[] = {
        {"main window", [&] { press(Win.get()); }},
        {"command log",
         [&] {
             Item("miCommandLog")->trigger();
             press(Win->CommLogWindow());
         }},
        {"open message box",
         [&] {
             ShowMessage(TMessageKind::Information, QStringLiteral("Current device temperature is 31.2°C"),
                         QString(), Win.get());
             ASSERT_NE(OpenMessageBox(), nullptr);
             press(OpenMessageBox());
         }},
        {"open value dialog",
         [&] {
             TModalDriver driver;
             driver.ThenAs<TFloatEditDlg>([&](TFloatEditDlg* D) {
                 press(D);
                 D->reject();
             });
             Win->Commands().btnAccClick();
             EXPECT_TRUE(driver.Done());
         }},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Where);
        const int before = SimLogLines(logged);
        row.Press();
        EXPECT_TRUE(WaitUntil([&] { return SimLogLines(logged) == before + 1; }));
    }
    EXPECT_TRUE(WaitUntil([&] { return Flag(*Win, "Fast stop")->isChecked(); }));
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
}

TEST_F(ConsoleE2E, AVanishedPseudoTerminalEndsTheConnectionLikeAClosedTcpLink) {
    struct TRow {
        const char* What;
        bool Serial;
        QString Link;
        QString Reason;
    };
    const TRow rows[] = {
        {"TCP", false, QStringLiteral("Ethernet/TCP"), QStringLiteral("(The device closed the connection)")},
        {"serial", true, QStringLiteral("Serial "), QStringLiteral("(Serial port failure: ")},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        Win.reset(); // one window at a time: each installs the error handler
        zelsim::TSimConfig cfg = Referenced();
        cfg.Pty = row.Serial;
        ASSERT_NO_FATAL_FAILURE(Start(cfg));
        if (row.Serial) {
            const QString pty = QString::fromStdString(Sim->PtyPath());
            TModalDriver driver;
            driver.ThenAs<TDeviceDlg>([pty](TDeviceDlg* D) {
                Control<QComboBox>(*D, "cbDevice")->setCurrentIndex(0);
                // Pseudo-terminals are not enumerated; the operator types the path.
                auto* port = Control<QComboBox>(*D, "cbDevicePort");
                port->addItem(pty);
                port->setCurrentText(pty);
                Control<QPushButton>(*D, "btnConnect")->click();
            });
            driver.Then(TModalDriver::Accept()); // the speed
            Item("miConnect")->trigger();
            ASSERT_TRUE(WaitUntil([&] { return Label("lbPosition")->text() != "[n/a]"; }));
        } else {
            ASSERT_TRUE(Connect());
        }
        EXPECT_TRUE(Label("lbConnection")->text().startsWith(row.Link))
            << Label("lbConnection")->text().toStdString();
        EXPECT_NE(Win->Zel()->SystemState, 0u);
        Messages.Clear();

        Sim.reset(); // its socket closes, its pseudo-terminal vanishes
        ASSERT_TRUE(WaitUntil([&] { return Messages.Count() >= 1; }));
        ProcessEventsFor(300);
        ASSERT_EQ(Messages.Count(), 1) << Messages.Texts().join('|').toStdString();
        EXPECT_EQ(Messages.Messages().front().Kind, TMessageKind::Error);
        const QStringList lines = Messages.Messages().front().Text.split('\n');
        ASSERT_EQ(lines.size(), 4);
        EXPECT_EQ(lines[0], ConnectionErrorFirstLine);
        EXPECT_TRUE(lines[3].startsWith(row.Reason)) << lines[3].toStdString();
        EXPECT_EQ(Label("lbConnection")->text(), "Disconnected");
        EXPECT_TRUE(Item("miConnect")->isEnabled());
        EXPECT_FALSE(Item("miDisconnect")->isEnabled());
        EXPECT_EQ(Label("lbPosition")->text(), "[n/a]");
        EXPECT_EQ(Label("lbSystemstate")->text(), "[n/a]");
        EXPECT_EQ(Win->Zel()->SystemState, 0u);
        EXPECT_EQ(Win->Zel()->GraspingState, 0);
        EXPECT_EQ(Win->Zel()->Command()->ActiveDevice(), nullptr) << "the dead transport is let go";
        EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();

        // A new connect works.
        zelsim::TSimConfig again = Referenced();
        again.TcpPort = 0;
        Sim = std::make_unique<zelsim::TSimThread>(again);
        ASSERT_TRUE(Sim->Start());
        EXPECT_TRUE(Connect());
        Win->miDisconnectClick();
    }
}

TEST_F(ConsoleE2E, AnOpenThatFailsFromTheWindowGivesOneBoxWithTheReason) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const quint16 closed = ClosedPort();
    struct TRow {
        const char* What;
        std::function<void(TModalDriver&)> Steps;
        QString FirstLine; // the box's first line begins so
        QString Reason;    // and its text holds this
    };
    const TRow rows[] = {
        {"missing serial port",
         [](TModalDriver& D) {
             D.ThenAs<TDeviceDlg>([](TDeviceDlg* Dlg) {
                  Control<QComboBox>(*Dlg, "cbDevice")->setCurrentIndex(0);
                  auto* port = Control<QComboBox>(*Dlg, "cbDevicePort");
                  port->addItem(QStringLiteral("/dev/zel-no-such-port"));
                  port->setCurrentText(QStringLiteral("/dev/zel-no-such-port"));
                  Control<QPushButton>(*Dlg, "btnConnect")->click();
              }).Then(TModalDriver::Accept());
         },
         QStringLiteral("Cannot connect to target: General I/O-Error"),
         QStringLiteral("(/dev/zel-no-such-port: ")},
        {"closed TCP port",
         [closed](TModalDriver& D) {
             D.Then(ChooseInterface(1)).Then(EnterHost(QStringLiteral("127.0.0.1"), closed));
         },
         ConnectionErrorFirstLine, QStringLiteral("127.0.0.1:%1").arg(closed)},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        Messages.Clear();
        {
            TModalDriver driver;
            row.Steps(driver);
            Item("miConnect")->trigger();
            EXPECT_TRUE(driver.Done());
        }
        ASSERT_TRUE(WaitUntil([&] { return Messages.Count() >= 1; }));
        ProcessEventsFor(300);
        ASSERT_EQ(Messages.Count(), 1) << Messages.Texts().join('|').toStdString();
        const QString text = Messages.Texts().front();
        EXPECT_TRUE(text.startsWith(row.FirstLine)) << text.toStdString();
        EXPECT_TRUE(text.contains(row.Reason)) << text.toStdString();
        EXPECT_TRUE(Item("miConnect")->isEnabled());
        EXPECT_FALSE(Win->Zel()->IsConnected());
        EXPECT_EQ(Label("lbConnection")->text(), "Disconnected");
    }
}

TEST_F(ConsoleE2E, PanelFailuresSayWhichStepFailedAndWhy) {
    TWindowHandlesErrors asInTheProgram;
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    struct TRow {
        const char* Prefix;
        uint8_t Command;
        QPushButton* Button;
        std::function<void()> Handler;
    };
    const TRow rows[] = {
        {"Error while homing: ", TZEL::HOMING, Button("btnHoming"), [&] { Win->Commands().btnHomingClick(); }},
        {"Error while stopping: ", TZEL::STOP, Button("btnStop"), [&] { Win->Commands().btnStopClick(); }},
        {"Error while setting acceleration: ", TZEL::SET_ACCELERATION, Button("btnAcc"),
         [&] { Win->Commands().btnAccClick(); }},
        {"Error while setting force limit: ", TZEL::SET_FORCE_LIMIT, Button("btnForce"),
         [&] { Win->Commands().btnForceClick(); }},
    };
    const QString acceleration = Label("lbAcc")->text();
    const QString force = Label("lbForce")->text();
    // The device answers with a failure status: the exchange's own error, in one box.
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Prefix);
        zelsim::TFaultConfig fail;
        fail.FailCommand = row.Command;
        fail.FailStatus = E_ACCESS_DENIED;
        SetFaults(fail);
        Messages.Clear();
        TModalDriver driver;
        if (row.Button == Button("btnAcc") || row.Button == Button("btnForce"))
            driver.Then(TModalDriver::Accept()); // the value as it is
        row.Button->click();
        const QString expected = QStringLiteral("Command %1 failed: Access denied")
                                     .arg(QString::fromStdString(Win->Zel()->CommandName(row.Command)));
        EXPECT_EQ(Messages.Texts(), QStringList{expected});
        EXPECT_EQ(Messages.Messages().empty() ? TMessageKind::Information : Messages.Messages().front().Kind,
                  TMessageKind::Error);
    }
    SetFaults({});
    // The exchange does not take place: no link any more.
    Win->miDisconnectClick();
    ASSERT_TRUE(WaitUntil([&] { return !Win->Zel()->IsConnected(); }));
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Prefix);
        Messages.Clear();
        TModalDriver driver;
        if (row.Button == Button("btnAcc") || row.Button == Button("btnForce"))
            driver.Then(TModalDriver::Accept());
        row.Handler();
        ASSERT_EQ(Messages.Count(), 1) << Messages.Texts().join('|').toStdString();
        const QString text = Messages.Texts().front();
        EXPECT_TRUE(text.startsWith(QString::fromLatin1(row.Prefix))) << text.toStdString();
        EXPECT_GT(text.size(), qsizetype(std::strlen(row.Prefix))) << "the reason is given";
    }
    // A refused or failed setting is not shown as the device's.
    EXPECT_EQ(Label("lbAcc")->text(), acceleration);
    EXPECT_EQ(Label("lbForce")->text(), force);
    Win.reset();
}
