#include "ui/GripperStateColumn.h"

#include "ui/ConsoleApplication.h"
#include "platform/ErrorGuard.h"
#include "ui/GripperPanels.h"
#include "platform/InstallLayout.h"
#include "platform/OnScreen.h"
#include "widgets/RollPanel.h"
#include "ui/StopKey.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

namespace {
const QString NotAvailable = QStringLiteral("[n/a]");

QLabel* BuddyLabel(const QString& Text, QWidget* Buddy, QWidget* Parent) {
    auto* l = new QLabel(Text, Parent);
    l->setBuddy(Buddy);
    return l;
}

// Colours of the live values on the state panel's black ground.
const QColor HealthyColor(0x4c, 0xff, 0x6a);
const QColor ErrorColor(0xff, 0x4c, 0x4c);
const QColor NeutralColor(0xb0, 0xb0, 0xb0);

void SetTextColor(QWidget* W, const QColor& Color) {
    QPalette p = W->palette();
    p.setColor(QPalette::WindowText, Color);
    p.setColor(QPalette::Text, Color);
    W->setPalette(p);
}

// The large bold text of the gripper's values and of the fast-stop button. One size for both: every
// further size and weight costs the start a font of its own to match, load and shape with.
QFont EmphasisFont(QFont Base) {
    Base.setBold(true);
    Base.setPointSizeF(Base.pointSizeF() * 1.25);
    return Base;
}

// A red octagon with a white bar: the fast-stop picture.
QIcon FastStopIcon() {
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45.0 * i) * M_PI / 180.0;
        octagon << QPointF(32 + 30 * std::cos(a), 32 + 30 * std::sin(a));
    }
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(QColor(200, 16, 16));
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(14, 27, 36, 10), 2, 2);
    return QIcon(pm);
}
} // namespace

// ---- the fast-stop panel

TFastStopPanel::TFastStopPanel(TZEL& Zel, QWidget* Window, QWidget* Parent) : QFrame(Parent), FZel(Zel) {
    setObjectName(QStringLiteral("pnEmergency"));
    setFrameShape(QFrame::StyledPanel);
    auto* e = new QVBoxLayout(this);
    e->setContentsMargins(6, 6, 6, 6);
    e->setSpacing(4);
    BuildButton(Window);
    imgGripper = new QLabel(this);
    imgGripper->setObjectName(QStringLiteral("imgGripper"));
    imgGripper->setAlignment(Qt::AlignCenter);
    imgGripper->setPixmap(ConsolePicture());
    imgGripper->setAccessibleName(QStringLiteral("Gripper picture"));
    BuildLink();
    e->addWidget(btnEmergencyStop);
    e->addWidget(imgGripper);
    e->addWidget(lbWebSite);
}

void TFastStopPanel::BuildButton(QWidget* Window) {
    btnEmergencyStop = new QPushButton(QStringLiteral("Fast Stop!"), this);
    btnEmergencyStop->setObjectName(QStringLiteral("btnEmergencyStop"));
    SetHint(btnEmergencyStop,
            QStringLiteral("Issue a FAST STOP command, key %1 from every window of the console "
                           "(To acknowledge a FAST STOP, use the \"OK\" button of the \"ACK\" panel)")
                .arg(TStopKey::KeyName()));
    // Nothing the console opens may cover the stops, and the stop key reaches them from anywhere.
    MarkKeepClear(this);
    new TStopKey(Window, [this] { btnEmergencyStop->click(); });
    btnEmergencyStop->setCheckable(true);
    btnEmergencyStop->setIcon(FastStopIcon());
    btnEmergencyStop->setIconSize(QSize(48, 48));
    btnEmergencyStop->setMinimumHeight(72);
    btnEmergencyStop->setFont(EmphasisFont(btnEmergencyStop->font()));
    btnEmergencyStop->setStyleSheet(QStringLiteral(
        "QPushButton { background: #d42a2a; color: white; border: 2px outset #8a1010; border-radius: 6px; "
        "padding: 6px; }"
        "QPushButton:checked { background: #8a1010; border-style: inset; }"
        "QPushButton:focus { border-color: #ffd400; }"
        "QPushButton:disabled { background: #b9a5a5; color: #eeeeee; border-color: #9a8a8a; }"));
    connect(btnEmergencyStop, &QPushButton::clicked, this, Guarded(this, &TFastStopPanel::btnEmergencyStopClick));
}

