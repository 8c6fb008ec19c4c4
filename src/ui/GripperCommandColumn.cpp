#include "ui/GripperCommandColumn.h"

#include "platform/ErrorGuard.h"
#include "widgets/FloatEdit.h"
#include "ui/FloatEditDialog.h"
#include "ui/GripperPanels.h"
#include "ui/MainFormBaseClass.h"
#include "platform/OnScreen.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>

namespace {
using TColumn = TGripperCommandColumn;

bool Succeeded(TStat Status) {
    return Status == E_SUCCESS || Status == E_CMD_PENDING;
}

// The column, top to bottom: acceleration and force limit, the three motion panels, then homing,
// stop and the fast-stop acknowledgement.
struct TValuePanelRow {
    const char* Name;
    const char* Title;
    QRgb Band;
    const char* Caption;
    const char* Value;
    const char* Initial;
    const char* Meaning;
    TButtonDef Button;
    void (TColumn::*Click)();
    // The setting: its unit, the value dialog's title, the decimals shown, the failure's prefix,
    // the value until the device's is read, its range among the limits, and how it is read and set.
    const char* Unit;
    const char* DialogTitle;
    int Decimals;
    const char* Failure;
    float Start;
    float TZEL::*Min;
    float TZEL::*Max;
    TStat (TZEL::*Get)(float&);
    TStat (TZEL::*Set)(float);
};

const TValuePanelRow ValuePanels[] = {
    {"pnAcc", "ACC ", 0x5b8cc8, "Acceleration:", "lbAcc", "500 mm/s²", "Finger acceleration",
     {"btnAcc", "Change", "Set a new finger acceleration"}, &TColumn::btnAccClick, "mm/s²", "Change Acceleration", 0,
     "Error while setting acceleration: ", 500, &TZEL::MinAcceleration, &TZEL::MaxAcceleration,
     &TZEL::GetAcceleration, &TZEL::SetAcceleration},
    {"pnForce", "FORCE ", 0x8a6fc0, "Grasping Force Limit:", "lbForce", "20 N", "Grasping force limit",
     {"btnForce", "Change", "Set a new grasping force limit"}, &TColumn::btnForceClick, "N", "Change Force Limit", 1,
     "Error while setting force limit: ", 20, &TZEL::MinForce, &TZEL::NominalForce, &TZEL::GetForceLimit,
     &TZEL::SetForceLimit},
};

enum TSettingRow { AccelerationRow, ForceLimitRow };

struct TMotionPanelRow {
    const char* Name;
    const char* Title;
    QRgb Band;
    TValueRowDef Rows[2];
    TButtonDef Button;
    void (TColumn::*Click)();
    // What the button sends with the two values, and the prefix of its failure.
    TStat (TZEL::*Send)(float, float, TAsyncResultEvent);
    const char* Failure;
};

enum TMotionRow { MoveRow, GraspRow, ReleaseRow };

const TMotionPanelRow MotionPanels[] = {
    {"pnGoto", "MOVE ", 0x3fa35b,
     {{"Target position", "edGotoPos", "50", "mm", 65, "tbGotoPos"},
      {"Speed", "edGotoSpeed", "50", "mm/s", 60, "tbGotoSpeed"}},
     {"btnMove", "&Move", "Move the fingers to the given position (pre-positioning mode)"},
     &TColumn::btnMoveClick, &TZEL::Move, "Error while starting to move: "},
    {"pnGrasp", "GRASP  ", 0xd08a1e,
     {{"Nominal part width", "edGraspingPos", "8", "mm", 65, "tbGraspingPos"},
      {"Grasping speed", "edGraspingSpeed", "50", "mm/s", 60, "tbGraspingSpeed"}},
     {"btnGrasp", "&Grasp", "Grasp a part with the given width"}, &TColumn::btnGraspClick, &TZEL::Grasp,
     "Error while starting to grasp: "},
    {"pnRelease", "RELEASE  ", 0x2b9aa0,
     {{"Release position", "edReleasePos", "50", "mm", 65, "tbReleasePos"},
      {"Release speed", "edReleaseSpeed", "50", "mm/s", 60, "tbReleaseSpeed"}},
     {"btnRelease", "&Release", "Release a previously grasped part"}, &TColumn::btnReleaseClick, &TZEL::Release,
     "Error while starting to release: "},
};

struct TTextPanelRow {
    const char* Name;
    const char* Title;
    QRgb Band;
    const char* Text;
    TButtonDef Button;
    void (TColumn::*Click)();
    bool HomingDirection; // the direction list goes below the text
};

enum TTextRow { HomingRow, StopRow, AcknowledgeRow };

const TTextPanelRow TextPanels[] = {
    {"pnHoming", "HOME", 0x6d7b8a, "Execute a homing sequence on the device. Direction:",
     {"btnHoming", "Homing", "Execute a homing sequence in the given direction"}, &TColumn::btnHomingClick, true},
    {"pnStop", "STOP ", 0xc83c3c, "Pressing \"Stop\" will immediately stop the movement of the gripper.",
     {"btnStop", "Stop", "Stop a movement immediately"}, &TColumn::btnStopClick, false},
    {"pnFastStopAcknowledge", "ACK", 0xb04c8c,
     "Acknowledge the FAST STOP state of the device and return back to operating mode.",
     {"btnFastStopAcknowledge", "OK", "Acknowledge the FAST STOP state"}, &TColumn::btnFastStopAcknowledgeClick,
     false},
};

void SetEditRange(TFloatEdit* Edit, double Min, double Max, const QString& Unit) {
    Edit->SetMinValue(Min);
    Edit->SetMaxValue(Max);
    if (!Edit->Valid())
        Edit->SetValue(Min);
    SetHint(Edit, QStringLiteral("Input range: %1 to %2 %3").arg(FormatNumber(Min, 2), FormatNumber(Max, 2), Unit));
}

void SetDefault(TFloatEdit* Edit, double Value) {
    Edit->clear();
    Edit->SetValue(std::nearbyint(Value));
}
} // namespace

