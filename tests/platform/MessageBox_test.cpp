// The console's box behind the message seam: a message box of the message's kind that reports
// without blocking its window, one at a time, clear of the stop controls, and that scrolls only a
// text too long for the screen.
#include "platform/MessageBox.h"
#include "platform/OnScreen.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include <gtest/gtest.h>

namespace {
// What the operator reads: the box's text without the invisible break opportunities.
QString Shown(const QMessageBox* Box) {
    return Box->text().remove(QChar(0x200B));
}

int VisibleBoxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<QMessageBox*>(w) && w->isVisible() ? 1 : 0;
    return n;
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        FPrevious = SetMessageHook(MessageBoxHook());
        Window.setGeometry(40, 40, 600, 400);
        Window.show();
    }
    void TearDown() override {
        if (QMessageBox* box = OpenMessageBox())
            box->close();
        SetMessageHook(std::move(FPrevious));
    }

    QMainWindow Window;

private:
    TMessageHook FPrevious;
};

const QString ConnectionErrorText =
    QStringLiteral("A Connection Error occurred or the connection to the device was interrupted.\n"
                   "This is likely to happen if no cable is connected or some settings are not correct.\n"
                   "Please check cable and communication settings and try to connect again.\n"
                   "(Error while establishing socket connection (127.0.0.1:40123: Connection refused))");
} // namespace

TEST_F(MessageBoxTest, KindPicksTheIconAndNoBoxBlocksTheWindow) {
    struct TRow {
        TMessageKind Kind;
        QString Text;
        QString Caption;
        QMessageBox::Icon Icon;
        QString Title;
    };
    const TRow rows[] = {
        {TMessageKind::Error, QStringLiteral("Cannot connect to target: timeout"), QStringLiteral("Error"),
         QMessageBox::Critical, QStringLiteral("Error")},
        {TMessageKind::Information, QStringLiteral("Current device temperature is 31.0°C"), QString(),
         QMessageBox::Information, QCoreApplication::applicationName()},
        // Four lines and a long reason: still a message box, never a bare text window.
        {TMessageKind::Error, ConnectionErrorText, QStringLiteral("Error"), QMessageBox::Critical,
         QStringLiteral("Error")},
        {TMessageKind::Information, QStringLiteral("<b>not markup</b>"), QString(), QMessageBox::Information,
         QCoreApplication::applicationName()},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Text.toStdString());
        ShowMessage(row.Kind, row.Text, row.Caption, &Window);
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), row.Icon);
        EXPECT_EQ(Shown(box), row.Text);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->windowTitle(), row.Title);
        EXPECT_TRUE(box->detailedText().isEmpty());
        EXPECT_EQ(box->parentWidget(), &Window);
        EXPECT_EQ(box->windowModality(), Qt::NonModal);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        box->close();
        EXPECT_EQ(OpenMessageBox(), nullptr);
    }
}

TEST_F(MessageBoxTest, LaterMessagesJoinTheOpenBoxWithTheirTime) {
    ShowMessage(TMessageKind::Information, QStringLiteral("first"), QString(), &Window);
    QMessageBox* box = OpenMessageBox();
    ASSERT_NE(box, nullptr);
    ShowMessage(TMessageKind::Error, QStringLiteral("second"), QStringLiteral("Error"), &Window);
    ShowMessage(TMessageKind::Information, QStringLiteral("third"), QString(), &Window);
    EXPECT_EQ(OpenMessageBox(), box);
    EXPECT_EQ(VisibleBoxes(), 1);
    const QRegularExpression joined(QStringLiteral(
        "^\\d\\d:\\d\\d:\\d\\d  first\\n\\n\\d\\d:\\d\\d:\\d\\d  second\\n\\n\\d\\d:\\d\\d:\\d\\d  third$"));
    EXPECT_TRUE(joined.match(Shown(box)).hasMatch()) << Shown(box).toStdString();
    // An error among them makes it an error box.
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->windowTitle(), "Error");

    // Grown too long for the screen, the box shows the newest and keeps all of them in its details.
    const QString lengthy = QStringLiteral("Byte values: ") + QStringLiteral("41 ").repeated(700);
    ShowMessage(TMessageKind::Information, lengthy, QString(), &Window);
    EXPECT_EQ(OpenMessageBox(), box);
    for (const char* text : {"first", "second", "third", "Byte values: 41 41"})
        EXPECT_TRUE(box->detailedText().contains(QString::fromLatin1(text))) << text;
    EXPECT_TRUE(Shown(box).contains("Byte values: 41")) << Shown(box).toStdString();
    EXPECT_TRUE(Shown(box).endsWith("(3 earlier messages are in the details.)")) << Shown(box).toStdString();

    // Once read and closed, the next message has a box of its own again.
    box->close();
    ShowMessage(TMessageKind::Information, QStringLiteral("fourth"), QString(), &Window);
    ASSERT_NE(OpenMessageBox(), nullptr);
    EXPECT_EQ(Shown(OpenMessageBox()), "fourth");
    EXPECT_EQ(OpenMessageBox()->icon(), QMessageBox::Information);
}

TEST_F(MessageBoxTest, OnlyATextTooLongForTheScreenScrollsInTheDetails) {
    const QRect screen = Window.screen()->availableGeometry();
    struct TRow {
        const char* What;
        QString Text;
        bool Scrolls;
    };
    QString bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += QStringLiteral("%1 ").arg(i % 256, 2, 16, QLatin1Char('0'));
    const TRow rows[] = {
        {"a long run without blanks wraps in the box",
         QStringLiteral("Text string is \"%1\"").arg(QString(200, 'A')), false},
        {"thousands of decoded bytes scroll", QStringLiteral("Byte values: ") + bytes.trimmed(), true},
        {"many lines scroll", QStringLiteral("line\n").repeated(60).trimmed(), true},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        ShowMessage(TMessageKind::Information, row.Text, QString(), &Window);
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Information) << "the kind stays";
        if (row.Scrolls) {
            EXPECT_EQ(box->detailedText(), row.Text) << "nothing is lost";
            EXPECT_TRUE(row.Text.startsWith(Shown(box).chopped(2))) << Shown(box).toStdString();
        } else {
            EXPECT_EQ(Shown(box), row.Text);
            EXPECT_TRUE(box->detailedText().isEmpty());
        }
        EXPECT_LE(box->frameGeometry().width(), screen.width());
        EXPECT_LE(box->frameGeometry().height(), screen.height());
        box->close();
    }
}

TEST_F(MessageBoxTest, BoxesAndDialogsAreOpenedClearOfTheStopControls) {
    // A stop button right where a centred box would go.
    auto* stop = new QPushButton(QStringLiteral("Stop"), &Window);
    stop->setGeometry(150, 100, 300, 200);
    MarkKeepClear(stop);
    stop->show();
    const QRect keep(stop->mapToGlobal(QPoint(0, 0)), stop->size());
    const QRect screen = Window.screen()->availableGeometry();

    ShowMessage(TMessageKind::Error, QStringLiteral("Command MOVE failed: The device is not initialized"),
                QStringLiteral("Error"), &Window);
    QMessageBox* box = OpenMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->frameGeometry().intersects(keep));
    EXPECT_TRUE(screen.contains(box->frameGeometry()));

    QDialog dialog(&Window);
    dialog.resize(280, 120);
    dialog.show();
    PlaceClearOf(&dialog, &Window);
    EXPECT_FALSE(dialog.frameGeometry().intersects(keep));
    EXPECT_TRUE(screen.contains(dialog.frameGeometry()));
}
