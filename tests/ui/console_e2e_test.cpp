// The gripper console against zel-sim: connect, defaults from the limits, motion with its
// results, fast stop and acknowledgement, a refused grasp, a lost link, and the device
// information flows, as an operator sees them.
#include "ConsoleFixture.h"

#include "ui/CommLogForm.h"
#include "engine/CommandComponent.h"
#include "ui/CustomCmdForm.h"
#include "engine/LinkAddress.h"
#include "ui/DeviceTagDialog.h"
#include "widgets/FloatEdit.h"
#include "ui/FloatEditDialog.h"
#include "ui/GripperPanels.h"
#include "widgets/LineMemo.h"
#include "ui/ListBoxDialog.h"
#include "ui/LivePlotForm.h"
#include "ui/PlotBuffer.h"
#include "ui/MIVListBox.h"
#include "ModalDriver.h"
#include "TestWait.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
bool MemoHas(TMainWin& W, const QString& Line) {
    return W.Results().Lines().contains(Line);
}
} // namespace

TEST_F(ConsoleE2E, ConnectSetsDefaultsAndDrivesTheGripper) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // Disconnected: device controls off, every state text "[n/a]".
    EXPECT_EQ(Win->windowTitle(), "ZEL Duruzadud 1.5.1");
    EXPECT_FALSE(Button("btnMove")->isEnabled());
    EXPECT_FALSE(Button("btnEmergencyStop")->isEnabled());
    EXPECT_FALSE(Item("miDeviceTag")->isEnabled());
    EXPECT_FALSE(Item("miSystemLimits")->isEnabled());
    EXPECT_EQ(Label("lbPosition")->text(), "[n/a]");

    ASSERT_TRUE(Connect());
    EXPECT_FALSE(Item("miConnect")->isEnabled());
    EXPECT_TRUE(Item("miCustomCommands")->isEnabled());
    EXPECT_TRUE(Item("miGraspingStatistics")->isEnabled());
    EXPECT_EQ(Find<QComboBox>("cbHomingDir")->currentText(), "default");
    // Stroke 110, speeds 5 to 420.
    const std::vector<std::pair<TFloatEdit*, QString>> defaults{
        {Edit("edGraspingPos"), "37"},   {Edit("edReleasePos"), "73"},    {Edit("edGotoPos"), "55"},
        {Edit("edGraspingSpeed"), "50"}, {Edit("edReleaseSpeed"), "283"}, {Edit("edGotoSpeed"), "50"}};
    for (const auto& [edit, text] : defaults)
        EXPECT_EQ(edit->text(), text) << edit->objectName().toStdString();
    EXPECT_EQ(Edit("edGotoPos")->toolTip(), "Input range: 0.00 to 110.00 mm");
    EXPECT_EQ(Edit("edReleaseSpeed")->statusTip(), "Input range: 5.00 to 420.00 mm/s");
    EXPECT_EQ(Find<QSlider>("tbGotoPos")->value(), 100);
    EXPECT_EQ(Label("lbAcc")->text(), "1000 mm/s²");
    EXPECT_EQ(Label("lbForce")->text(), "80.0 N");
    EXPECT_TRUE(WaitUntil([&] { return Label("lbPosition")->text() == "55.00 mm"; }));
    EXPECT_TRUE(Flag(*Win, "Referenced")->isChecked());
    EXPECT_EQ(Label("lbSystemstate")->text(), "00000001h");
    EXPECT_EQ(Label("lbConnection")->text(), QStringLiteral("Ethernet/TCP 127.0.0.1:%1").arg(Sim->TcpPort()));

    // A screen reader hears each live value (the label's text) with what it means.
    struct Spoken {
        QLabel* Label;
        const char* Meaning;
    };
    for (const Spoken& s : {Spoken{Label("lbPosition"), "Finger position"}, Spoken{Label("lbGraspingForce"), "Grasping force"},
                            Spoken{Label("lbGraspingState"), "Grasping state"},
                            Spoken{Label("lbSystemstate"), "System state flags, hexadecimal"},
                            Spoken{Label("lbAcc"), "Finger acceleration"}, Spoken{Label("lbForce"), "Grasping force limit"}}) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(s.Label);
        ASSERT_TRUE(a) << s.Meaning;
        EXPECT_EQ(a->text(QAccessible::Name), s.Label->text()) << s.Meaning;
        EXPECT_EQ(a->text(QAccessible::Description), s.Meaning);
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Label("lbPosition"))->text(QAccessible::Name), "55.00 mm");

    // While connected, an invalid entry in any of the six value edits disables its own button
    // and leaves the others alone; a valid one enables it again.
    const std::vector<std::pair<TFloatEdit*, QPushButton*>> coupled{
        {Edit("edGraspingPos"), Button("btnGrasp")},  {Edit("edGraspingSpeed"), Button("btnGrasp")},
        {Edit("edReleasePos"), Button("btnRelease")}, {Edit("edReleaseSpeed"), Button("btnRelease")},
        {Edit("edGotoPos"), Button("btnMove")},       {Edit("edGotoSpeed"), Button("btnMove")}};
    for (const auto& [edit, button] : coupled) {
        const QString valid = edit->text();
        for (const QString& bad : {QStringLiteral("999"), QStringLiteral("-1"), QStringLiteral("abc")}) {
            edit->setText(bad);
            EXPECT_FALSE(button->isEnabled()) << edit->objectName().toStdString() << " " << bad.toStdString();
            for (QPushButton* other : {Button("btnGrasp"), Button("btnRelease"), Button("btnMove")}) {
                if (other != button) {
                    EXPECT_TRUE(other->isEnabled()) << other->objectName().toStdString();
                }
            }
        }
        edit->setText(valid);
        EXPECT_TRUE(button->isEnabled()) << edit->objectName().toStdString();
    }

    // The track bar drives its edit to one decimal; the edit drives the track bar back.
    Find<QSlider>("tbGotoSpeed")->setValue(1);
    EXPECT_EQ(Edit("edGotoSpeed")->text(), "7.1");
    Find<QSlider>("tbGotoPos")->setValue(100);
    EXPECT_EQ(Edit("edGotoPos")->text(), "55");
    Edit("edGotoPos")->setText("999");
    EXPECT_FALSE(Button("btnMove")->isEnabled()) << "an entry out of range cannot be sent";
    Edit("edGotoPos")->setText("30");
    EXPECT_EQ(Find<QSlider>("tbGotoPos")->value(), 55);
    Edit("edGotoSpeed")->setText("200");
    ASSERT_TRUE(Button("btnMove")->isEnabled());

    Button("btnMove")->click();
    EXPECT_TRUE(WaitUntil([&] { return MemoHas(*Win, "Command MOVE finished: No error."); }, 3000));
    EXPECT_TRUE(WaitUntil([&] { return Label("lbPosition")->text() == "30.00 mm"; }));

    Edit("edGraspingPos")->setText("20"); // the simulated part is 20 mm wide
    Button("btnGrasp")->click();
    EXPECT_TRUE(WaitUntil([&] { return MemoHas(*Win, "Command GRASP finished: No error."); }, 3000));
    EXPECT_TRUE(WaitUntil([&] { return Label("lbGraspingState")->text() == "Holding"; }));
    EXPECT_TRUE(WaitUntil([&] { return Label("lbGraspingForce")->text() == "80.0 N"; }));

    // Fast stop presses the button, and the device's flag enables OK; acknowledging releases both.
    Button("btnEmergencyStop")->click();
    EXPECT_TRUE(Button("btnEmergencyStop")->isChecked());
    EXPECT_TRUE(WaitUntil([&] { return Button("btnFastStopAcknowledge")->isEnabled(); }));
    EXPECT_TRUE(Flag(*Win, "Fast stop")->isChecked());
    // A set fault stands out from the flags that report normal states.
    EXPECT_TRUE(Flag(*Win, "Fast stop")->font().bold());
    EXPECT_NE(Flag(*Win, "Fast stop")->palette().color(QPalette::WindowText),
              Flag(*Win, "Referenced")->palette().color(QPalette::WindowText));
    EXPECT_FALSE(Flag(*Win, "Referenced")->font().bold());
    EXPECT_NE(Label("lbSystemstate")->text().left(8).toUInt(nullptr, 16) & 0x1000u, 0u)
        << Label("lbSystemstate")->text().toStdString();
    Button("btnFastStopAcknowledge")->click();
    EXPECT_FALSE(Button("btnEmergencyStop")->isChecked());
    EXPECT_TRUE(WaitUntil([&] { return !Button("btnFastStopAcknowledge")->isEnabled(); }));
    EXPECT_FALSE(Flag(*Win, "Fast stop")->isChecked());

    Button("btnRelease")->click();
    EXPECT_TRUE(WaitUntil([&] { return MemoHas(*Win, "Command RELEASE finished: No error."); }, 3000));
    Find<QComboBox>("cbHomingDir")->setCurrentIndex(1); // inwards
    Button("btnHoming")->click();
    EXPECT_TRUE(WaitUntil([&] { return SimLogLines("HOMING(20h) [1] 02") == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return MemoHas(*Win, "Command HOMING finished: No error."); }, 3000));

    EXPECT_EQ(Messages.Count(), 0) << Messages.Texts().join('|').toStdString();
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();

    Item("miDisconnect")->trigger();
    EXPECT_TRUE(WaitUntil([&] { return Item("miConnect")->isEnabled(); }));
    EXPECT_FALSE(Button("btnGrasp")->isEnabled());
    EXPECT_EQ(Label("lbGraspingState")->text(), "[n/a]");
    EXPECT_FALSE(Flag(*Win, "Referenced")->isChecked());
    EXPECT_EQ(Label("lbConnection")->text(), "Disconnected");
    // "[n/a]" is no healthy value: it is not drawn in the healthy colour.
    EXPECT_NE(Label("lbGraspingState")->palette().color(QPalette::WindowText), QColor(0x4c, 0xff, 0x6a));
}

