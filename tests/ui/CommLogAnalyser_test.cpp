// The command log as a protocol analyser: decoded fields, filters, a history longer than the view,
// search, and a saved log opened again; on a generated gripper session.
#include "ui/CommLogForm.h"
#include "cmdtext/CommLogText.h"
#include "TestRecorders.h"
#include "zel/ZEL.h"
#include "protocol/convert.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {
TByteArray Answer(uint16_t Status, const TByteArray& Data = {}) {
    TByteArray p(2 + Data.size());
    WriteWord(p.data(), Status);
    std::copy(Data.begin(), Data.end(), p.begin() + 2);
    return p;
}

TPacket P(int32_t ID, const TByteArray& Payload) {
    return TPacket{ID, int32_t(Payload.size()), Payload};
}

// N rounds of: a move, its pending answer, a position update; every 7th answer fails.
void Session(TCommLog& Log, int Rounds) {
    for (int i = 0; i < Rounds; ++i) {
        Log.AddPacket(P(TZEL::MOVE, TZEL::MovePayload(float(i), 50)), false);
        Log.AddPacket(P(TZEL::MOVE, Answer(i % 7 == 6 ? E_AXIS_BLOCKED : E_CMD_PENDING)), true);
        Log.AddPacket(P(TZEL::GET_POS, Answer(E_SUCCESS, TZEL::FloatPayload(float(i)))), true);
    }
}

struct TAnalyserTest : ::testing::Test {
    TZEL Zel{nullptr};
    TCommLog Log;
    TMessageRecorder Messages;
    void SetUp() override {
        Log.SetDevice(&Zel);
        Log.show();
    }
    template <class T> T* Child(const char* Name) { return Log.findChild<T*>(QString::fromLatin1(Name)); }
    QPlainTextEdit* View() { return Child<QPlainTextEdit>("RxMsgMemo"); }
};
} // namespace

