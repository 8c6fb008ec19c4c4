// The custom command editor with real widgets: typing, enabled states, and sending to zel-sim.
#include "ui/CustomCmdForm.h"
#include "cmdtext/CustomCmdText.h"
#include "ui/ElidedLabel.h"
#include "widgets/LineMemo.h"
#include "RecordingCommLog.h"
#include "TestWait.h"
#include "ToolWindowFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {
// The editor's controls by their names.
struct TEditor {
    TCustomCmd W;
    QLineEdit* ID = W.findChild<QLineEdit*>("edID");
    QComboBox* Payload = W.findChild<QComboBox*>("edPayload");
    QPushButton* Send = W.findChild<QPushButton*>("btnSend");
    QCheckBox* Auto = W.findChild<QCheckBox*>("cbAutosend");
    QSpinBox* Interval = W.findChild<QSpinBox*>("AutosendIntervalEdit");
    QTimer* Timer = W.findChild<QTimer*>("AutosendTimer");
    TLineMemo* Results = W.findChild<TLineMemo*>("LogMemo");

    QString Label(const char* Name) const {
        if (auto* l = W.findChild<TElidedLabel*>(Name))
            return l->Text();
        return W.findChild<QLabel*>(Name)->text();
    }
    // Id, length, payload, checksum and size, as the window shows them.
    QStringList Decoding() const {
        return {Label("lbId"), Label("lbLength"), Label("lbPayload"), Label("lbPayloadSize")};
    }
    // Send button, auto send box, interval edit.
    std::vector<bool> Enabled() const {
        return {Send->isEnabled(), Auto->isEnabled(), Interval->isEnabled()};
    }
    void Retype(QLineEdit* Edit, const QString& Text) {
        Edit->selectAll();
        QTest::keyClick(Edit, Qt::Key_Delete);
        QTest::keyClicks(Edit, Text);
    }
    void TypePayload(const QString& Text) { Retype(Payload->lineEdit(), Text); }
};

using E = std::vector<bool>;
} // namespace