// Every panel of the command column is built from its row and its button reaches the device.
TEST_F(ConsoleE2E, EveryCommandPanelReachesItsHandler) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    // A motion command is refused while the previous one runs: each waits for the results before it.
    const auto after = [this](int Results) {
        return [this, Results] {
            ASSERT_TRUE(WaitUntil([&] { return Win->Results().Lines().size() >= Results; }, 5000));
        };
    };
    const auto fastStop = [this] {
        Button("btnEmergencyStop")->click();
        ASSERT_TRUE(WaitUntil([&] { return Button("btnFastStopAcknowledge")->isEnabled(); }));
    };
    struct Row {
        const char* Panel;
        QPushButton* Button;
        const char* Sent;                // what the simulator logs for the button's command
        bool Dialog = false;             // the value dialog comes first: confirmed as it opens
        std::function<void()> Before{};  // what makes the button available
    };
    const std::vector<Row> rows{
        {"pnAcc", Button("btnAcc"), "SET_ACCELERATION(30h)", true},
        {"pnForce", Button("btnForce"), "SET_FORCE_LIMIT(32h)", true},
        {"pnGoto", Button("btnMove"), "MOVE(21h)"},
        {"pnGrasp", Button("btnGrasp"), "GRASP(25h)", false, after(1)},
        {"pnRelease", Button("btnRelease"), "RELEASE(26h)", false, after(2)},
        {"pnHoming", Button("btnHoming"), "HOMING(20h)", false, after(3)},
        {"pnStop", Button("btnStop"), "STOP(22h)"},
        {"pnFastStopAcknowledge", Button("btnFastStopAcknowledge"), "FAST_STOP_ACK(24h)", false, fastStop},
    };
    ASSERT_EQ(Win->Commands().Panels().size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        TCommandPanel* panel = Win->Commands().Panels()[i];
        EXPECT_EQ(panel->objectName(), r.Panel);
        EXPECT_EQ(panel->Button(), r.Button) << r.Panel;
        EXPECT_TRUE(panel->isAncestorOf(r.Button)) << r.Panel;
        if (r.Before)
            r.Before();
        ASSERT_TRUE(r.Button->isEnabled()) << r.Panel;
        TModalDriver driver;
        if (r.Dialog)
            driver.ThenAs<TFloatEditDlg>(
                [](TFloatEditDlg* D) { Control<QPushButton>(*D, "btnOk")->click(); });
        r.Button->click();
        EXPECT_TRUE(driver.Done()) << r.Panel;
        EXPECT_TRUE(WaitUntil([&] { return SimLogLines(r.Sent) >= 1; })) << r.Panel << " " << r.Sent;
    }
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
}