void TFastStopPanel::BuildLink() {
    lbWebSite = new QLabel(this);
    lbWebSite->setObjectName(QStringLiteral("lbWebSite"));
    lbWebSite->setAlignment(Qt::AlignCenter);
    const QString readme = FindReadme();
    if (readme.isEmpty()) {
        lbWebSite->setText(QStringLiteral("Documentation: README.md"));
    } else {
        lbWebSite->setText(QStringLiteral("<a href=\"%1\">Documentation (README)</a>")
                               .arg(QUrl::fromLocalFile(readme).toString().toHtmlEscaped()));
        lbWebSite->setOpenExternalLinks(true);
        lbWebSite->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    }
    SetHint(lbWebSite, QStringLiteral("Open the console's documentation"));
}

QString TFastStopPanel::FindReadme() {
    return InstallLayout::Readme(QCoreApplication::applicationDirPath());
}

bool TFastStopPanel::Pressed() const {
    return btnEmergencyStop->isChecked();
}

void TFastStopPanel::SetPressed(bool Pressed) {
    btnEmergencyStop->setChecked(Pressed);
}

void TFastStopPanel::EnableStop(bool Enabled) {
    btnEmergencyStop->setEnabled(Enabled);
}

void TFastStopPanel::ShowPicture(bool Shown) {
    imgGripper->setVisible(Shown);
}

QList<QWidget*> TFastStopPanel::TabOrder() const {
    return {btnEmergencyStop, lbWebSite};
}

void TFastStopPanel::btnEmergencyStopClick() {
    // Should the exchange fail, the button shows what the device last reported.
    auto fallback = qScopeGuard(
        [this] { btnEmergencyStop->setChecked((FZel.SystemState & TGripperStateColumn::FastStopFlag) != 0); });
    const TStat r = FZel.FastStop();
    fallback.dismiss();
    btnEmergencyStop->setChecked(r == E_SUCCESS);
}

// ---- the state column

TGripperStateColumn::TGripperStateColumn(TZEL& Zel, QWidget* Window) : QWidget(Window), FZel(Zel) {
    setObjectName(QStringLiteral("StateColumn"));
    FValueHold = new QTimer(this);
    FValueHold->setSingleShot(true);
    FValueHold->setInterval(15);
    connect(FValueHold, &QTimer::timeout, this, [this] {
        RunGuarded([this] {
            if (FEnabled)
                ShowValues();
        });
    });

    auto* state = new QWidget;
    state->setObjectName(QStringLiteral("sbStateContent"));
    auto* stateLayout = new QVBoxLayout(state);
    stateLayout->setContentsMargins(0, 0, 0, 0);
    stateLayout->addWidget(BuildPositionPanel());
    stateLayout->addWidget(BuildFlagsPanel());
    stateLayout->addStretch(1);

    pnEmergency = new TFastStopPanel(FZel, Window, this);
    auto* right = new QVBoxLayout(this);
    right->setContentsMargins(0, 0, 0, 0);
    sbState = new QScrollArea(this);
    sbState->setObjectName(QStringLiteral("sbState"));
    sbState->setWidgetResizable(true);
    sbState->setFrameShape(QFrame::NoFrame);
    sbState->setFocusPolicy(Qt::NoFocus);
    sbState->setWidget(state);
    right->addWidget(sbState, 1);
    right->addWidget(pnEmergency);
}