TEST(CustomCmdWindow, TypingUpdatesTheDecodingAndTheSendControls) {
    TMessageRecorder messages;
    TEditor e;
    e.W.show();
    EXPECT_EQ(e.ID->text(), "0x00");
    EXPECT_EQ(e.Decoding(), (QStringList{"00", "00 00", "[n/a]", "0 bytes"}));
    EXPECT_EQ(e.Enabled(), (E{false, false, false}));

    // Valid input alone does not enable sending while the main window has not.
    e.TypePayload(QStringLiteral("1 0x02 $03 \"AB\""));
    EXPECT_EQ(e.Decoding(), (QStringList{"00", "05 00", "01 02 03 41 42 ", "5 bytes"}));
    EXPECT_EQ(e.Enabled(), (E{false, false, false}));
    e.W.SetEnabled(true);
    EXPECT_EQ(e.Enabled(), (E{true, true, true}));
    EXPECT_EQ(e.Payload->toolTip(), PayloadHelpText());

    QTest::keyClicks(e.Payload->lineEdit(), QStringLiteral(" x"));
    EXPECT_EQ(e.Decoding(), (QStringList{"00", "00 00", "[n/a]", "0 bytes"}));
    EXPECT_EQ(e.Enabled(), (E{false, false, true}));
    EXPECT_EQ(e.Payload->toolTip(), "Error while parsing input");
    EXPECT_EQ(e.Payload->lineEdit()->palette().color(QPalette::Text), QColor(Qt::red));
    QTest::keyClick(e.Payload->lineEdit(), Qt::Key_Backspace);
    QTest::keyClick(e.Payload->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(e.Enabled(), (E{true, true, true}));
    EXPECT_NE(e.Payload->lineEdit()->palette().color(QPalette::Text), QColor(Qt::red));

    // An invalid identifier disables sending and leaves the decoding as it was.
    e.ID->setText(QStringLiteral("0x1G"));
    EXPECT_EQ(e.Enabled(), (E{false, false, true}));
    EXPECT_EQ(e.Decoding(), (QStringList{"00", "05 00", "01 02 03 41 42 ", "5 bytes"}));
    e.Retype(e.ID, QStringLiteral("$2c"));
    EXPECT_EQ(e.Label("lbId"), "2C");
    EXPECT_EQ(e.Enabled(), (E{true, true, true}));

    // Three hundred bytes, and one byte more than a frame can carry.
    e.Payload->setEditText(QStringLiteral("\"%1\"").arg(QString(300, QLatin1Char('x'))));
    EXPECT_EQ(e.Label("lbLength"), "2C 01");
    e.Payload->setEditText(QStringLiteral("\"%1\"").arg(QString(MaxPayloadLength + 1, QLatin1Char('x'))));
    EXPECT_EQ(e.Label("lbPayloadSize"), "0 bytes");
    EXPECT_EQ(e.Enabled(), (E{false, false, true}));
    e.Payload->setEditText(QStringLiteral("\"%1\"").arg(QString(MaxPayloadLength, QLatin1Char('x'))));
    EXPECT_EQ(e.Label("lbLength"), "FF FF");
    EXPECT_EQ(e.Enabled(), (E{true, true, true}));

    // Enabling the editor with invalid input leaves sending off.
    e.W.SetEnabled(false);
    e.TypePayload(QStringLiteral("300"));
    e.W.SetEnabled(true);
    EXPECT_EQ(e.Enabled(), (E{false, false, true}));
    // Without a device a send does nothing.
    e.TypePayload(QStringLiteral("3"));
    QTest::keyClick(e.Payload, Qt::Key_Return);
    EXPECT_EQ(e.Payload->count(), 0);
    EXPECT_EQ(messages.Count(), 0);
}

namespace {
class CustomCmdE2E : public ToolWindowE2E {
protected:
    void SetUp() override {
        ToolWindowE2E::SetUp();
        Zel.SetCommLog(&Log);
        Ed.W.SetDevice(&Zel);
        Ed.W.show();
    }
    void TearDown() override {
        ToolWindowE2E::TearDown();
        Zel.SetCommLog(nullptr);
    }
    int Sent(int32_t ID) const {
        return int(std::count_if(Log.Entries.begin(), Log.Entries.end(), [ID](const TLoggedPacket& P) {
            return !P.Received && P.Packet.CommandID == ID;
        }));
    }
    TRecordingCommLog Log;
    TEditor Ed;
};
} // namespace

TEST_F(CustomCmdE2E, KnownIdentifiersSendingHistoryAndPendingResults) {
    auto* known = Child<QMenu>(Ed.W, "pmKnownIDs");
    const QStringList names = ItemTexts(known);
    for (const char* name : {"LOOP", "GET_SYSINFO", "HOMING", "MOVE", "FAST_STOP_ACK"})
        EXPECT_TRUE(names.contains(name)) << name;
    EXPECT_FALSE(names.join(' ').contains("unknown ID("));
    // The device's names in ascending identifier order.
    EXPECT_LT(names.indexOf("LOOP"), names.indexOf("HOMING"));
    EXPECT_LT(names.indexOf("HOMING"), names.indexOf("GET_SYSINFO"));
    known->actions().at(names.indexOf("HOMING"))->trigger();
    EXPECT_EQ(Ed.ID->text(), "32");

    ASSERT_TRUE(Connect());
    Ed.W.SetEnabled(true);
    Ed.TypePayload(QStringLiteral(" 0 "));
    QTest::mouseClick(Ed.Send, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Ed.Results->Lines().size() == 1; }, 5000));
    EXPECT_EQ(Ed.Results->Lines(), (QStringList{"Async result from command 20h: No error."}));
    // Enter sends as well; the same text goes into the history once, trimmed and as typed.
    Ed.W.activateWindow();
    Ed.Payload->setFocus();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(Sent(TZEL::HOMING), 2);
    ASSERT_TRUE(WaitUntil([&] { return Ed.Results->Lines().size() == 2; }, 5000))
        << Ed.Results->Lines().join('|').toStdString();
    EXPECT_EQ(Ed.Payload->count(), 1);
    EXPECT_EQ(Ed.Payload->itemText(0), "0");
    EXPECT_EQ(Ed.Payload->currentText(), " 0 ");
    EXPECT_EQ(Errors.Count(), 0);
}