TEST_F(ConsoleE2E, RefusedGraspAndLostLinkAreReported) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());

    // Grasp while the stop exchange still waits for its (delayed) answer.
    zelsim::TFaultConfig slow;
    slow.DelayMs = 400;
    SetFaults(slow);
    QTimer::singleShot(100, Win.get(), [this] { Button("btnGrasp")->click(); });
    Button("btnStop")->click();
    EXPECT_EQ(Messages.Texts(), QStringList{"Error while starting to grasp: Command failed"});
    Messages.Clear();

    // The simulator drops the link after its next packet.
    zelsim::TFaultConfig pull;
    pull.CloseAfter = 1;
    SetFaults(pull);
    ProcessEventsFor(500);
    Button("btnStop")->click();
    ASSERT_TRUE(WaitUntil([&] { return Messages.Count() >= 1; }));
    const QStringList lines = Messages.Messages().front().Text.split('\n');
    ASSERT_EQ(lines.size(), 4) << Messages.Texts().join('|').toStdString();
    EXPECT_EQ(lines[0], "A Connection Error occurred or the connection to the device was interrupted.");
    EXPECT_EQ(lines[1],
              "This is likely to happen if no cable is connected or some settings are not correct.");
    EXPECT_EQ(lines[2], "Please check cable and communication settings and try to connect again.");
    EXPECT_TRUE(lines[3].startsWith('(') && lines[3].endsWith(')')) << lines[3].toStdString();
    EXPECT_FALSE(Messages.Messages().front().Text.contains('\r'));

    EXPECT_TRUE(Item("miConnect")->isEnabled());
    EXPECT_FALSE(Item("miDisconnect")->isEnabled());
    EXPECT_FALSE(Item("miDeviceTag")->isEnabled());
    EXPECT_FALSE(Item("miCustomCommands")->isEnabled());
    EXPECT_FALSE(Button("btnMove")->isEnabled());
    EXPECT_FALSE(Button("btnEmergencyStop")->isEnabled());
    EXPECT_EQ(Label("lbPosition")->text(), "[n/a]");
    EXPECT_FALSE(Win->Zel()->IsConnected());

    // A device that stops answering fails the connect; the operator is told which step failed.
    Messages.Clear();
    zelsim::TFaultConfig mute;
    mute.DropShare = 1;
    SetFaults(mute);
    EXPECT_FALSE(Connect());
    EXPECT_EQ(Messages.Texts(),
              QStringList{"Connecting failed: no answer to the system information request"});
    EXPECT_TRUE(Item("miConnect")->isEnabled());
    EXPECT_FALSE(Win->Zel()->IsConnected());

    // The operator reconnects once the link is back.
    SetFaults({});
    Messages.Clear();
    EXPECT_TRUE(Connect());
    EXPECT_EQ(Messages.Count(), 0);
}

