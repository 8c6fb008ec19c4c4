#include "linkdialogs/HostnameDialog.h"

#include "linkdialogs/DialogPlacement.h"
#include "platform/ErrorGuard.h"
#include "widgets/IntegerEdit.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <stdexcept>

THostNameDlg::THostNameDlg(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("TCP Connection"));
    auto* prompt =
        new QLabel(QStringLiteral("Please enter the Hostname or the IP Address of the device:"), this);
    edHostname = new QLineEdit(this);
    edHostname->setObjectName(QStringLiteral("edHostname"));
    edPort = new TIntegerEdit(this);
    edPort->setObjectName(QStringLiteral("edPort"));
    edPort->SetRange(1, 65535);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(edPort, &QLineEdit::textChanged, this, [this] { RunGuarded([this] { edPortChange(); }); });
    edPort->setText(QStringLiteral("1000"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Connect via port:"), edPort);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(edHostname);
    layout->addLayout(form);
    layout->addLayout(OkCancelRow(this, btnOk, btnCancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString THostNameDlg::Host() const {
    return edHostname->text();
}

void THostNameDlg::SetHost(const QString& Host) {
    edHostname->setText(Host);
}

int THostNameDlg::Port() const {
    try {
        return edPort->Value();
    } catch (const EConvertError&) {
        throw std::runtime_error("Port value is invalid");
    }
}

void THostNameDlg::SetPort(int Port) {
    edPort->setText(QString::number(Port));
}

bool THostNameDlg::Show() {
    edHostname->setFocus();
    return RunCentered(this);
}

void THostNameDlg::edPortChange() {
    btnOk->setEnabled(edPort->Valid());
}
