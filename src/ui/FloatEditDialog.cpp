#include "ui/FloatEditDialog.h"

#include "ui/DialogCentering.h"
#include "platform/ErrorGuard.h"
#include "widgets/FloatEdit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>
#include <stdexcept>

namespace {
constexpr int TrackMax = 200;

void Hint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}
} // namespace

TFloatEditDlg::TFloatEditDlg(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle(QStringLiteral("Change Value"));
    setMinimumWidth(300);

    pnDescription = new QLabel(QStringLiteral("Please enter a new value"), this);
    pnDescription->setObjectName(QStringLiteral("pnDescription"));
    pnDescription->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnDescription->setMargin(6);

    tb = new QSlider(Qt::Horizontal, this);
    tb->setObjectName(QStringLiteral("tb"));
    tb->setRange(0, TrackMax);
    tb->setPageStep(10);
    Hint(tb, QStringLiteral("Drag to choose a value within the allowed range"));

    ed = new TFloatEdit(this);
    ed->setObjectName(QStringLiteral("ed"));
    QFont bold = ed->font();
    bold.setBold(true);
    ed->SetErrorFont(bold);
    ed->SetErrorTextColor(Qt::red);
    ed->SetRange(2, 65);
    ed->setText(QStringLiteral("50"));
    ed->setFixedWidth(ed->fontMetrics().horizontalAdvance(QStringLiteral("-0000.000")) + 16);
    Hint(ed, QStringLiteral("Enter the new value; an entry outside the allowed range is shown in red"));

    lbUnit = new QLabel(QStringLiteral("mm/s²"), this);
    lbUnit->setObjectName(QStringLiteral("lbUnit"));
    lbUnit->setBuddy(ed);

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    Hint(btnOk, QStringLiteral("Take the value"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    Hint(btnCancel, QStringLiteral("Keep the old value"));

    auto* middle = new QHBoxLayout;
    middle->addWidget(tb, 1);
    middle->addSpacing(6);
    middle->addWidget(ed);
    middle->addSpacing(6);
    middle->addWidget(lbUnit);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnOk);
    buttons->addStretch(1);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnDescription);
    layout->addLayout(middle);
    layout->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(tb, ed);
    setTabOrder(ed, btnOk);
    setTabOrder(btnOk, btnCancel);

    connect(tb, &QSlider::valueChanged, this, [this] { RunGuarded([this] { tbChange(); }); });
    ed->OnNumericChange = [this](QObject*) { edNumericChange(); };
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { accept(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { RunGuarded([this] { reject(); }); });
    edNumericChange();
}

void TFloatEditDlg::SetUnit(const QString& Unit) {
    lbUnit->setText(Unit);
}

void TFloatEditDlg::SetMinValue(double V) {
    ed->SetMinValue(V);
}

void TFloatEditDlg::SetMaxValue(double V) {
    ed->SetMaxValue(V);
}

void TFloatEditDlg::SetValue(double V) {
    ed->SetValue(V);
    // Even when the edit held this value already and so reported nothing.
    edNumericChange();
}

bool TFloatEditDlg::Execute() {
    ed->setFocus();
    ed->selectAll();
    return ExecDialogCentered(this);
}

double TFloatEditDlg::Value() {
    try {
        return ed->Value();
    } catch (const EConvertError&) {
        throw std::runtime_error("Edit field does not contain a valid number");
    }
}

void TFloatEditDlg::tbChange() {
    // A position written by the edit is no new input.
    if (FSyncing)
        return;
    const double min = ed->MinValue(), max = ed->MaxValue();
    const double v = min + (tb->value() / double(TrackMax)) * (max - min);
    const QScopedValueRollback<bool> syncing(FSyncing, true);
    ed->SetValue(std::nearbyint(v * 10) / 10);
}

void TFloatEditDlg::edNumericChange() {
    // A value written by the track bar is rounded; moving the bar to it would make it jump.
    if (FSyncing)
        return;
    const double min = ed->MinValue(), max = ed->MaxValue();
    const double v = ed->Value();
    const int pos = max - min <= 0 ? 0 : int(std::nearbyint((v - min) / (max - min) * TrackMax));
    const QScopedValueRollback<bool> syncing(FSyncing, true);
    tb->setValue(pos);
}