TEST_F(ConsoleE2E, DeviceInformationDialogs) {
    zelsim::TSimConfig cfg = Referenced();
    cfg.SysInfo.SerialNumber = 1234;
    cfg.SysInfo.Firmware = 0x2143;
    cfg.Temperature = 312;
    cfg.Tag = "line 4";
    ASSERT_NO_FATAL_FAILURE(Start(cfg));

    { // Cancelling the interface selection says nothing and leaves Connect on.
        TModalDriver driver;
        driver.Then(TModalDriver::Reject());
        Item("miConnect")->trigger();
        EXPECT_TRUE(driver.Done());
        EXPECT_TRUE(Item("miConnect")->isEnabled());
        EXPECT_EQ(Messages.Count(), 0);
    }
    ASSERT_TRUE(Connect());

    using Rows = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(Win->SystemInfoRows(), (Rows{{"Device type", "ZEL 11"},
                                           {"Serial number", "00001234"},
                                           {"Hardware rev.", "1"},
                                           {"Firmware version", "2.1.4-RC3"}}));
    Win->Zel()->FirmwareRC = 0;
    EXPECT_EQ(Win->SystemInfoRows().back(), (std::pair<QString, QString>{"Firmware rev.", "2.1.4"}));
    { // Refresh reads the information again.
        TModalDriver driver;
        driver.ThenAs<TListBoxDlg>([](TListBoxDlg* D) {
            auto* list = Control<TMIVListBox>(*D, "ListBox");
            auto* refresh = Control<QPushButton>(*D, "btnRefresh");
            EXPECT_EQ(list->Item(3), "Firmware rev.;2.1.4");
            EXPECT_TRUE(refresh->isVisibleTo(D));
            refresh->click();
            EXPECT_EQ(list->Items(), (QStringList{"Device type;ZEL 11", "Serial number;00001234",
                                                  "Hardware rev.;1", "Firmware version;2.1.4-RC3"}));
            Control<QPushButton>(*D, "btnClose")->click();
        });
        Item("miGetSystemInfo")->trigger();
        EXPECT_EQ(driver.Titles(), QStringList{"System Information"});
        EXPECT_EQ(Win->Zel()->FirmwareRC, 3);
    }

    Item("miGetTemperature")->trigger();
    EXPECT_EQ(Messages.Texts(), QStringList{"Current device temperature is 31.2°C"});
    Messages.Clear();

    { // The tag is read into the dialog and written back with Apply.
        TModalDriver driver;
        driver.ThenAs<TDeviceTagDlg>([](TDeviceTagDlg* D) {
            auto* ed = Control<QLineEdit>(*D, "ed");
            EXPECT_EQ(ed->text(), "line 4");
            EXPECT_FALSE(Control<QPushButton>(*D, "btnApply")->isEnabled());
            ed->selectAll();
            ed->insert("line 5");
            Control<QPushButton>(*D, "btnApply")->click();
        });
        driver.ThenAs<TDeviceTagDlg>([](TDeviceTagDlg* D) {
            auto* ed = Control<QLineEdit>(*D, "ed");
            EXPECT_EQ(ed->text(), "line 5");
            Control<QPushButton>(*D, "btnClose")->click();
        });
        Item("miDeviceTag")->trigger();
        Item("miDeviceTag")->trigger();
        EXPECT_TRUE(driver.Done());
        EXPECT_EQ(SimLogLines("SET_DEVICE_TAG"), 1);
    }

    { // A short temperature answer and an unread tag are failures, said as such.
        zelsim::TFaultConfig cut;
        cut.WrongLengthShare = 1;
        SetFaults(cut);
        Item("miGetTemperature")->trigger();
        EXPECT_EQ(Messages.Texts(), QStringList{"Error while reading temperature"});
        Messages.Clear();
        zelsim::TFaultConfig lost;
        lost.DropShare = 1;
        SetFaults(lost);
        TModalDriver driver;
        driver.ThenAs<TDeviceTagDlg>([](TDeviceTagDlg* D) {
            auto* ed = Control<QLineEdit>(*D, "ed");
            auto* message = Control<QLabel>(*D, "lbMessage");
            EXPECT_EQ(ed->text(), "");
            EXPECT_TRUE(message->isVisibleTo(D));
            EXPECT_EQ(message->text(), "The device tag could not be read (Timeout while waiting for "
                                       "response of command GET_DEVICE_TAG).");
            EXPECT_FALSE(Control<QPushButton>(*D, "btnApply")->isEnabled());
            // The euro sign is in code page 1252; the CJK character is not, and is refused.
            ed->insert(QStringLiteral("ab\u20AC\u4E2D"));
            EXPECT_FALSE(Control<QPushButton>(*D, "btnApply")->isEnabled());
            EXPECT_EQ(message->text(), QStringLiteral("The device cannot store these characters: \u4E2D"));
            if (const QString shot = qEnvironmentVariable("ZEL_TAG_SCREENSHOT"); !shot.isEmpty()) {
                EXPECT_TRUE(D->grab().save(shot));
            }
            ed->backspace();
            EXPECT_TRUE(Control<QPushButton>(*D, "btnApply")->isEnabled());
            EXPECT_TRUE(message->text().startsWith("The device tag could not be read"));
            Control<QPushButton>(*D, "btnClose")->click();
        });
        Item("miDeviceTag")->trigger();
        EXPECT_TRUE(driver.Done());
        SetFaults({});
        EXPECT_EQ(Messages.Count(), 0);
    }

    EXPECT_EQ(Win->SystemLimitsRows(), (Rows{{"Stroke", "110 mm"},
                                             {"Minimum speed", "5 mm/s"},
                                             {"Maximum speed", "420 mm/s"},
                                             {"Minimum acceleration", "100 mm/s²"},
                                             {"Maximum acceleration", "5000 mm/s²"},
                                             {"Minimum force", "5 N"},
                                             {"Nominal force", "80 N"},
                                             {"Overdrive force", "120 N"}}));
    {
        TModalDriver driver;
        driver.ThenAs<TListBoxDlg>([](TListBoxDlg* D) {
            auto* list = Control<TMIVListBox>(*D, "ListBox");
            EXPECT_EQ(list->Count(), 8);
            EXPECT_EQ(list->Item(0), "Stroke;110 mm");
            Control<QPushButton>(*D, "btnClose")->click();
        });
        driver.ThenAs<TListBoxDlg>([](TListBoxDlg* D) {
            EXPECT_EQ(
                Control<TMIVListBox>(*D, "ListBox")->Items(),
                (QStringList{"Number of grasps;0", "Number of not found parts;0", "Number of parts lost;0"}));
            Control<QPushButton>(*D, "btnClose")->click();
        });
        Item("miSystemLimits")->trigger();
        Item("miGraspingStatistics")->trigger();
        EXPECT_EQ(driver.Titles(), (QStringList{"Gripper System Limits", "Grasping Statistics"}));
        EXPECT_EQ(SimLogLines("GET_GRASPING_STATS(42h) [1] 00"), 1);
    }

    { // The value dialog starts at the current value within the limits; Cancel changes nothing.
        TModalDriver driver;
        driver.ThenAs<TFloatEditDlg>([](TFloatEditDlg* D) {
            auto* ed = Control<TFloatEdit>(*D, "ed");
            EXPECT_EQ(D->windowTitle(), "Change Acceleration");
            EXPECT_EQ(Control<QLabel>(*D, "lbUnit")->text(), "mm/s²");
            EXPECT_EQ(ed->MinValue(), 100);
            EXPECT_EQ(ed->MaxValue(), 5000);
            ed->SetValue(2500);
            Control<QPushButton>(*D, "btnOk")->click();
        });
        driver.ThenAs<TFloatEditDlg>([](TFloatEditDlg* D) {
            auto* ed = Control<TFloatEdit>(*D, "ed");
            EXPECT_EQ(D->windowTitle(), "Change Force Limit");
            EXPECT_EQ(ed->MaxValue(), 80);
            ed->SetValue(40);
            Control<QPushButton>(*D, "btnCancel")->click();
        });
        Button("btnAcc")->click();
        Button("btnForce")->click();
        EXPECT_TRUE(driver.Done());
    }
    EXPECT_EQ(Label("lbAcc")->text(), "2500 mm/s²");
    EXPECT_EQ(Label("lbForce")->text(), "80.0 N");
    EXPECT_EQ(SimLogLines("SET_FORCE_LIMIT"), 0);
    EXPECT_EQ(Messages.Count(), 0) << Messages.Texts().join('|').toStdString();
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
}

