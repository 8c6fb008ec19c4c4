#include "ui/DeviceTagDialog.h"

#include "ui/DialogCentering.h"
#include "platform/ErrorGuard.h"
#include "platform/Ansi.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// The device keeps this many characters of a tag; more would be cut off without a word.
constexpr int MaxTagLength = 64;

void Hint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}
} // namespace

TDeviceTagDlg::TDeviceTagDlg(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle(QStringLiteral("Device Tag"));
    setMinimumSize(320, 165);

    ed = new QLineEdit(this);
    ed->setObjectName(QStringLiteral("ed"));
    ed->setMaxLength(MaxTagLength);
    Hint(ed, QStringLiteral("The tag stored in the device (up to %1 characters)").arg(MaxTagLength));

    btnApply = new QPushButton(QStringLiteral("&Apply"), this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setDefault(true);
    Hint(btnApply, QStringLiteral("Write the tag to the device"));
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setAutoDefault(false);
    Hint(btnClose, QStringLiteral("Close without writing the tag"));

    lbMessage = new QLabel(this);
    lbMessage->setObjectName(QStringLiteral("lbMessage"));
    lbMessage->setWordWrap(true);
    lbMessage->setStyleSheet(QStringLiteral("color: #c00000;"));
    lbMessage->setVisible(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnApply);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(ed);
    layout->addWidget(lbMessage);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setTabOrder(ed, btnApply);
    setTabOrder(btnApply, btnClose);

    connect(ed, &QLineEdit::textChanged, this, [this] { RunGuarded([this] { TextEdited(); }); });
    connect(btnApply, &QPushButton::clicked, this, [this] { RunGuarded([this] { accept(); }); });
    connect(btnClose, &QPushButton::clicked, this, [this] { RunGuarded([this] { reject(); }); });
}

void TDeviceTagDlg::SetTag(const QString& Tag) {
    ed->setText(Tag);
    FReadError.clear();
}

void TDeviceTagDlg::SetReadError(const QString& Reason) {
    FReadError = Reason;
}

void TDeviceTagDlg::ShowMessageText(const QString& Text) {
    lbMessage->setText(Text);
    lbMessage->setVisible(!Text.isEmpty());
}

void TDeviceTagDlg::TextEdited() {
    // Written as '?' these would change the tag without a word; refuse them here.
    const QString bad = NonAnsiCharacters(ed->text());
    if (!bad.isEmpty()) {
        ShowMessageText(QStringLiteral("The device cannot store these characters: %1").arg(bad));
        btnApply->setEnabled(false);
        return;
    }
    // An unread tag stays said while the operator types a new one.
    ShowMessageText(FReadError.isEmpty()
                        ? QString()
                        : QStringLiteral("The device tag could not be read (%1).").arg(FReadError));
    btnApply->setEnabled(true);
}

bool TDeviceTagDlg::Execute() {
    TextEdited();
    btnApply->setEnabled(false);
    ed->setFocus();
    ed->selectAll();
    return ExecDialogCentered(this);
}

QString TDeviceTagDlg::GetTag() const {
    return ed->text();
}