TEST_F(CustomCmdE2E, AutoSendKeepsTheIntervalReadWhenCheckedAndStopsOnUncheck) {
    ASSERT_TRUE(Connect());
    Ed.W.SetEnabled(true);
    Ed.Retype(Ed.ID, QStringLiteral("6"));
    Ed.TypePayload(QStringLiteral("1 2 3"));
    Ed.Interval->setValue(100);
    QTest::mouseClick(Ed.Auto, Qt::LeftButton);
    EXPECT_EQ(Ed.Enabled(), (E{false, true, false}));
    // A later change of the interval waits for the next check.
    Ed.Interval->setValue(1000);
    EXPECT_EQ(Ed.Timer->interval(), 100);
    ProcessEventsFor(1050);
    const int sent = Sent(LOOP);
    EXPECT_GE(sent, 5);
    EXPECT_LE(sent, 12);
    QTest::mouseClick(Ed.Auto, Qt::LeftButton);
    EXPECT_FALSE(Ed.Timer->isActive());
    EXPECT_EQ(Ed.Enabled(), (E{true, true, true}));
    ProcessEventsFor(300);
    EXPECT_EQ(Sent(LOOP), sent);
    EXPECT_EQ(Errors.Count(), 0);
}

TEST_F(CustomCmdE2E, AutoSendStopsOnDisconnectAndOnInvalidInput) {
    ASSERT_TRUE(Connect());
    // The main window switches the editor with the connection.
    Zel.OnDisconnect = [this](TKORADevice*) { Ed.W.SetEnabled(false); };
    Ed.W.SetEnabled(true);
    Ed.Retype(Ed.ID, QStringLiteral("6"));
    QTest::mouseClick(Ed.Auto, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Sent(LOOP) >= 2; }, 3000));
    QTest::keyClicks(Ed.Payload->lineEdit(), QStringLiteral("zz"));
    EXPECT_FALSE(Ed.Auto->isChecked());
    EXPECT_FALSE(Ed.Timer->isActive());
    EXPECT_EQ(Ed.Enabled(), (E{false, false, true}));

    Ed.TypePayload(QString());
    QTest::mouseClick(Ed.Auto, Qt::LeftButton);
    ASSERT_TRUE(Ed.Timer->isActive());
    Zel.Disconnect();
    ASSERT_TRUE(WaitUntil([&] { return !Ed.Timer->isActive(); }, 3000));
    EXPECT_FALSE(Ed.Auto->isChecked());
    EXPECT_EQ(Ed.Enabled(), (E{false, false, false}));
    const int sent = Sent(LOOP);
    ProcessEventsFor(200);
    EXPECT_EQ(Sent(LOOP), sent);
    EXPECT_EQ(Errors.Count(), 0);
}

TEST_F(CustomCmdE2E, AFailingAutoSendStopsBeforeItsOneErrorIsShown) {
    ASSERT_TRUE(Connect());
    Ed.W.SetEnabled(true);
    Ed.Retype(Ed.ID, QStringLiteral("0x99"));
    bool checkedWhenReported = true;
    Errors.Clear();
    const TErrorHandler recording = SetApplicationErrorHandler(nullptr);
    SetApplicationErrorHandler([&](std::exception_ptr Error) {
        checkedWhenReported = Ed.Auto->isChecked();
        recording(Error);
    });
    QTest::mouseClick(Ed.Auto, Qt::LeftButton);
    ASSERT_TRUE(Errors.WaitFor(1, 3000));
    ProcessEventsFor(300);
    SetApplicationErrorHandler(recording);
    EXPECT_EQ(Errors.Messages(), (QStringList{"Command unknown ID(153) failed: Unknown command"}));
    EXPECT_FALSE(checkedWhenReported);
    EXPECT_FALSE(Ed.Timer->isActive());
    EXPECT_EQ(Ed.Enabled(), (E{true, true, true}));
    EXPECT_EQ(Sent(0x99), 1);
}
