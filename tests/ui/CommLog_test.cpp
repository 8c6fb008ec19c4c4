// The command log window with real widgets, fed by a gripper talking to zel-sim.
#include "ui/CommLogForm.h"
#include "cmdtext/CommLogText.h"
#include "CsvReader.h"
#include "ModalDriver.h"
#include "taq/TAQ.h"
#include "TestWait.h"
#include "ToolWindowFixture.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFontDatabase>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTemporaryDir>
#include <QTextBlock>

namespace {
class CommLogE2E : public ToolWindowE2E {
protected:
    void SetUp() override {
        ToolWindowE2E::SetUp();
        Log.SetDevice(&Zel);
        Zel.SetCommLogObject(&Log);
        Log.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Log));
    }
    void TearDown() override {
        ToolWindowE2E::TearDown();
        Zel.SetCommLog(nullptr);
    }
    void Click(const char* Name) { QTest::mouseClick(Child<QWidget>(Log, Name), Qt::LeftButton); }
    QPlainTextEdit* View() { return Child<QPlainTextEdit>(Log, "RxMsgMemo"); }
    // The view's point on the character at Position of its text.
    QPoint PointAt(int Position, bool After = false) {
        QTextCursor c(View()->document());
        c.setPosition(Position);
        const QRect r = View()->cursorRect(c);
        return QPoint(r.left() + (After ? 0 : 1), r.center().y());
    }
    TCommLog Log;
};

TPacket Received(int32_t ID, const TByteArray& Payload) {
    return TPacket{ID, int32_t(Payload.size()), Payload};
}
} // namespace

TEST_F(CommLogE2E, ShowsTheRealTrafficAndRedrawsOnOptionChange) {
    // Hex columns line up: the shown log uses the system's fixed-pitch font.
    EXPECT_EQ(View()->font(), QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ASSERT_TRUE(Connect());
    ASSERT_NEAR(Zel.GetTemperature(), 31.2, 1e-9);
    QStringList lines = Log.Lines();
    ASSERT_GE(lines.size(), 6);
    // The connect sequence reads the system information first; every sent packet follows an empty line.
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "sent: ID=50h, Length=0");
    EXPECT_TRUE(lines[2].startsWith("    received: ID=50h, Length=")) << lines[2].toStdString();
    EXPECT_EQ(lines.mid(lines.size() - 3),
              (QStringList{"", "sent: ID=46h, Length=0", "    received: ID=46h, Length=4: 00 00 38 01"}));

    Click("cbEvaluateErrorCodes");
    Click("cbShowIDDescr");
    lines = Log.Lines();
    EXPECT_EQ(lines.mid(lines.size() - 2),
              (QStringList{"sent: ID=46h (CMD_ID_GET_TEMPERATURE), Length=0",
                           "    received: ID=46h (CMD_ID_GET_TEMPERATURE), Length=4: "
                           "00 00 (E_SUCCESS) 38 01"}));
    EXPECT_EQ(lines[1], "sent: ID=50h (GET_SYSINFO), Length=0");

    // A failure status is named too.
    TByteArray data;
    TStat status = E_SUCCESS;
    EXPECT_THROW(Zel.ExecuteCommand(0x99, {}, data, status), EDuruzadUdror);
    EXPECT_EQ(Log.Lines().last(), "    received: ID=99h (unknown ID(153)), Length=2: 0E 00 (E_CMD_UNKNOWN)");

    Click("btnClear");
    EXPECT_TRUE(Log.Lines().isEmpty());
    EXPECT_EQ(Log.History().Count(), 0);
    Zel.GetTemperature();
    EXPECT_EQ(Log.Lines().first(), "");
    EXPECT_EQ(Log.Lines().size(), 3);
}

