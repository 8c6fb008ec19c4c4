#include "MessageBox.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// A message box wraps at blanks only: a long text without any (a decoded selection) would run
// past its edge. Such a text gets a box that wraps anywhere and scrolls.
constexpr qsizetype LongMessageLength = 120;

void ShowLongMessage(const TMessage& Message) {
    QDialog box(Message.Parent);
    box.setObjectName(QStringLiteral("LongMessageBox"));
    box.setWindowTitle(Message.Caption.isEmpty() ? QCoreApplication::applicationName() : Message.Caption);
    auto* text = new QPlainTextEdit(&box);
    text->setObjectName(QStringLiteral("LongMessageText"));
    text->setReadOnly(true);
    text->setWordWrapMode(QTextOption::WrapAnywhere);
    text->setPlainText(Message.Text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(text);
    layout->addWidget(buttons);
    box.resize(520, 260);
    box.exec();
}

} // namespace

TMessageHook MessageBoxHook() {
    return [](const TMessage& Message) {
        if (Message.Text.size() > LongMessageLength) {
            ShowLongMessage(Message);
            return;
        }
        const QMessageBox::Icon icon =
            Message.Kind == TMessageKind::Error ? QMessageBox::Critical : QMessageBox::Information;
        QMessageBox box(icon, Message.Caption, Message.Text, QMessageBox::Ok, Message.Parent);
        box.exec();
    };
}