// The editor is built when the operator first opens it: it must then still get the device and
// the connection's consent, and follow later disconnects and reconnects.
TEST_F(ConsoleE2E, CommandEditorOpenedAfterConnectSendsAndFollowsTheLink) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    Item("miCustomCommands")->trigger();
    auto* editor = Win->findChild<TCustomCmd*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->windowTitle(), "Custom Command Editor");
    emit Find<QMenu>("miCommands")->aboutToShow();
    EXPECT_TRUE(Item("miCustomCommands")->isChecked());

    auto* known = editor->findChild<QMenu*>("pmKnownIDs");
    auto* send = editor->findChild<QPushButton*>("btnSend");
    auto* results = editor->findChild<TLineMemo*>("LogMemo");
    ASSERT_TRUE(known && send && results);
    QAction* homing = nullptr;
    for (QAction* a : known->actions())
        if (a->text() == "HOMING")
            homing = a;
    ASSERT_NE(homing, nullptr) << "known identifiers come from the connected device";
    homing->trigger();
    editor->findChild<QComboBox*>("edPayload")->setEditText("0"); // the default direction
    ASSERT_TRUE(send->isEnabled());
    send->click();
    ASSERT_TRUE(WaitUntil([&] { return !results->Lines().isEmpty(); }));
    EXPECT_EQ(results->Lines(), QStringList{"Async result from command 20h: No error."});

    Item("miDisconnect")->trigger();
    EXPECT_FALSE(send->isEnabled());
    ASSERT_TRUE(Connect());
    EXPECT_TRUE(send->isEnabled());
    Item("miCustomCommands")->trigger();
    EXPECT_EQ(Win->findChildren<TCustomCmd*>().size(), 1) << "opening again raises the same window";
    EXPECT_EQ(Messages.Count(), 0) << Messages.Texts().join('|').toStdString();
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
}