TEST_F(TAnalyserTest, DecodesFiltersPagesAndSearchesALongHistory) {
    Session(Log, 2);
    const QStringList plain = Log.Lines();
    Child<QCheckBox>("cbDecodeFields")->click();
    const QStringList decoded = Log.Lines();
    EXPECT_EQ(decoded.mid(0, 4), (QStringList{"", "sent: ID=21h, Length=9: 00 00 00 00 00 00 00 48 42",
                                              "      MOVE: flags 0, position 0.00 mm, speed 50.00 mm/s",
                                              "    received: ID=21h, Length=2: 1A 00"}));
    EXPECT_EQ(decoded[4], "              MOVE: E_CMD_PENDING");
    EXPECT_EQ(decoded[6], "              GET_POS: E_SUCCESS, position 0.00 mm");
    Child<QCheckBox>("cbDecodeFields")->click();
    EXPECT_EQ(Log.Lines(), plain) << "switched off, the log reads as before";

    // A history ten times the view's page, the oldest leaving at the chosen size.
    Log.SetKeep(10000);
    Session(Log, 4000);
    ASSERT_EQ(Log.History().Count(), 10000);
    ASSERT_EQ(Log.History().ShownCount(), 10000);
    int lines = 0;
    for (int64_t i = 10000 - TCommLog::PageSize; i < 10000; ++i)
        lines += LogPacketLineCount(Log.History().Shown(i).Copy);
    EXPECT_EQ(Log.Lines().size(), lines);
    auto* bar = Child<QScrollBar>("sbHistory");
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(Log.PageFirst() + Log.PageCount(), 10000);
    // Dragging the bar to the start shows the oldest kept packets and stops following.
    bar->setValue(0);
    EXPECT_EQ(Log.PageFirst(), 0);
    EXPECT_TRUE(Log.Lines().first().startsWith("    received: ID=43h, Length=6:"));
    Session(Log, 1);
    EXPECT_EQ(Log.PageFirst(), 0);
    EXPECT_EQ(Log.History().Count(), 10000);

    // Hiding the position updates: kept, not shown; they come back with the switch.
    Child<QAction>("miShowUpdates")->setChecked(false);
    EXPECT_EQ(Log.History().Count(), 10000);
    const int64_t moves = Log.History().ShownCount();
    EXPECT_EQ(moves, 6666);
    EXPECT_FALSE(Log.Lines().join('\n').contains("ID=43h"));
    // By direction and by command.
    Child<QAction>("miShowSent")->setChecked(false);
    EXPECT_EQ(Log.History().ShownCount(), 3333);
    Child<QAction>("miShowSent")->setChecked(true);
    Child<QAction>("miShowID21")->setChecked(false);
    EXPECT_EQ(Log.History().ShownCount(), 0);
    EXPECT_TRUE(Log.Lines().isEmpty());
    Child<QAction>("miShowID21")->setChecked(true);
    Child<QAction>("miShowUpdates")->setChecked(true);
    EXPECT_EQ(Log.History().ShownCount(), 10000);
    // The commands are listed by identifier.
    QStringList ids;
    for (QAction* a : Child<QMenu>("FilterMenu")->actions())
        if (a->objectName().startsWith("miShowID"))
            ids << a->objectName().mid(8);
    QStringList sorted = ids;
    sorted.sort();
    EXPECT_EQ(ids, sorted);

    // Next failed answer, across pages; the hit is selected in the view.
    ASSERT_TRUE(Log.FindNextFailed());
    // The hit's number and the count follow the history as packets come and the oldest go.
    auto* found = Child<QLabel>("lbSearch");
    const QString shown = found->text();
    Session(Log, 1);
    Log.UpdateView();
    EXPECT_NE(found->text(), shown);
    EXPECT_EQ(found->text(),
              QStringLiteral("Packet %1 of %2").arg(Log.CurrentHit() + 1).arg(Log.History().ShownCount()));
    ASSERT_TRUE(Log.FindNextFailed());
    const int64_t first = Log.CurrentHit();
    const TPacket& hit = Log.History().Shown(first).Copy;
    EXPECT_EQ(hit.Payload, Answer(E_AXIS_BLOCKED));
    EXPECT_EQ(View()->textCursor().selectedText(), "    received: ID=21h, Length=2: 1D 00");
    ASSERT_TRUE(Log.FindNextFailed());
    EXPECT_EQ(Log.CurrentHit(), first + 21);
    // Text and hex bytes, forwards and back; the match itself is selected.
    Child<QCheckBox>("cbEvaluateErrorCodes")->click();
    ASSERT_TRUE(Log.FindNext("e_axis_blocked", false, true));
    EXPECT_EQ(Log.CurrentHit(), first);
    EXPECT_EQ(View()->textCursor().selectedText(), "E_AXIS_BLOCKED");
    // Every failure in the view is marked: packets 11, 32, ..., 494 of the page 0 to 499.
    ASSERT_EQ(Log.PageFirst(), 0);
    EXPECT_EQ(View()->extraSelections().size(), 24);
    // 3999.0 is the position of the last move request and of the update after it.
    ASSERT_TRUE(Log.FindNext("00 F0 79 45", true));
    EXPECT_EQ(Log.History().Shown(Log.CurrentHit()).Copy.Payload, TZEL::MovePayload(3999, 50));
    ASSERT_TRUE(Log.FindNext("00 F0 79 45", true));
    EXPECT_EQ(Log.History().Shown(Log.CurrentHit()).Copy.Payload, Answer(0, TZEL::FloatPayload(3999)));
    EXPECT_GE(Log.PageFirst(), 9000 - TCommLog::PageSize);
    EXPECT_FALSE(Log.FindNext("nowhere", false));
    EXPECT_FALSE(Log.FindNext("1 2 x", true));
}