TGripperCommandColumn::TGripperCommandColumn(TZEL& Zel, QWidget* Parent) : QScrollArea(Parent), FZel(Zel) {
    setObjectName(QStringLiteral("sbCommands"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("sbCommandsContent"));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);
    BuildValuePanels(column);
    BuildMotionPanels(column);
    BuildTextPanels(column);
    column->addStretch(1);
    setWidget(content);
    for (TMotionPanel* p : FMotionPanels)
        for (int row = 0; row < 2; ++row)
            p->FloatEditChange(p->Edit(row));
}

void TGripperCommandColumn::AddPanel(QBoxLayout* Column, TCommandPanel* Added,
                                     void (TGripperCommandColumn::*Click)()) {
    connect(Added->Button(), &QPushButton::clicked, this, Guarded(this, Click));
    Column->addWidget(Added);
    FPanels.push_back(Added);
}

void TGripperCommandColumn::BuildValuePanels(QBoxLayout* Column) {
    for (size_t i = 0; i < std::size(ValuePanels); ++i) {
        const TValuePanelRow& r = ValuePanels[i];
        auto* p = new TValuePanel(r.Name, QString::fromUtf8(r.Title), QColor(r.Band), QString::fromUtf8(r.Caption),
                                  r.Value, QString::fromUtf8(r.Initial), r.Button, Column->parentWidget());
        p->Value()->setAccessibleDescription(QString::fromUtf8(r.Meaning));
        FSettings[i].Panel = p;
        FSettings[i].Value = r.Start;
        AddPanel(Column, p, r.Click);
    }
}

void TGripperCommandColumn::BuildMotionPanels(QBoxLayout* Column) {
    int captionWidth = 0; // one column of edits through the motion panels
    for (const TMotionPanelRow& r : MotionPanels) {
        auto* p = new TMotionPanel(r.Name, QString::fromUtf8(r.Title), QColor(r.Band), r.Rows, r.Button,
                                   Column->parentWidget());
        for (int row = 0; row < 2; ++row)
            captionWidth = std::max(captionWidth, p->Caption(row)->sizeHint().width());
        connect(p, &TMotionPanel::ValuesChanged, this, [this] { UpdateMotionButtons(); });
        FMotionPanels.push_back(p);
        AddPanel(Column, p, r.Click);
    }
    for (TMotionPanel* p : FMotionPanels)
        for (int row = 0; row < 2; ++row)
            p->Caption(row)->setMinimumWidth(captionWidth);
}