// Also run on a real X server by scripts/test.sh, which sets ZEL_SCREENSHOT to keep the picture.
TEST_F(ConsoleE2E, LiveStateWhileAMoveRuns) {
    ASSERT_NO_FATAL_FAILURE(Start());
    Win->resize(820, 797);
    ASSERT_TRUE(Connect());
    Edit("edGotoPos")->setText("100");
    Edit("edGotoSpeed")->setText("20");
    Button("btnMove")->click();
    QCheckBox* moving = Flag(*Win, "Moving");
    ASSERT_TRUE(WaitUntil([&] { return moving->isChecked(); }));
    // Somewhere on the way from 55 mm to 100 mm, as the device reports it.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const double mm = Label("lbPosition")->text().section(' ', 0, 0).toDouble();
            return mm > 65 && mm < 95;
        },
        3000));
    EXPECT_EQ(Label("lbGraspingState")->text(), "Positioning");
    const QString target = qEnvironmentVariable("ZEL_SCREENSHOT");
    if (!target.isEmpty()) {
        QDir().mkpath(QFileInfo(target).absolutePath());
        EXPECT_TRUE(Win->grab().save(target)) << target.toStdString();
    }
    EXPECT_TRUE(WaitUntil([&] { return MemoHas(*Win, "Command MOVE finished: No error."); }, 5000));
    // The last reports follow the final result within their period.
    EXPECT_TRUE(WaitUntil([&] { return !moving->isChecked(); }));
    EXPECT_TRUE(WaitUntil([&] { return Label("lbPosition")->text() == "100.00 mm"; }));

    // The live plot got the same reports, and the View menu shows it without ever hiding it.
    const TSampleRing& position = Win->LivePlotWindow()->Buffer().Position();
    ASSERT_GT(position.Size(), 3u);
    EXPECT_LT(position.ValueAt(0), 65.f);
    EXPECT_FLOAT_EQ(position.ValueAt(position.Size() - 1), 100.f);
    EXPECT_GT(Win->LivePlotWindow()->Buffer().GraspingStates().Size(), 0u);
    for (int i = 0; i < 2; ++i)
        Item("miLivePlot")->trigger();
    EXPECT_TRUE(Win->LivePlotWindow()->isVisible());
    EXPECT_TRUE(Item("miLivePlot")->isChecked());
}

