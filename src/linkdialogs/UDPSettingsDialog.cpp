#include "linkdialogs/UDPSettingsDialog.h"

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

namespace {
int PortOf(TIntegerEdit* Edit, const char* Message) {
    try {
        return Edit->Value();
    } catch (const EConvertError&) {
        throw std::runtime_error(Message);
    }
}
} // namespace

TUDPSettingsDlg::TUDPSettingsDlg(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("UDP Connection"));
    auto* prompt = new QLabel(QStringLiteral("Please enter the IP Address of the device:"), this);
    edHostname = new QLineEdit(this);
    edHostname->setObjectName(QStringLiteral("edHostname"));
    edTransmitPort = new TIntegerEdit(this);
    edTransmitPort->setObjectName(QStringLiteral("edTransmitPort"));
    edTransmitPort->SetRange(1, 65535);
    edListeningPort = new TIntegerEdit(this);
    edListeningPort->setObjectName(QStringLiteral("edListeningPort"));
    edListeningPort->SetRange(1, 65535);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    for (TIntegerEdit* e : {edTransmitPort, edListeningPort})
        connect(e, &QLineEdit::textChanged, this,
                [this] { RunGuarded([this] { edListeningPortChange(); }); });
    edTransmitPort->setText(QStringLiteral("1500"));
    edListeningPort->setText(QStringLiteral("1501"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Transmit Port"), edTransmitPort);
    form->addRow(QStringLiteral("Listening Port"), edListeningPort);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(edHostname);
    layout->addLayout(form);
    layout->addLayout(OkCancelRow(this, btnOk, btnCancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString TUDPSettingsDlg::Address() const {
    return edHostname->text();
}

void TUDPSettingsDlg::SetAddress(const QString& Address) {
    edHostname->setText(Address);
}

int TUDPSettingsDlg::ListeningPort() const {
    return PortOf(edListeningPort, "Listening Port value is invalid");
}

void TUDPSettingsDlg::SetListeningPort(int Port) {
    edListeningPort->setText(QString::number(Port));
}

int TUDPSettingsDlg::TransmitPort() const {
    return PortOf(edTransmitPort, "Transmit Port value is invalid");
}

void TUDPSettingsDlg::SetTransmitPort(int Port) {
    edTransmitPort->setText(QString::number(Port));
}

bool TUDPSettingsDlg::Show() {
    edHostname->setFocus();
    return RunCentered(this);
}

void TUDPSettingsDlg::edListeningPortChange() {
    btnOk->setEnabled(edTransmitPort->Valid() && edListeningPort->Valid());
}
