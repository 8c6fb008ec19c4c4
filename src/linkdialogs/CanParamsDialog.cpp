#include "linkdialogs/CanParamsDialog.h"

#include "linkdialogs/DialogPlacement.h"
#include "platform/ErrorGuard.h"
#include "widgets/IntegerEdit.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <stdexcept>
#include <string>

namespace {
struct TBitrateEntry {
    const char* Text;
    int32_t Code;
};
constexpr std::array<TBitrateEntry, 8> Entries = {{{"10 kBit/s", 13},
                                                   {"20 kBit/s", 11},
                                                   {"50 kBit/s", 9},
                                                   {"100 kBit/s", 7},
                                                   {"125 kBit/s", 6},
                                                   {"250 kBit/s", 4},
                                                   {"500 kBit/s", 2},
                                                   {"1 MBit/s", 0}}};
} // namespace

TCANParamsDlg::TCANParamsDlg(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("CAN-Bus Configuration"));

    lbInfo = new QLabel(QStringLiteral("Please select the CAN-Bus configuration. You need to select the same "
                                       "settings that you are using for the target system:"),
                        this);
    lbInfo->setObjectName(QStringLiteral("lbInfo"));
    lbInfo->setWordWrap(true);
    lbInterface = new QLabel(this);
    lbInterface->setObjectName(QStringLiteral("lbInterface"));
    lbInterface->hide();

    cbBitrate = new QComboBox(this);
    cbBitrate->setObjectName(QStringLiteral("cbBitrate"));
    cbBitrate->setEditable(true);
    cbBitrate->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& e : Entries)
        cbBitrate->addItem(QString::fromLatin1(e.Text));
    cbBitrate->setEditText(QStringLiteral("250 kbit/s"));

    edID = new TIntegerEdit(this);
    edID->setObjectName(QStringLiteral("edID"));
    edID->setText(QStringLiteral("100"));

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { accept(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { RunGuarded([this] { reject(); }); });
    connect(edID, &QLineEdit::textChanged, this, [this] { RunGuarded([this] { edIDChange(); }); });
    connect(cbBitrate, &QComboBox::editTextChanged, this, [this] { RunGuarded([this] { edIDChange(); }); });

    // The fields reach as far from the right edge as the labels start from the left, and Cancel
    // mirrors OK: the layout's equal margins give both.
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("CAN-Bus bitrate:"), this), 0, 0);
    fields->addWidget(cbBitrate, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("ID of the target system:"), this), 1, 0);
    fields->addWidget(edID, 1, 1);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnOk);
    buttons->addStretch(1);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbInfo);
    layout->addWidget(lbInterface);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    edIDChange();
}

int TCANParamsDlg::EntryOfText() const {
    const QString text = cbBitrate->currentText().trimmed();
    const int current = cbBitrate->currentIndex();
    if (current >= 0 && cbBitrate->itemText(current) == text)
        return current;
    for (int i = 0; i < cbBitrate->count(); ++i)
        if (cbBitrate->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int32_t TCANParamsDlg::GetBitrate() const {
    const int pos = EntryOfText();
    return pos < 0 ? 0 : Entries[size_t(pos)].Code;
}

void TCANParamsDlg::SetBitrate(int32_t Code) {
    for (size_t i = 0; i < Entries.size(); ++i) {
        if (Entries[i].Code == Code) {
            cbBitrate->setCurrentIndex(int(i));
            cbBitrate->setEditText(cbBitrate->itemText(int(i)));
            return;
        }
    }
    throw std::invalid_argument(std::to_string(Code) + " is not a supported bitrate");
}

int32_t TCANParamsDlg::GetId() const {
    return edID->Valid() ? edID->Value() : -1;
}

void TCANParamsDlg::SetId(int32_t Id) {
    edID->setText(QString::number(Id));
}

void TCANParamsDlg::SetInterface(const QString& Text) {
    lbInterface->setText(QStringLiteral("CAN interface: ") + Text);
    lbInterface->setVisible(!Text.isEmpty());
}

bool TCANParamsDlg::Show() {
    edIDChange();
    cbBitrate->setFocus();
    return RunCentered(this);
}

void TCANParamsDlg::edIDChange() {
    // A typed text that names no entry would silently mean code 0 (1 MBit/s); OK waits for a real choice.
    btnOk->setEnabled(edID->Valid() && EntryOfText() >= 0);
}