void TGripperCommandColumn::BuildTextPanels(QBoxLayout* Column) {
    QWidget* content = Column->parentWidget();
    cbHomingDir = new QComboBox(content);
    cbHomingDir->setObjectName(QStringLiteral("cbHomingDir"));
    cbHomingDir->addItems({QStringLiteral("default"), QStringLiteral("inwards"), QStringLiteral("outwards")});
    cbHomingDir->setCurrentIndex(-1);
    cbHomingDir->setAccessibleName(QStringLiteral("Homing direction"));
    TCommandPanel* text[std::size(TextPanels)] = {};
    for (size_t i = 0; i < std::size(TextPanels); ++i) {
        const TTextPanelRow& r = TextPanels[i];
        text[i] = new TTextPanel(r.Name, QString::fromUtf8(r.Title), QColor(r.Band), QString::fromUtf8(r.Text),
                                 r.Button, i == HomingRow ? cbHomingDir : nullptr, content);
        AddPanel(Column, text[i], r.Click);
    }
    // Escape stops the fingers as the cancel-style button of the window.
    text[StopRow]->Button()->setShortcut(Qt::Key_Escape);
    MarkKeepClear(text[StopRow]);
    btnFastStopAcknowledge = text[AcknowledgeRow]->Button();
    btnFastStopAcknowledge->setEnabled(false);
}

std::pair<int, int> TGripperCommandColumn::MeasureWidths() {
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int wide = widget()->minimumSizeHint().width() + scrollBar;
    for (TCommandPanel* p : FPanels)
        p->SetCompact(true);
    const int compact = widget()->minimumSizeHint().width() + scrollBar;
    for (TCommandPanel* p : FPanels)
        p->SetCompact(false);
    return {wide, compact};
}

void TGripperCommandColumn::SetCompact(bool Compact) {
    for (TCommandPanel* p : FPanels)
        if (p->Compact() != Compact)
            p->SetCompact(Compact);
}

// The order of the column: each panel's values, then its button.
QList<QWidget*> TGripperCommandColumn::TabOrder() const {
    QList<QWidget*> order;
    for (TCommandPanel* p : FPanels) {
        if (auto* m = qobject_cast<TMotionPanel*>(p))
            for (int row = 0; row < 2; ++row)
                order << m->Edit(row) << m->TrackBar(row);
        if (p->isAncestorOf(cbHomingDir))
            order << cbHomingDir;
        order << p->Button();
    }
    return order;
}

void TGripperCommandColumn::EnableCommands(bool Enabled) {
    SetControlsEnabled(widget(), Enabled);
    FEnabled = Enabled;
    UpdateMotionButtons();
}

void TGripperCommandColumn::SetAcknowledgeEnabled(bool Enabled) {
    btnFastStopAcknowledge->setEnabled(Enabled);
}

void TGripperCommandColumn::UpdateMotionButtons() {
    for (TMotionPanel* p : FMotionPanels)
        p->Button()->setEnabled(FEnabled && p->ValuesValid());
}

void TGripperCommandColumn::ApplyLimits() {
    if (cbHomingDir->currentIndex() < 0)
        cbHomingDir->setCurrentIndex(0);
    const TZEL& z = FZel;
    for (size_t i = 0; i < std::size(ValuePanels); ++i) {
        FSettings[i].Min = z.*ValuePanels[i].Min;
        FSettings[i].Max = z.*ValuePanels[i].Max;
    }
    for (TMotionRow row : {GraspRow, ReleaseRow, MoveRow}) {
        SetEditRange(FMotionPanels[row]->Edit(0), 0, z.Stroke, QStringLiteral("mm"));
        SetEditRange(FMotionPanels[row]->Edit(1), z.MinSpeed, z.MaxSpeed, QStringLiteral("mm/s"));
    }

    for (size_t i = 0; i < std::size(ValuePanels); ++i)
        std::invoke(ValuePanels[i].Get, FZel, FSettings[i].Value);
    for (size_t i = 0; i < std::size(ValuePanels); ++i)
        ShowSetting(int(i));

    const double stroke = z.Stroke;
    const double speedSum = double(z.MinSpeed) + double(z.MaxSpeed);
    SetDefault(FMotionPanels[GraspRow]->Edit(0), stroke / 3);
    SetDefault(FMotionPanels[ReleaseRow]->Edit(0), stroke / 3 * 2);
    SetDefault(FMotionPanels[MoveRow]->Edit(0), stroke / 2);
    SetDefault(FMotionPanels[GraspRow]->Edit(1), std::min(speedSum / 2, 50.0));
    SetDefault(FMotionPanels[ReleaseRow]->Edit(1), speedSum / 3 * 2);
    SetDefault(FMotionPanels[MoveRow]->Edit(1), std::min(speedSum / 2, 50.0));
}

