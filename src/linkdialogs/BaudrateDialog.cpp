#include "linkdialogs/BaudrateDialog.h"

#include "linkdialogs/DialogPlacement.h"
#include "platform/ErrorGuard.h"
#include "transports/baudrate.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <stdexcept>

namespace {
// Speed codes of the list entries, in list order.
constexpr std::array<int, 8> ListCodes = {br1200,  br2400,  br4800,  br9600,
                                          br19200, br38400, br57600, br115200};
} // namespace

TBaudrateDlg::TBaudrateDlg(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Connection Properties"));
    cbBaudrate = new QComboBox(this);
    cbBaudrate->setObjectName(QStringLiteral("cbBaudrate"));
    for (int code : ListCodes)
        cbBaudrate->addItem(QStringLiteral("%1 baud").arg(BaudIndexToRate(code)));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Baudrate:"), cbBaudrate);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(cbBaudrate, &QComboBox::currentIndexChanged, this,
            [this] { RunGuarded([this] { cbBaudrateChange(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(OkCancelRow(this, btnOk, btnCancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SelectCode(br9600);
}

void TBaudrateDlg::SelectCode(int Code) {
    int pos = -1;
    for (size_t i = 0; i < ListCodes.size(); ++i)
        if (ListCodes[i] == Code)
            pos = int(i);
    cbBaudrate->setCurrentIndex(pos);
    cbBaudrateChange();
}

int TBaudrateDlg::Code() const {
    const int pos = cbBaudrate->currentIndex();
    if (pos < 0 || pos >= int(ListCodes.size()))
        throw std::runtime_error("Baudrate index undefined");
    return ListCodes[size_t(pos)];
}

bool TBaudrateDlg::Show() {
    cbBaudrate->setFocus();
    return RunCentered(this);
}

void TBaudrateDlg::cbBaudrateChange() {
    btnOk->setEnabled(cbBaudrate->currentIndex() >= 0);
}