TEST_F(TAnalyserTest, ASavedLogOpensReadOnlyWithTheSameLinesAndABadOneNamesItsLine) {
    Log.SetKeep(1000);
    Session(Log, 30);
    Log.AddPacket(P(GET_SYSINFO, Answer(0, {1, 3, 0x12, 0x34, 0x39, 0x30, 0, 0})), true);
    Child<QCheckBox>("cbDecodeFields")->click();
    Child<QCheckBox>("cbShowIDDescr")->click();
    Child<QAction>("miShowUpdates")->setChecked(false);
    QTemporaryDir dir;
    const QString path = dir.filePath("session.csv");
    ASSERT_TRUE(Log.SaveToFile(path));

    std::unique_ptr<TCommLog> opened(Log.OpenFile(path));
    ASSERT_NE(opened, nullptr) << Messages.Texts().join('\n').toStdString();
    EXPECT_TRUE(opened->IsReadOnly());
    EXPECT_EQ(opened->DeviceKind(), TCommLog::dkGripper);
    // Hidden packets were saved too; the same packets, names and fields come back.
    ASSERT_EQ(opened->History().Count(), Log.History().Count());
    for (int32_t i = 0; i < Log.History().Count(); ++i)
        ASSERT_EQ(opened->History().At(i).Payload, Log.History().At(i).Payload) << i;
    opened->findChild<QCheckBox*>("cbDecodeFields")->click();
    opened->findChild<QCheckBox*>("cbShowIDDescr")->click();
    opened->findChild<QAction*>("miShowUpdates")->setChecked(false);
    EXPECT_EQ(opened->Lines(), Log.Lines());
    EXPECT_TRUE(opened->Lines().last().contains("device type ZEL 11, hardware revision 3"));
    EXPECT_TRUE(opened->findChild<QPushButton*>("btnClear")->isHidden());
    EXPECT_TRUE(Messages.Texts().isEmpty());

    // A malformed line: reported with its number, no window.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    struct Bad {
        int Line;
        QByteArray Text;
        QString Reason;
    };
    const Bad bad[] = {
        {4, "0.000,sent,21h,MOVE,9,,00 00,", "line 4: the payload does not hold the 9 bytes of its length"},
        {3, "0.000,sideways,21h,MOVE,0,,,",
         "line 3: the direction \"sideways\" is neither sent nor received"},
        {2, "x,sent,21h,MOVE,0,,,", "line 2: the time \"x\" is not seconds with three decimals"},
        {5, "0.000,sent,2Gh,MOVE,0,,,", "line 5: the identifier \"2Gh\" is not two hex digits and h"},
        {3, "0.000,sent,21h,MOVE,0,,", "line 3: 7 fields instead of 8"},
        {1, "time,direction", "line 1: not a command log"},
    };
    for (const Bad& b : bad) {
        QList<QByteArray> copy = lines;
        copy[b.Line - 1] = b.Text + '\r';
        QFile out(dir.filePath("bad.csv"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(copy.join('\n'));
        out.close();
        Messages.Clear();
        EXPECT_EQ(Log.OpenFile(out.fileName()), nullptr) << b.Reason.toStdString();
        ASSERT_EQ(Messages.Count(), 1);
        EXPECT_TRUE(Messages.Texts()[0].contains(b.Reason)) << Messages.Texts()[0].toStdString();
    }
}

// A pipe would hold the window until a writer came and a device never ends: both are refused at
// once with the reason, and no window opens.
TEST_F(TAnalyserTest, APipeOrADeviceIsRefusedAsNotARegularFile) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("log.csv");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero"), QStringLiteral("/dev/urandom")}) {
        Messages.Clear();
        EXPECT_EQ(Log.OpenFile(path), nullptr);
        ASSERT_EQ(Messages.Count(), 1);
        EXPECT_TRUE(Messages.Texts()[0].endsWith("\": not a regular file (a pipe, socket or device)"))
            << Messages.Texts()[0].toStdString();
    }
}
