// Inputs of the tool windows that must never turn into something else: a cut payload, a largest
// float refused, a blank around an integer, and a decoded text too long for a message box.
#include "ui/CommLogForm.h"
#include "ui/CustomCmdForm.h"
#include "cmdtext/CustomCmdText.h"
#include "widgets/IntegerEdit.h"
#include "platform/MessageBox.h"
#include "ModalDriver.h"
#include "TestRecorders.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <gtest/gtest.h>

TEST(ToolWindowInputs, NothingIsCutOrRoundedIntoADifferentValidEntry) {
    // A pasted payload longer than the editor takes is refused whole, never cut to a shorter one.
    TCustomCmd editor;
    editor.SetEnabled(true);
    auto* payload = editor.findChild<QComboBox*>("edPayload");
    auto* send = editor.findChild<QPushButton*>("btnSend");
    ASSERT_TRUE(payload && send);
    auto* size = editor.findChild<QLabel*>("lbPayloadSize");
    ASSERT_TRUE(size);
    payload->lineEdit()->setText(QStringLiteral("0xFF ").repeated(60000));
    EXPECT_TRUE(send->isEnabled());
    EXPECT_EQ(size->text(), "60000 bytes");
    payload->lineEdit()->setText(QStringLiteral("0xFF ").repeated(120000));
    EXPECT_FALSE(send->isEnabled());
    EXPECT_EQ(payload->lineEdit()->palette().color(QPalette::Text), QColor(Qt::red));
    // The largest payload in a long notation still fits.
    payload->lineEdit()->setText(QStringLiteral("0x0FF ").repeated(MaxPayloadLength));
    EXPECT_TRUE(send->isEnabled());

    // Floats: every text that rounds to a finite single-precision value.
    struct Row {
        const char* Text;
        bool Valid;
        TByteArray Bytes;
    };
    const Row rows[] = {
        {"3.4028235e38f", true, {0xFF, 0xFF, 0x7F, 0x7F}},
        {"-3.4028235e38f", true, {0xFF, 0xFF, 0x7F, 0xFF}},
        {"340282356779733661637539395458142568447f", true, {0xFF, 0xFF, 0x7F, 0x7F}},
        {"340282356779733661637539395458142568448f", false, {}}, // halfway: rounds to infinity
        {"3.5e38f", false, {}},
        {"1e39f", false, {}},
        {"1e-50f", true, {0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        TByteArray bytes;
        EXPECT_EQ(ParseEditorPayload(QString::fromLatin1(r.Text), bytes), r.Valid) << r.Text;
        EXPECT_EQ(bytes, r.Bytes) << r.Text;
    }

    // The whole text of an integer edit is the number.
    TIntegerEdit edit;
    edit.SetRange(0, 255);
    for (const char* text : {" 5", "5 ", "\t5", "0x1F "}) {
        edit.setText(QString::fromLatin1(text));
        EXPECT_FALSE(edit.Valid()) << text;
    }
    edit.setText(QStringLiteral("5"));
    EXPECT_TRUE(edit.Valid());
}

TEST(ToolWindowInputs, ALongDecodedTextWrapsInAScrollingBox) {
    TCommLog log;
    log.AddPacket(TPacket{0x51, 200, TByteArray(200, 'A')}, false);
    log.show();
    auto* view = log.findChild<QPlainTextEdit*>("RxMsgMemo");
    ASSERT_NE(view, nullptr);
    const QStringList lines = log.Lines();
    const QString text = view->document()->toPlainText();
    QTextCursor c(view->document());
    c.setPosition(int(text.indexOf("41")));
    c.setPosition(int(text.size()), QTextCursor::KeepAnchor);
    view->setTextCursor(c);
    const QString expected = QStringLiteral("Text string is \"") + QString(200, 'A') + '"';

    // Recorded through the message seam as any other result.
    {
        TMessageRecorder messages;
        log.findChild<QAction*>("miAsText")->trigger();
        EXPECT_EQ(messages.Texts(), QStringList{expected});
    }
    // Shown, it is a message box of its kind, whose long run of characters wraps inside the box.
    log.findChild<QAction*>("miAsText")->trigger();
    QMessageBox* box = OpenMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->text().remove(QChar(0x200B)), expected);
    EXPECT_TRUE(box->detailedText().isEmpty()) << "short enough for the screen: nothing scrolls";
    box->close();
}