TEST_F(ConsoleE2E, StopsGoOutWhileAMoveWaitsForItsAnswer) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    // Every answer comes 1.5 s late: the Move's first answer is outstanding when the stops are
    // pressed, and they must reach the device at once all the same.
    zelsim::TFaultConfig slow;
    slow.DelayMs = 1500;
    SetFaults(slow);
    struct TRow {
        QPushButton* Button;
        std::string Logged;
    };
    for (const TRow& row : {TRow{Button("btnEmergencyStop"), "FAST_STOP(23h)"}, TRow{Button("btnStop"), "STOP(22h)"}}) {
        SCOPED_TRACE(row.Logged);
        Edit("edGotoPos")->setText(Edit("edGotoPos")->text() == "10" ? "100" : "10");
        Edit("edGotoSpeed")->setText("5");
        const int before = SimLogLines(row.Logged);
        int seenWhileWaiting = -1;
        QTimer::singleShot(600, Win.get(), [&] {
            // Checked inside the stop's own wait, long before any answer could have come.
            QTimer::singleShot(100, Win.get(), [&] { seenWhileWaiting = SimLogLines(row.Logged) - before; });
            row.Button->click();
        });
        Button("btnMove")->click();
        EXPECT_EQ(seenWhileWaiting, 1);
        EXPECT_EQ(Messages.Count(), 0) << Messages.Texts().join('|').toStdString();
        EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
        if (row.Button == Button("btnEmergencyStop")) {
            EXPECT_TRUE(Button("btnEmergencyStop")->isChecked());
            EXPECT_TRUE(WaitUntil([&] { return Flag(*Win, "Fast stop")->isChecked(); }, 4000));
            EXPECT_TRUE(Button("btnFastStopAcknowledge")->isEnabled());
            Button("btnFastStopAcknowledge")->click();
            EXPECT_TRUE(WaitUntil([&] { return !Flag(*Win, "Fast stop")->isChecked(); }, 4000));
        }
    }
}

TEST_F(ConsoleE2E, ABoxOpenedDuringAnExchangeDoesNotFreezeTheLiveValues) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    zelsim::TFaultConfig slow;
    slow.DelayMs = 1000;
    SetFaults(slow);
    Edit("edGotoPos")->setText("10");
    Edit("edGotoSpeed")->setText("20");
    // The refused grasp's box stays open for 2.5 s, opened while the Move waits for its answer.
    QStringList positions;
    const TMessageHook recorder = SetMessageHook([&](const TMessage&) {
        positions << Label("lbPosition")->text();
        QEventLoop box;
        QTimer::singleShot(2500, &box, &QEventLoop::quit);
        box.exec();
        positions << Label("lbPosition")->text();
    });
    QTimer::singleShot(200, Win.get(), [&] { Button("btnGrasp")->click(); });
    Button("btnMove")->click();
    SetMessageHook(recorder);
    ASSERT_EQ(positions.size(), 2);
    EXPECT_NE(positions[0], positions[1]) << "the position stood still while the box was open";
    EXPECT_EQ(Win->Zel()->Command()->PacketCount(), 0);
}