TEST_F(CommLogE2E, KeepsExactlyTheLast150PacketsInHistoryAndView) {
    ASSERT_TRUE(Connect());
    for (int i = 0; i < 100; ++i) {
        TByteArray data;
        TStat status = E_CMD_FAILED;
        ASSERT_TRUE(Zel.ExecuteCommand(LOOP, {uint8_t(i)}, data, status));
    }
    ASSERT_EQ(Log.History().Count(), 150);
    QStringList lines = Log.Lines();
    // 75 exchanges left: the oldest is the request of loop 25.
    ASSERT_EQ(lines.size(), 75 * 3);
    EXPECT_EQ(lines[1], "sent: ID=06h, Length=1: 19");
    EXPECT_EQ(lines.last(), "    received: ID=06h, Length=3: 00 00 63");

    // A received packet at the front: dropping a request takes both of its lines, a reply its one.
    const auto viewMatchesRedraw = [&] {
        const QStringList before = Log.Lines();
        Click("cbShowIDDescr");
        Click("cbShowIDDescr");
        return Log.Lines() == before;
    };
    Log.AddPacket(Received(0x21, {0x1A, 0}), true);
    EXPECT_EQ(Log.Lines().size(), 75 * 3 - 2 + 1);
    EXPECT_TRUE(Log.Lines().first().startsWith("    received: ID=06h, Length=3: 00 00 19"));
    Log.AddPacket(Received(0x21, {0x1A, 0}), true);
    EXPECT_EQ(Log.Lines().size(), 75 * 3 - 1);
    EXPECT_EQ(Log.Lines()[1], "sent: ID=06h, Length=1: 1A");
    EXPECT_EQ(Log.History().Count(), 150);
    EXPECT_TRUE(viewMatchesRedraw());
    // The view follows the newest packet.
    QScrollBar* bar = View()->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());

    // A hidden log keeps only its history (no text layout for a window nobody sees); shown
    // again, it shows exactly the history.
    Log.hide();
    const QString hiddenText = View()->document()->toPlainText();
    for (int i = 0; i < 40; ++i)
        Log.AddPacket(Received(0x21, {0x1B, uint8_t(i)}), true);
    ProcessEventsFor(100);
    EXPECT_EQ(View()->document()->toPlainText(), hiddenText);
    Log.show();
    EXPECT_TRUE(View()->document()->toPlainText().endsWith("    received: ID=21h, Length=2: 1B 27"));
    EXPECT_TRUE(viewMatchesRedraw());
}

TEST_F(CommLogE2E, SelectedBytesDecodeByMouseUpAndRightClickMenu) {
    Log.AddPacket(Received(0x50, {0, 0, 0x80, 0x3F}), true);
    // The view catches up with the history by itself.
    ASSERT_TRUE(WaitUntil([&] { return View()->document()->toPlainText().contains("00 00 80 3F"); }, 2000));
    const QString text = View()->document()->toPlainText();
    const int first = int(text.indexOf("00 00 80 3F"));
    ASSERT_GT(first, 0);
    auto* popup = Child<QMenu>(Log, "PopupMenu1");

    // Dragging over the four bytes opens the decode menu where the button comes up.
    QWidget* viewport = View()->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, PointAt(first));
    QTest::mouseMove(viewport, PointAt(first + 11, true));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, PointAt(first + 11, true));
    ASSERT_EQ(View()->textCursor().selectedText(), "00 00 80 3F");
    ASSERT_TRUE(WaitUntil([&] { return popup->isVisible(); }, 2000));
    EXPECT_EQ(ItemTexts(popup), (QStringList{"as Float", "as Integer", "as Text"}));
    Child<QAction>(Log, "miAsFloat")->trigger();
    popup->hide();
    Child<QAction>(Log, "miAsInteger")->trigger();
    EXPECT_EQ(Messages.Texts(), (QStringList{"Value is 1", "Value is 1065353216 (3F800000h)"}));

    // A click without a selection opens nothing.
    Messages.Clear();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, PointAt(first));
    ProcessEventsFor(50);
    EXPECT_FALSE(popup->isVisible());

    // The right mouse button offers the same items and Copy, also for a selection made by keyboard.
    QTextCursor c = View()->textCursor();
    c.setPosition(0);
    c.setPosition(int(text.indexOf("ID=50h")) + 6, QTextCursor::KeepAnchor);
    View()->setTextCursor(c);
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                viewport->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(viewport, &menuEvent);
    auto* menu = Child<QMenu>(Log, "RxMsgMemoMenu");
    ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }, 2000));
    EXPECT_EQ(ItemTexts(menu),
              (QStringList{"as Float", "as Integer", "as Text", "", "&Copy", "Select &All"}));
    Child<QAction>(Log, "miAsText")->trigger();
    menu->hide();
    EXPECT_EQ(Messages.Texts(), (QStringList{"Error while converting selected data."}));
}