// ---- handlers

void TGripperCommandColumn::SendMotion(int Row) {
    const TMotionPanelRow& r = MotionPanels[Row];
    const TMotionPanel* p = FMotionPanels[size_t(Row)];
    const TStat s = (FZel.*r.Send)(float(p->Edit(0)->Value()), float(p->Edit(1)->Value()), OnResult);
    if (!Succeeded(s))
        ShowCommandFailure(QString::fromUtf8(r.Failure), s, window());
}

void TGripperCommandColumn::btnMoveClick() {
    SendMotion(MoveRow);
}

void TGripperCommandColumn::btnGraspClick() {
    SendMotion(GraspRow);
}

void TGripperCommandColumn::btnReleaseClick() {
    SendMotion(ReleaseRow);
}

void TGripperCommandColumn::btnHomingClick() {
    // The list reads default, inwards, outwards; the device counts default 0, outwards 1, inwards 2.
    uint8_t direction = TZEL::HomeDefault;
    if (cbHomingDir->currentIndex() == 1)
        direction = TZEL::HomeInwards;
    else if (cbHomingDir->currentIndex() == 2)
        direction = TZEL::HomeOutwards;
    const TStat r = FZel.Homing(direction, OnResult);
    if (!Succeeded(r))
        ShowCommandFailure(QStringLiteral("Error while homing: "), r, window());
}

void TGripperCommandColumn::btnStopClick() {
    const TStat r = FZel.Stop();
    if (!Succeeded(r))
        ShowCommandFailure(QStringLiteral("Error while stopping: "), r, window());
}

void TGripperCommandColumn::btnFastStopAcknowledgeClick() {
    if (FZel.FastStopAck() == E_SUCCESS && OnFastStopAcknowledged)
        OnFastStopAcknowledged();
}

void TGripperCommandColumn::btnAccClick() {
    ChangeSetting(AccelerationRow);
}

void TGripperCommandColumn::btnForceClick() {
    ChangeSetting(ForceLimitRow);
}

TFloatEditDlg* TGripperCommandColumn::ValueDialog() {
    if (!FValueDlg)
        FValueDlg = new TFloatEditDlg(window());
    return FValueDlg;
}

// The value dialog starts at the current value within the limits; a value the device refused is
// not shown as its own.
void TGripperCommandColumn::ChangeSetting(int Row) {
    const TValuePanelRow& r = ValuePanels[Row];
    TSetting& setting = FSettings[Row];
    TFloatEditDlg* dialog = ValueDialog();
    dialog->SetUnit(QString::fromUtf8(r.Unit));
    dialog->setWindowTitle(QString::fromUtf8(r.DialogTitle));
    dialog->SetMinValue(setting.Min);
    dialog->SetMaxValue(setting.Max);
    dialog->SetValue(setting.Value);
    if (!dialog->Execute())
        return;
    const double v = dialog->Value();
    const TStat s = (FZel.*r.Set)(float(v));
    if (!Succeeded(s)) {
        ShowCommandFailure(QString::fromUtf8(r.Failure), s, window());
        return;
    }
    setting.Value = float(v);
    ShowSetting(Row);
}

void TGripperCommandColumn::ShowSetting(int Row) {
    const TValuePanelRow& r = ValuePanels[Row];
    FSettings[Row].Panel->Value()->setText(FormatNumber(FSettings[Row].Value, r.Decimals) + QLatin1Char(' ') +
                                           QString::fromUtf8(r.Unit));
}