// The main window's keys work in the main window only: in the command log and in a log opened
// from a file, Escape closes the find bar instead of stopping the fingers, F3 finds the next
// packet instead of disconnecting, and F5, Ctrl+Q and the motion buttons' letters do nothing.
TEST_F(ConsoleE2E, MainWindowKeysStayInTheMainWindow) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(Button("btnMove")->isEnabled());
    Item("miCommandLog")->trigger();
    TCommLog* log = Win->CommLogWindow();
    ASSERT_TRUE(log && log->isVisible());
    const QString csv = Settings.Path(QStringLiteral("keys.csv"));
    ASSERT_TRUE(log->SaveToFile(csv));
    TCommLog* opened = log->OpenFile(csv);
    ASSERT_TRUE(opened);
    opened->show();
    auto* memo = log->findChild<QPlainTextEdit*>(QStringLiteral("RxMsgMemo"));
    auto* find = log->findChild<QLineEdit*>(QStringLiteral("edSearch"));
    auto* findBar = log->findChild<QFrame*>(QStringLiteral("pnSearch"));
    auto* found = log->findChild<QLabel*>(QStringLiteral("lbSearch"));
    ASSERT_TRUE(memo && find && findBar && found);
    const auto sent = [this] { return SimLogLines("STOP(22h)") + SimLogLines("MOVE(21h)"); };
    const int before = sent();
    const auto press = [](QWidget* Target, int Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
        QApplication::setActiveWindow(Target->window());
        Target->setFocus();
        QTest::keyClick(Target, Qt::Key(Key), Modifiers);
        ProcessEventsFor(50);
    };

    press(memo, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(findBar->isVisible());
    find->setText(QStringLiteral("id="));
    press(find, Qt::Key_F3);
    EXPECT_TRUE(found->text().startsWith(QStringLiteral("Packet "))) << found->text().toStdString();
    const int64_t first = log->CurrentHit();
    press(memo, Qt::Key_F3);
    EXPECT_NE(log->CurrentHit(), first);
    press(find, Qt::Key_Escape);
    EXPECT_FALSE(findBar->isVisible());
    for (QWidget* w :
         {static_cast<QWidget*>(memo), opened->findChild<QWidget*>(QStringLiteral("RxMsgMemo"))}) {
        press(w, Qt::Key_Escape);
        press(w, Qt::Key_F5);
        press(w, Qt::Key_M, Qt::AltModifier);
        press(w, Qt::Key_Q, Qt::ControlModifier);
        press(w, Qt::Key_F3);
    }
    EXPECT_EQ(sent(), before);
    EXPECT_TRUE(Item("miDisconnect")->isEnabled()); // still connected
    EXPECT_TRUE(Win->isVisible());
    EXPECT_FALSE(Win->CustomCmdWindow() && Win->CustomCmdWindow()->isVisible());
    EXPECT_TRUE(log->isVisible());
    EXPECT_TRUE(opened->isVisible());

    // In the main window the same keys do their work.
    press(Button("btnMove"), Qt::Key_Escape);
    EXPECT_TRUE(WaitUntil([&] { return SimLogLines("STOP(22h)") >= 1; }));
    press(Button("btnMove"), Qt::Key_F3);
    EXPECT_TRUE(WaitUntil([&] { return !Item("miDisconnect")->isEnabled(); }));
    opened->close();
    EXPECT_EQ(Errors.Count(), 0) << Errors.Messages().join('|').toStdString();
}

TEST_F(ConsoleE2E, ConnectsToALinkTextWithoutAnyDialog) {
    Start();
    TLinkAddress link;
    QString error;
    ASSERT_TRUE(ParseLinkAddress(QStringLiteral("tcp://127.0.0.1:%1").arg(Sim->TcpPort()), link, error))
        << error.toStdString();
    Win->ConnectTo(link);
    ASSERT_TRUE(WaitUntil(
        [&] { return Item("miDisconnect")->isEnabled() && Label("lbPosition")->text() != "[n/a]"; }, 5000));
    EXPECT_EQ(Messages.Count(), 0) << Messages.Texts().join('|').toStdString();

    Item("miDisconnect")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Item("miConnect")->isEnabled(); }, 5000));
    // A link that cannot open is said as Device > Connect says it.
    ASSERT_TRUE(ParseLinkAddress(QStringLiteral("serial:///dev/zel-no-such-port"), link, error));
    Win->ConnectTo(link);
    ASSERT_EQ(Messages.Count(), 1);
    EXPECT_TRUE(Messages.Texts().front().startsWith(QStringLiteral("Cannot connect to target: ")))
        << Messages.Texts().front().toStdString();
    EXPECT_EQ(Errors.Count(), 0);
}
