#include "ui/GripperPanels.h"

#include "platform/ErrorGuard.h"
#include "widgets/FloatEdit.h"
#include "platform/MessageSeam.h"

#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>

#include <cmath>

void SetHint(QWidget* Widget, const QString& Hint) {
    Widget->setToolTip(Hint);
    Widget->setStatusTip(Hint);
}

QString FormatNumber(double Value, int Decimals) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(Value, 'f', Decimals);
}

void ShowCommandFailure(const QString& Prefix, TStat Status, QWidget* Parent) {
    ShowMessage(TMessageKind::Error, Prefix + QString::fromStdString(StatToStr(Status)), QStringLiteral("Error"),
                Parent);
}

namespace {
QLabel* BuddyLabel(const QString& Text, QWidget* Buddy, QWidget* Parent) {
    auto* l = new QLabel(Text, Parent);
    l->setBuddy(Buddy);
    return l;
}

// Re-adds Widget to Grid at the given cell (a widget is in a layout at most once).
void Place(QGridLayout* Grid, QWidget* Widget, int Row, int Column, int RowSpan = 1, int ColumnSpan = 1,
           Qt::Alignment Align = {}) {
    Grid->removeWidget(Widget);
    Grid->addWidget(Widget, Row, Column, RowSpan, ColumnSpan, Align);
}
} // namespace

TCommandPanel::TCommandPanel(const char* Name, const QString& Title, const QColor& Band,
                             const TButtonDef& Button, QWidget* Parent)
    : TBandPanel(Title, Band, Parent) {
    setObjectName(QLatin1String(Name));
    FGrid = new QGridLayout(Content());
    FButton = new QPushButton(QString::fromUtf8(Button.Text), Content());
    FButton->setObjectName(QLatin1String(Button.Name));
    SetHint(FButton, QString::fromUtf8(Button.Hint));
}

// The new arrangement counts at once, also for the measures asked before the next layout pass.
void TCommandPanel::Rearranged() {
    FGrid->invalidate();
    Content()->updateGeometry();
    updateGeometry();
}

TValuePanel::TValuePanel(const char* Name, const QString& Title, const QColor& Band, const QString& Caption,
                         const char* ValueName, const QString& Initial, const TButtonDef& Button,
                         QWidget* Parent)
    : TCommandPanel(Name, Title, Band, Button, Parent) {
    FValue = new QLabel(Initial, Content());
    FValue->setObjectName(QLatin1String(ValueName));
    FValue->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FCaption = BuddyLabel(Caption, FButton, Content());
    FGrid->setColumnStretch(1, 1);
    SetCompact(false);
}

void TValuePanel::SetCompact(bool Compact) {
    TCommandPanel::SetCompact(Compact);
    if (Compact) {
        Place(FGrid, FCaption, 0, 0, 1, 3);
        Place(FGrid, FValue, 1, 0, 1, 2);
        Place(FGrid, FButton, 1, 2);
    } else {
        Place(FGrid, FCaption, 0, 0);
        Place(FGrid, FValue, 0, 1);
        Place(FGrid, FButton, 0, 2);
    }
    Rearranged();
}

TMotionPanel::TMotionPanel(const char* Name, const QString& Title, const QColor& Band,
                           const TValueRowDef (&Rows)[2], const TButtonDef& Button, QWidget* Parent)
    : TCommandPanel(Name, Title, Band, Button, Parent) {
    for (int i = 0; i < 2; ++i) {
        const TValueRowDef& def = Rows[i];
        TRow& row = FRows[i];
        const QString caption = QString::fromUtf8(def.Caption);
        const QString unit = QString::fromUtf8(def.Unit);
        row.Edit = new TFloatEdit(Content());
        row.Edit->setObjectName(QLatin1String(def.Edit));
        row.Edit->SetRange(2, def.Max);
        row.Edit->setText(QString::fromUtf8(def.Initial));
        row.Edit->setMaximumWidth(90);
        row.Edit->setAccessibleDescription(caption + QStringLiteral(" in ") + unit);
        QLocale locale;
        SetHint(row.Edit, QStringLiteral("Input range: %1 to %2 %3")
                              .arg(locale.toString(2.0, 'f', 2), locale.toString(def.Max, 'f', 2), unit));
        row.TrackBar = new QSlider(Qt::Horizontal, Content());
        row.TrackBar->setObjectName(QLatin1String(def.TrackBar));
        row.TrackBar->setRange(0, TrackBarMax);
        row.TrackBar->setMinimumWidth(TrackBarMinWidth);
        row.TrackBar->setValue(0);
        row.TrackBar->setAccessibleName(caption);
        row.Caption = BuddyLabel(caption, row.Edit, Content());
        row.Unit = new QLabel(unit, Content());
        connect(row.Edit, &QLineEdit::textChanged, this,
                [this, e = row.Edit] { RunGuarded([&] { FloatEditChange(e); }); });
        connect(row.TrackBar, &QSlider::valueChanged, this,
                [this, b = row.TrackBar] { RunGuarded([&] { TrackbarChange(b); }); });
    }
    setTabOrder(FRows[0].Edit, FRows[0].TrackBar);
    setTabOrder(FRows[0].TrackBar, FRows[1].Edit);
    setTabOrder(FRows[1].Edit, FRows[1].TrackBar);
    setTabOrder(FRows[1].TrackBar, FButton);
    Arrange();
}