TEST_F(CommLogE2E, SensorFrameDataIsSuppressedOnlyForTheSensor) {
    auto* suppress = Child<QCheckBox>(Log, "cbSuppressDataPackets");
    EXPECT_FALSE(suppress->isVisible());
    Click("cbEvaluateErrorCodes");
    Log.AddPacket(Received(0x00, {0, 0, 7}), true);
    EXPECT_EQ(Log.Lines(), (QStringList{"    received: ID=00h, Length=3: 00 00 (E_SUCCESS) 07"}));

    TTAQ sensor(nullptr);
    Log.SetDevice(&sensor);
    Click("btnClear");
    EXPECT_TRUE(suppress->isVisible());
    Log.AddPacket(Received(0x00, {0, 0, 7}), true);
    Log.AddPacket(Received(0x00, {}), false);
    Log.AddPacket(Received(0x20, {0x1A, 0}), true);
    EXPECT_EQ(Log.Lines(), (QStringList{"    received: ID=20h, Length=2: 1A 00 (E_CMD_PENDING)"}));
    // Unchecked, frames are logged, in plain form: they carry no status.
    QTest::mouseClick(suppress, Qt::LeftButton);
    Log.AddPacket(Received(0x00, {0, 0, 7}), true);
    EXPECT_EQ(Log.Lines().last(), "    received: ID=00h, Length=3: 00 00 07");
    Log.SetDevice(nullptr);
}

TEST_F(CommLogE2E, TimeStampsFollowThePacketClockWhenSwitchedOnAndOff) {
    uint32_t now = 0xFFFFFF00u; // the tick counter wraps during the session
    Log.SetClock([&now] { return now; });
    auto add = [&](uint32_t At, int32_t ID, const TByteArray& Payload, bool In) {
        now = At;
        Log.AddPacket(Received(ID, Payload), In);
    };
    add(0xFFFFFF00u, 0x50, {}, false);
    add(0xFFFFFF0Cu, 0x50, {0, 0}, true);
    add(12345 - 256, 0x46, {}, false);
    const QStringList plain = {"", "sent: ID=50h, Length=0", "    received: ID=50h, Length=2: 00 00", "",
                               "sent: ID=46h, Length=0"};
    EXPECT_EQ(Log.Lines(), plain);
    // Switching on redraws what is already logged with the time each packet arrived.
    now = 999999; // later than any packet: the clock is read only when a packet arrives
    Click("cbTimeStamps");
    const QStringList stamped = {"", "  +0.000 s sent: ID=50h, Length=0",
                                 "  +0.012 s     received: ID=50h, Length=2: 00 00", "",
                                 " +12.345 s sent: ID=46h, Length=0"};
    EXPECT_EQ(Log.Lines(), stamped);
    add(12345 - 256 + 7, 0x46, {0, 0, 0x38, 1}, true);
    EXPECT_EQ(Log.Lines().last(), " +12.352 s     received: ID=46h, Length=4: 00 00 38 01");
    Click("cbTimeStamps");
    EXPECT_EQ(Log.Lines(), plain + QStringList{"    received: ID=46h, Length=4: 00 00 38 01"});

    // The oldest packets leave with their times; the origin stays the first packet logged.
    Click("cbTimeStamps");
    for (uint32_t i = 0; i < 147; ++i)
        add(20000 + i, 0x21, {0x1A, 0}, true);
    QStringList lines = Log.Lines();
    ASSERT_EQ(Log.History().Count(), 150);
    EXPECT_EQ(lines.first(), "  +0.012 s     received: ID=50h, Length=2: 00 00");
    EXPECT_EQ(lines.last(), " +20.402 s     received: ID=21h, Length=2: 1A 00");
    Click("cbShowIDDescr");
    Click("cbShowIDDescr");
    EXPECT_EQ(Log.Lines(), lines);

    // Clear starts the count anew.
    Click("btnClear");
    add(50000, 0x50, {}, false);
    EXPECT_EQ(Log.Lines(), (QStringList{"", "  +0.000 s sent: ID=50h, Length=0"}));
}