// Position, grasping state and force.
TRollPanel* TGripperStateColumn::BuildPositionPanel() {
    RollPanel3 = new TRollPanel(QStringLiteral("Gripper"), this);
    RollPanel3->setObjectName(QStringLiteral("RollPanel3"));
    auto* pnState = new QFrame;
    pnState->setObjectName(QStringLiteral("pnState"));
    pnState->setAutoFillBackground(true);
    QPalette pal = pnState->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, QColor(0xd0, 0xd0, 0xd0));
    pnState->setPalette(pal);
    auto* g = new QGridLayout(pnState);
    g->setColumnStretch(1, 1);
    const QFont valueFont = EmphasisFont(pnState->font());
    // The label's accessible name is its text (the value); the description says what it is.
    const auto value = [&](int Row, const QString& Text, QLabel*& Label, const QString& Name,
                           const QString& Initial, const QString& Meaning) {
        Label = new QLabel(Initial, pnState);
        Label->setObjectName(Name);
        Label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Label->setFont(valueFont);
        SetTextColor(Label, HealthyColor);
        Label->setMinimumWidth(Label->fontMetrics().horizontalAdvance(QStringLiteral("000.00 mm")));
        Label->setAccessibleDescription(Meaning);
        g->addWidget(BuddyLabel(Text, Label, pnState), Row, 0);
        g->addWidget(Label, Row, 1);
    };
    value(0, QStringLiteral("Position:"), lbPosition, QStringLiteral("lbPosition"), QStringLiteral("0 mm"),
          QStringLiteral("Finger position"));
    value(1, QStringLiteral("Grasping State:"), lbGraspingState, QStringLiteral("lbGraspingState"),
          QStringLiteral("--"), QStringLiteral("Grasping state"));
    value(2, QStringLiteral("Force:"), lbGraspingForce, QStringLiteral("lbGraspingForce"),
          QStringLiteral("0 N"), QStringLiteral("Grasping force"));
    RollPanel3->SetContent(pnState);
    return RollPanel3;
}

// The system state in hex and one box per named flag.
TRollPanel* TGripperStateColumn::BuildFlagsPanel() {
    RollPanel1 = new TRollPanel(QStringLiteral("System State"), this);
    RollPanel1->setObjectName(QStringLiteral("RollPanel1"));
    auto* flags = new QWidget;
    auto* v = new QVBoxLayout(flags);
    v->setSpacing(0);
    auto* head = new QHBoxLayout;
    head->setSpacing(6);
    lbSystemstate = new QLabel(QStringLiteral("00000000h"), flags);
    lbSystemstate->setObjectName(QStringLiteral("lbSystemstate"));
    QFont bold = lbSystemstate->font();
    bold.setBold(true);
    lbSystemstate->setFont(bold);
    lbSystemstate->setAccessibleDescription(QStringLiteral("System state flags, hexadecimal"));
    head->addWidget(BuddyLabel(QStringLiteral("State:"), lbSystemstate, flags));
    head->addWidget(lbSystemstate, 1);
    v->addLayout(head);
    v->addSpacing(4);
    for (const TSysflagDescr& f : SystemStateFlags) {
        auto* cb = new QCheckBox(QString::fromUtf8(f.Text.data(), qsizetype(f.Text.size())), flags);
        cb->setObjectName(QStringLiteral("cbFlag%1").arg(f.Mask, 8, 16, QLatin1Char('0')));
        cb->setProperty("Mask", f.Mask);
        // Shows the device's flags: the operator cannot change them.
        cb->setAttribute(Qt::WA_TransparentForMouseEvents);
        cb->setFocusPolicy(Qt::NoFocus);
        v->addWidget(cb);
        FlagBoxes.push_back(cb);
    }
    RollPanel1->SetContent(flags);
    return RollPanel1;
}

int TGripperStateColumn::FixWidth() {
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    FWidth = std::max(sbState->widget()->minimumSizeHint().width() + scrollBar,
                      pnEmergency->minimumSizeHint().width());
    setFixedWidth(FWidth);
    return FWidth;
}