bool TMotionPanel::ValuesValid() const {
    return FRows[0].Edit->Valid() && FRows[1].Edit->Valid();
}

void TMotionPanel::SetCompact(bool Compact) {
    TCommandPanel::SetCompact(Compact);
    Arrange();
}

// Wide: caption, edit, unit, track bar in one line per value, the button to the right of both.
// Compact: each caption above its edit, unit and track bar, the button below them.
void TMotionPanel::Arrange() {
    const int first = FCompact ? 0 : 1;
    for (int i = 0; i < 2; ++i) {
        const TRow& row = FRows[i];
        const int line = FCompact ? 2 * i + 1 : i;
        if (FCompact)
            Place(FGrid, row.Caption, line - 1, 0, 1, 3);
        else
            Place(FGrid, row.Caption, line, 0);
        Place(FGrid, row.Edit, line, first);
        Place(FGrid, row.Unit, line, first + 1);
        Place(FGrid, row.TrackBar, line, first + 2);
    }
    for (int c = 0; c < 5; ++c)
        FGrid->setColumnStretch(c, 0);
    FGrid->setColumnStretch(first + 2, 1);
    if (FCompact)
        Place(FGrid, FButton, 4, 0, 1, 3, Qt::AlignRight);
    else
        Place(FGrid, FButton, 0, 4, 2, 1, Qt::AlignVCenter);
    Rearranged();
}

void TMotionPanel::FloatEditChange(TFloatEdit* Sender) {
    const TRow* row = Sender == FRows[0].Edit ? &FRows[0] : Sender == FRows[1].Edit ? &FRows[1] : nullptr;
    if (!row)
        return;
    emit ValuesChanged();
    if (FSyncing || !Sender->Valid())
        return;
    const double min = Sender->MinValue();
    const double max = Sender->MaxValue();
    const int position =
        max <= min ? 0 : int(std::nearbyint((Sender->Value() - min) / (max - min) * row->TrackBar->maximum()));
    FSyncing = true;
    auto done = qScopeGuard([this] { FSyncing = false; });
    row->TrackBar->setValue(position);
}

void TMotionPanel::TrackbarChange(QSlider* Sender) {
    const TRow* row =
        Sender == FRows[0].TrackBar ? &FRows[0] : Sender == FRows[1].TrackBar ? &FRows[1] : nullptr;
    if (!row || FSyncing)
        return;
    const double min = row->Edit->MinValue();
    const double max = row->Edit->MaxValue();
    const double value =
        std::nearbyint((double(Sender->value()) / Sender->maximum() * (max - min) + min) * 10) / 10;
    FSyncing = true;
    auto done = qScopeGuard([this] { FSyncing = false; });
    row->Edit->SetValue(value);
}

TTextPanel::TTextPanel(const char* Name, const QString& Title, const QColor& Band, const QString& Text,
                       const TButtonDef& Button, QWidget* Extra, QWidget* Parent)
    : TCommandPanel(Name, Title, Band, Button, Parent) {
    auto* text = new QLabel(Text, Content());
    text->setWordWrap(true);
    FGrid->addWidget(text, 0, 0);
    if (Extra) {
        text->setBuddy(Extra);
        Extra->setParent(Content());
        FGrid->addWidget(Extra, 1, 0, Qt::AlignLeft);
    }
    FGrid->addWidget(FButton, 0, 1, Extra ? 2 : 1, 1, Qt::AlignVCenter);
    FGrid->setColumnStretch(0, 1);
}