TEST_F(CommLogE2E, SavesTheViewAsTextAndTheHistoryAsCsv) {
    uint32_t now = 1000;
    Log.SetClock([&now] { return now; });
    ASSERT_TRUE(Connect());
    now = 3500;
    ASSERT_NEAR(Zel.GetTemperature(), 31.2, 1e-9);
    Click("cbTimeStamps");
    Click("cbEvaluateErrorCodes");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // Through the dialog, as an operator saves it; the extension's case does not matter.
    auto saveAs = [&](const QString& Name) {
        TModalDriver driver;
        driver.ThenAs<QFileDialog>([&](QFileDialog* D) {
            D->selectFile(dir.filePath(Name));
            static_cast<QDialog*>(D)->accept(); // QFileDialog::accept, as the Save button does
        });
        Click("btnSave");
        EXPECT_TRUE(driver.Done());
        QFile f(dir.filePath(Name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << Name.toStdString();
        return QString::fromUtf8(f.readAll());
    };
    const QString text = saveAs("log.txt");
    EXPECT_EQ(text, Log.Lines().join('\n') + '\n');
    EXPECT_TRUE(text.endsWith("  +2.500 s     received: ID=46h, Length=4: 00 00 (E_SUCCESS) 38 01\n"))
        << text.toStdString();

    QList<QStringList> records;
    ASSERT_TRUE(ReadCsv(saveAs("log.CSV"), records));
    ASSERT_EQ(records.size(), Log.History().Count() + 1);
    EXPECT_EQ(records[0], (QStringList{"time_s", "direction", "id", "command", "length", "status",
                                       "payload", "fields"}));
    EXPECT_EQ(records[1], (QStringList{"0.000", "sent", "50h", "GET_SYSINFO", "0", "", "", "no fields"}));
    EXPECT_EQ(records[2].mid(0, 6),
              (QStringList{"0.000", "received", "50h", "GET_SYSINFO", "10", "E_SUCCESS"}));
    EXPECT_EQ(records.last(), (QStringList{"2.500", "received", "46h", "CMD_ID_GET_TEMPERATURE", "4",
                                           "E_SUCCESS", "00 00 38 01", "E_SUCCESS, temperature 31.20 °C"}));
    EXPECT_TRUE(Messages.Texts().isEmpty());

    // A file that cannot be written is named with the reason; the log stays as it was.
    const QString missing = dir.filePath("gone/log.txt");
    EXPECT_FALSE(Log.SaveToFile(missing));
    ASSERT_EQ(Messages.Count(), 1);
    EXPECT_TRUE(Messages.Texts()[0].startsWith("Error while saving the command log to \"" + missing + "\": "))
        << Messages.Texts()[0].toStdString();
    EXPECT_GT(Messages.Texts()[0].size(), missing.size() + 45);
    EXPECT_EQ(Messages.Messages()[0].Caption, "Error");
    EXPECT_EQ(Log.Lines().join('\n') + '\n', text);
}