void TGripperStateColumn::SetStacked(bool Stacked) {
    pnEmergency->ShowPicture(!Stacked);
    if (Stacked) {
        setMinimumWidth(0);
        setMaximumWidth(QWIDGETSIZE_MAX);
    } else {
        setFixedWidth(FWidth);
    }
}

QList<QWidget*> TGripperStateColumn::TabOrder() const {
    return QList<QWidget*>{RollPanel3->Header(), RollPanel1->Header()} + pnEmergency->TabOrder();
}

void TGripperStateColumn::EnableState(bool Enabled) {
    FEnabled = Enabled;
    pnEmergency->EnableStop(Enabled);
    if (Enabled)
        return;
    StopUpdates();
    for (QLabel* l : {lbSystemstate, lbPosition, lbGraspingForce})
        l->setText(NotAvailable);
    ShowGraspingState(NotAvailable, false);
    for (QLabel* l : {lbPosition, lbGraspingForce})
        SetTextColor(l, NeutralColor);
    for (QCheckBox* cb : FlagBoxes)
        cb->setChecked(false);
    ShowFaults(0);
}

void TGripperStateColumn::StopUpdates() {
    FValueHold->stop();
    FPositionPending = FForcePending = false;
}

// ---- device notifications

void TGripperStateColumn::SystemStateChange() {
    const uint32_t state = FZel.SystemState;
    lbSystemstate->setText(QString::asprintf("%.8Xh", unsigned(state)));
    for (QCheckBox* cb : FlagBoxes)
        cb->setChecked((state & cb->property("Mask").toUInt()) != 0);
    ShowFaults(state);
    pnEmergency->SetPressed((state & FastStopFlag) != 0);
}

void TGripperStateColumn::GraspingStateChange() {
    const uint8_t s = FZel.GraspingState;
    const std::string_view name = s < 8 ? GraspingStateNames[s] : std::string_view("--");
    ShowGraspingState(QString::fromUtf8(name.data(), qsizetype(name.size())), s == GraspingStateError);
}

void TGripperStateColumn::ShowGraspingState(const QString& Text, bool Error) {
    lbGraspingState->setText(Text);
    SetTextColor(lbGraspingState, Error ? ErrorColor : Text == NotAvailable ? NeutralColor : HealthyColor);
}

// Set fault flags in the window's error colour and bold; the others as the palette draws them.
void TGripperStateColumn::ShowFaults(uint32_t State) {
    const bool dark = window()->palette().color(QPalette::Window).lightness() < 128;
    const QColor fault = dark ? QColor(0xff, 0x70, 0x70) : QColor(0xc0, 0x00, 0x00);
    for (QCheckBox* cb : FlagBoxes) {
        const uint32_t mask = cb->property("Mask").toUInt();
        const bool shown = (State & mask & FaultFlags) != 0;
        if (cb->property("Fault").toBool() == shown)
            continue;
        cb->setProperty("Fault", shown);
        if (shown)
            SetTextColor(cb, fault);
        else
            cb->setPalette(QPalette());
        QFont f = cb->font();
        f.setBold(shown);
        cb->setFont(f);
    }
}

void TGripperStateColumn::PositionChange() {
    FPositionPending = true;
    if (!FValueHold->isActive())
        ShowValues();
}

void TGripperStateColumn::ForceChange() {
    FForcePending = true;
    if (!FValueHold->isActive())
        ShowValues();
}

void TGripperStateColumn::ShowValues() {
    if (!FPositionPending && !FForcePending)
        return;
    if (std::exchange(FPositionPending, false)) {
        if (lbPosition->text() == NotAvailable)
            SetTextColor(lbPosition, HealthyColor);
        lbPosition->setText(FormatNumber(FZel.Position, 2) + QStringLiteral(" mm"));
    }
    if (std::exchange(FForcePending, false)) {
        if (lbGraspingForce->text() == NotAvailable)
            SetTextColor(lbGraspingForce, HealthyColor);
        lbGraspingForce->setText(FormatNumber(FZel.Force, 1) + QStringLiteral(" N"));
    }
    FValueHold->start();
}
