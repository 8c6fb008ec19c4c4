#include "ui/ZELMainWin.h"

#include "ui/ConsoleApplication.h"

#include "widgets/FloatEdit.h"
#include "ui/FloatEditDialog.h"
#include "ui/GripperPanels.h"
#include "platform/InstallLayout.h"
#include "widgets/LineMemo.h"
#include "ui/ListBoxDialog.h"
#include "ui/LivePlotForm.h"
#include "platform/MessageSeam.h"
#include "platform/OnScreen.h"
#include "widgets/RollPanel.h"
#include "ui/StopKey.h"
#include "ZelVersion.h"
#include "zel/ZEL_commands.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

const QString TMainWin::Caption = QStringLiteral("ZEL Duruzadud");
const QString TMainWin::Version = QStringLiteral(ZEL_VERSION);

namespace {
const QString ErrorCaption = QStringLiteral("Error");

// Numbers in the user's notation, without thousands separators (as printf-style formats print them).
QString Num(double Value, int Decimals) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(Value, 'f', Decimals);
}

bool Succeeded(TStat Status) {
    return Status == E_SUCCESS || Status == E_CMD_PENDING;
}

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

// The command column, top to bottom: acceleration and force limit, the three motion panels, then
// homing, stop and the fast-stop acknowledgement.
struct TValuePanelRow {
    const char* Name;
    const char* Title;
    QRgb Band;
    const char* Caption;
    const char* Value;
    const char* Initial;
    const char* Meaning;
    TButtonDef Button;
    void (TMainWin::*Click)();
    TValuePanel* TMainWin::*Panel;
    QLabel* TMainWin::*Label;
    QPushButton* TMainWin::*Btn;
};

const TValuePanelRow ValuePanels[] = {
    {"pnAcc", "ACC ", 0x5b8cc8, "Acceleration:", "lbAcc", "500 mm/s²", "Finger acceleration",
     {"btnAcc", "Change", "Set a new finger acceleration"}, &TMainWin::btnAccClick, &TMainWin::pnAcc,
     &TMainWin::lbAcc, &TMainWin::btnAcc},
    {"pnForce", "FORCE ", 0x8a6fc0, "Grasping Force Limit:", "lbForce", "20 N", "Grasping force limit",
     {"btnForce", "Change", "Set a new grasping force limit"}, &TMainWin::btnForceClick, &TMainWin::pnForce,
     &TMainWin::lbForce, &TMainWin::btnForce},
};

struct TMotionPanelRow {
    const char* Name;
    const char* Title;
    QRgb Band;
    TValueRowDef Rows[2];
    TButtonDef Button;
    void (TMainWin::*Click)();
    TMotionPanel* TMainWin::*Panel;
    TFloatEdit* TMainWin::*Edits[2];
    QSlider* TMainWin::*TrackBars[2];
    QPushButton* TMainWin::*Btn;
};

const TMotionPanelRow MotionPanels[] = {
    {"pnGoto", "MOVE ", 0x3fa35b,
     {{"Target position", "edGotoPos", "50", "mm", 65, "tbGotoPos"},
      {"Speed", "edGotoSpeed", "50", "mm/s", 60, "tbGotoSpeed"}},
     {"btnMove", "&Move", "Move the fingers to the given position (pre-positioning mode)"},
     &TMainWin::btnMoveClick, &TMainWin::pnGoto, {&TMainWin::edGotoPos, &TMainWin::edGotoSpeed},
     {&TMainWin::tbGotoPos, &TMainWin::tbGotoSpeed}, &TMainWin::btnMove},
    {"pnGrasp", "GRASP  ", 0xd08a1e,
     {{"Nominal part width", "edGraspingPos", "8", "mm", 65, "tbGraspingPos"},
      {"Grasping speed", "edGraspingSpeed", "50", "mm/s", 60, "tbGraspingSpeed"}},
     {"btnGrasp", "&Grasp", "Grasp a part with the given width"}, &TMainWin::btnGraspClick,
     &TMainWin::pnGrasp, {&TMainWin::edGraspingPos, &TMainWin::edGraspingSpeed},
     {&TMainWin::tbGraspingPos, &TMainWin::tbGraspingSpeed}, &TMainWin::btnGrasp},
    {"pnRelease", "RELEASE  ", 0x2b9aa0,
     {{"Release position", "edReleasePos", "50", "mm", 65, "tbReleasePos"},
      {"Release speed", "edReleaseSpeed", "50", "mm/s", 60, "tbReleaseSpeed"}},
     {"btnRelease", "&Release", "Release a previously grasped part"}, &TMainWin::btnReleaseClick,
     &TMainWin::pnRelease, {&TMainWin::edReleasePos, &TMainWin::edReleaseSpeed},
     {&TMainWin::tbReleasePos, &TMainWin::tbReleaseSpeed}, &TMainWin::btnRelease},
};

struct TTextPanelRow {
    const char* Name;
    const char* Title;
    QRgb Band;
    const char* Text;
    TButtonDef Button;
    void (TMainWin::*Click)();
    TTextPanel* TMainWin::*Panel;
    QPushButton* TMainWin::*Btn;
    QComboBox* TMainWin::*Extra;
};

const TTextPanelRow TextPanels[] = {
    {"pnHoming", "HOME", 0x6d7b8a, "Execute a homing sequence on the device. Direction:",
     {"btnHoming", "Homing", "Execute a homing sequence in the given direction"}, &TMainWin::btnHomingClick,
     &TMainWin::pnHoming, &TMainWin::btnHoming, &TMainWin::cbHomingDir},
    {"pnStop", "STOP ", 0xc83c3c, "Pressing \"Stop\" will immediately stop the movement of the gripper.",
     {"btnStop", "Stop", "Stop a movement immediately"}, &TMainWin::btnStopClick, &TMainWin::pnStop,
     &TMainWin::btnStop, nullptr},
    {"pnFastStopAcknowledge", "ACK", 0xb04c8c,
     "Acknowledge the FAST STOP state of the device and return back to operating mode.",
     {"btnFastStopAcknowledge", "OK", "Acknowledge the FAST STOP state"},
     &TMainWin::btnFastStopAcknowledgeClick, &TMainWin::pnFastStopAcknowledge,
     &TMainWin::btnFastStopAcknowledge, nullptr},
};

// A vertical scroll area whose content takes the full width and scrolls only when it is taller.
QScrollArea* ColumnScroller(const QString& Name, QWidget* Content, QWidget* Parent) {
    auto* s = new QScrollArea(Parent);
    s->setObjectName(Name);
    s->setWidgetResizable(true);
    s->setFrameShape(QFrame::NoFrame);
    s->setFocusPolicy(Qt::NoFocus);
    s->setWidget(Content);
    return s;
}
} // namespace

// Outside any namespace: the macro declares the resource's initialiser where it stands.
static void InitResources() {
    Q_INIT_RESOURCE(console);
}

TMainWin::TMainWin(QWidget* Parent) : TMainWinBase(Parent) {
    InitResources();
    FormCreate();
    FinishCreate();
    setWindowTitle(Caption + QLatin1Char(' ') + Version);
}

TMainWin::~TMainWin() {
    // The device outlives this part of the window by a moment: nothing may call back into it, and
    // the link closes while the whole window still exists (closing can run the event loop).
    FZel->OnSystemStateChange.Remove(this);
    FZel->OnGraspingStateChange.Remove(this);
    FZel->OnPositionChange.Remove(this);
    FZel->OnForceChange.Remove(this);
    for (int32_t id : {TZEL::HOMING, TZEL::MOVE, TZEL::GRASP, TZEL::RELEASE})
        FZel->AsyncResults().Unregister(id);
    FValueHold->stop();
    DisconnectForClose();
}

void TMainWin::FormCreate() {
    FZel = CreateDevice<TZEL>();
    HookDevice();
    BuildCommandPanels();
    BuildStateColumn();
    BuildMenu();

    auto* central = new QWidget(this);
    FColumns = new QBoxLayout(QBoxLayout::LeftToRight, central);
    FColumns->setContentsMargins(4, 4, 4, 4);
    FColumns->addWidget(Splitter1, 1);
    FColumns->addWidget(FStateColumn);
    setCentralWidget(central);
    SetTabOrder();

    // The widths that decide the arrangement (see ArrangeForSize).
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QWidget* commands = sbCommands->widget();
    FCommandsWide = commands->minimumSizeHint().width() + scrollBar;
    for (TCommandPanel* p : FPanels)
        p->SetCompact(true);
    FCommandsCompact = commands->minimumSizeHint().width() + scrollBar;
    for (TCommandPanel* p : FPanels)
        p->SetCompact(false);
    FStateWidth = std::max(sbState->widget()->minimumSizeHint().width() + scrollBar,
                           pnEmergency->minimumSizeHint().width());
    FStateColumn->setFixedWidth(FStateWidth);

    for (TMotionPanel* p : FMotionPanels)
        for (int row = 0; row < 2; ++row)
            p->FloatEditChange(p->Edit(row));
}

void TMainWin::HookDevice() {
    FValueHold = new QTimer(this);
    FValueHold->setSingleShot(true);
    FValueHold->setInterval(15);
    connect(FValueHold, &QTimer::timeout, this, [this] {
        RunGuarded([this] {
            if (ControlsEnabled())
                ShowValues();
        });
    });
    FZel->OnSystemStateChange.Add(this, [this](TKORADevice*) { SystemStateChange(); });
    FZel->OnGraspingStateChange.Add(this, [this](TKORADevice*) { GraspingStateChange(); });
    FZel->OnPositionChange.Add(this, [this](TKORADevice*) { PositionChange(); });
    FZel->OnForceChange.Add(this, [this](TKORADevice*) { ForceChange(); });
}

void TMainWin::BuildCommandPanels() {
    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    auto* inner = new QWidget;
    inner->setObjectName(QStringLiteral("sbCommandsContent"));
    auto* column = new QVBoxLayout(inner);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);

    const auto add = [&](TCommandPanel* Panel, void (TMainWin::*Click)()) {
        connect(Panel->Button(), &QPushButton::clicked, this, Guarded(this, Click));
        column->addWidget(Panel);
        FPanels.push_back(Panel);
    };
    for (const TValuePanelRow& r : ValuePanels) {
        auto* p = new TValuePanel(r.Name, QString::fromUtf8(r.Title), QColor(r.Band), QString::fromUtf8(r.Caption),
                                  r.Value, QString::fromUtf8(r.Initial), r.Button, inner);
        p->Value()->setAccessibleDescription(QString::fromUtf8(r.Meaning));
        this->*r.Panel = p;
        this->*r.Label = p->Value();
        this->*r.Btn = p->Button();
        add(p, r.Click);
    }
    int captionWidth = 0; // one column of edits through the motion panels
    for (const TMotionPanelRow& r : MotionPanels) {
        auto* p = new TMotionPanel(r.Name, QString::fromUtf8(r.Title), QColor(r.Band), r.Rows, r.Button, inner);
        this->*r.Panel = p;
        for (int row = 0; row < 2; ++row) {
            this->*r.Edits[row] = p->Edit(row);
            this->*r.TrackBars[row] = p->TrackBar(row);
            captionWidth = std::max(captionWidth, p->Caption(row)->sizeHint().width());
        }
        this->*r.Btn = p->Button();
        connect(p, &TMotionPanel::ValuesChanged, this, [this] { UpdateMotionButtons(); });
        FMotionPanels.push_back(p);
        add(p, r.Click);
    }
    for (TMotionPanel* p : FMotionPanels)
        for (int row = 0; row < 2; ++row)
            p->Caption(row)->setMinimumWidth(captionWidth);

    cbHomingDir = new QComboBox(inner);
    cbHomingDir->setObjectName(QStringLiteral("cbHomingDir"));
    cbHomingDir->addItems({QStringLiteral("default"), QStringLiteral("inwards"), QStringLiteral("outwards")});
    cbHomingDir->setCurrentIndex(-1);
    cbHomingDir->setAccessibleName(QStringLiteral("Homing direction"));
    for (const TTextPanelRow& r : TextPanels) {
        auto* p = new TTextPanel(r.Name, QString::fromUtf8(r.Title), QColor(r.Band), QString::fromUtf8(r.Text),
                                 r.Button, r.Extra ? this->*r.Extra : nullptr, inner);
        this->*r.Panel = p;
        this->*r.Btn = p->Button();
        add(p, r.Click);
    }
    // Escape stops the fingers as the cancel-style button of the window.
    btnStop->setShortcut(Qt::Key_Escape);
    MarkKeepClear(pnStop);
    btnFastStopAcknowledge->setEnabled(false);
    column->addStretch(1);
    sbCommands = ColumnScroller(QStringLiteral("sbCommands"), inner, Splitter1);

    RollPanel2 = new TRollPanel(QStringLiteral("Asynchronous Motion Command Results"), Splitter1);
    RollPanel2->setObjectName(QStringLiteral("RollPanel2"));
    LogMemo = new TLineMemo(100);
    LogMemo->setObjectName(QStringLiteral("LogMemo"));
    LogMemo->setAccessibleName(QStringLiteral("Asynchronous motion command results"));
    RollPanel2->SetContent(LogMemo);
    Splitter1->addWidget(sbCommands);
    Splitter1->addWidget(RollPanel2);
    Splitter1->setStretchFactor(0, 3);
    Splitter1->setStretchFactor(1, 1);
}

// Position, grasping state and force.
void TMainWin::BuildPositionPanel() {
    RollPanel3 = new TRollPanel(QStringLiteral("Gripper"), this);
    RollPanel3->setObjectName(QStringLiteral("RollPanel3"));
    pnState = new QFrame;
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
}

// The system state in hex and one box per named flag.
void TMainWin::BuildFlagsPanel() {
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
}

// The fast stop, the picture and the documentation link, always in view below the state.
void TMainWin::BuildEmergencyPanel() {
    pnEmergency = new QFrame(this);
    pnEmergency->setObjectName(QStringLiteral("pnEmergency"));
    pnEmergency->setFrameShape(QFrame::StyledPanel);
    auto* e = new QVBoxLayout(pnEmergency);
    e->setContentsMargins(6, 6, 6, 6);
    e->setSpacing(4);
    btnEmergencyStop = new QPushButton(QStringLiteral("Fast Stop!"), pnEmergency);
    btnEmergencyStop->setObjectName(QStringLiteral("btnEmergencyStop"));
    SetHint(btnEmergencyStop,
            QStringLiteral("Issue a FAST STOP command, key %1 from every window of the console "
                           "(To acknowledge a FAST STOP, use the \"OK\" button of the \"ACK\" panel)")
                .arg(TStopKey::KeyName()));
    // Nothing the console opens may cover the stops, and the stop key reaches them from anywhere.
    MarkKeepClear(pnEmergency);
    new TStopKey(this, [this] { btnEmergencyStop->click(); });
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
    connect(btnEmergencyStop, &QPushButton::clicked, this, Guarded(this, &TMainWin::btnEmergencyStopClick));
    imgGripper = new QLabel(pnEmergency);
    imgGripper->setObjectName(QStringLiteral("imgGripper"));
    imgGripper->setAlignment(Qt::AlignCenter);
    imgGripper->setPixmap(ConsolePicture());
    imgGripper->setAccessibleName(QStringLiteral("Gripper picture"));
    lbWebSite = new QLabel(pnEmergency);
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
    e->addWidget(btnEmergencyStop);
    e->addWidget(imgGripper);
    e->addWidget(lbWebSite);
}

void TMainWin::BuildStateColumn() {
    BuildPositionPanel();
    BuildFlagsPanel();
    auto* state = new QWidget;
    state->setObjectName(QStringLiteral("sbStateContent"));
    auto* stateLayout = new QVBoxLayout(state);
    stateLayout->setContentsMargins(0, 0, 0, 0);
    stateLayout->addWidget(RollPanel3);
    stateLayout->addWidget(RollPanel1);
    stateLayout->addStretch(1);

    BuildEmergencyPanel();
    FStateColumn = new QWidget(this);
    FStateColumn->setObjectName(QStringLiteral("StateColumn"));
    auto* right = new QVBoxLayout(FStateColumn);
    right->setContentsMargins(0, 0, 0, 0);
    sbState = ColumnScroller(QStringLiteral("sbState"), state, FStateColumn);
    right->addWidget(sbState, 1);
    right->addWidget(pnEmergency);
}

void TMainWin::BuildMenu() {
    miLivePlot = miView->addAction(QStringLiteral("&Live Plot"));
    miLivePlot->setObjectName(QStringLiteral("miLivePlot"));
    miLivePlot->setCheckable(true);
    miLivePlot->setStatusTip(
        QStringLiteral("Plot finger position, grasping force and grasping state over time"));
    miLivePlot->setToolTip(miLivePlot->statusTip());
    connect(miLivePlot, &QAction::triggered, this, Guarded(this, &TMainWin::miLivePlotClick));
    connect(miView, &QMenu::aboutToShow, this,
            [this] { RunGuarded([this] { miLivePlot->setChecked(FLivePlot && FLivePlot->isVisible()); }); });

    // After the base window's device menus, before its help menu.
    miZEL = new QMenu(QStringLiteral("ZEL"), this);
    miZEL->setObjectName(QStringLiteral("miZEL"));
    menuBar()->insertMenu(miHelp->menuAction(), miZEL);
    miSystemLimits = miZEL->addAction(QStringLiteral("System Limits"));
    miSystemLimits->setObjectName(QStringLiteral("miSystemLimits"));
    miSystemLimits->setStatusTip(QStringLiteral("Show the system limits of the gripper"));
    miGraspingStatistics = miZEL->addAction(QStringLiteral("Grasping Statistics"));
    miGraspingStatistics->setObjectName(QStringLiteral("miGraspingStatistics"));
    miGraspingStatistics->setStatusTip(QStringLiteral("Show the grasping statistics of the gripper"));
    connect(miSystemLimits, &QAction::triggered, this, Guarded(this, &TMainWin::miSystemLimitsClick));
    connect(miGraspingStatistics, &QAction::triggered, this,
            Guarded(this, &TMainWin::miGraspingStatisticsClick));
}

// The window's order: the command column top to bottom, the results, then the state column.
void TMainWin::SetTabOrder() {
    const QList<QWidget*> order{btnAcc, btnForce,
             edGotoPos, tbGotoPos, edGotoSpeed, tbGotoSpeed, btnMove,
             edGraspingPos, tbGraspingPos, edGraspingSpeed, tbGraspingSpeed, btnGrasp,
             edReleasePos, tbReleasePos, edReleaseSpeed, tbReleaseSpeed, btnRelease,
             cbHomingDir, btnHoming, btnStop, btnFastStopAcknowledge,
             RollPanel2->Header(), LogMemo,
             RollPanel3->Header(), RollPanel1->Header(), btnEmergencyStop, lbWebSite};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

QString TMainWin::AboutText() const {
    return QStringLiteral("%1 %2\nControl and test console for the ZEL two-finger gripper.").arg(Caption, Version);
}

void TMainWin::resizeEvent(QResizeEvent* Event) {
    TMainWinBase::resizeEvent(Event);
    ArrangeForSize();
}

// Wide enough for both columns: side by side, the state column at its own width. Narrower: the
// state column goes below the commands and the picture gives its room to the controls. The
// command panels take their compact form when their column is narrower than their wide form.
void TMainWin::ArrangeForSize() {
    if (!FColumns)
        return;
    const QMargins m = FColumns->contentsMargins();
    const int room = width() - m.left() - m.right();
    const bool stacked = room < FCommandsCompact + FColumns->spacing() + FStateWidth;
    if (stacked != FStacked) {
        FStacked = stacked;
        FColumns->setDirection(stacked ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
        FColumns->setStretch(0, stacked ? 2 : 1);
        FColumns->setStretch(1, stacked ? 1 : 0);
        imgGripper->setVisible(!stacked);
        if (stacked) {
            FStateColumn->setMinimumWidth(0);
            FStateColumn->setMaximumWidth(QWIDGETSIZE_MAX);
        } else {
            FStateColumn->setFixedWidth(FStateWidth);
        }
    }
    const int commands = stacked ? room : room - FColumns->spacing() - FStateWidth;
    const bool compact = commands < FCommandsWide;
    for (TCommandPanel* p : FPanels)
        if (p->Compact() != compact)
            p->SetCompact(compact);
}

QString TMainWin::FindReadme() {
    return InstallLayout::Readme(QCoreApplication::applicationDirPath());
}

// ---- connection state

void TMainWin::OnDeviceConnect() {
    TMainWinBase::OnDeviceConnect();
    EnableControls(true);
    if (cbHomingDir->currentIndex() < 0)
        cbHomingDir->setCurrentIndex(0);
    try {
        ConnectSequence();
    } catch (...) {
        // The device answered the check but not what the window needs: give the link up and
        // say which request failed.
        const QString why = QString::fromStdString(ExceptionMessage(std::current_exception()));
        miDisconnectClick();
        ConnectFailed(QStringLiteral("Connecting failed: %1").arg(why));
    }
}

void TMainWin::ConnectSequence() {
    TZEL& z = *FZel;
    FAccMin = z.MinAcceleration;
    FAccMax = z.MaxAcceleration;
    FForceMin = z.MinForce;
    FForceMax = z.NominalForce;

    SetEditRange(edGraspingPos, 0, z.Stroke, QStringLiteral("mm"));
    SetEditRange(edGraspingSpeed, z.MinSpeed, z.MaxSpeed, QStringLiteral("mm/s"));
    SetEditRange(edReleasePos, 0, z.Stroke, QStringLiteral("mm"));
    SetEditRange(edReleaseSpeed, z.MinSpeed, z.MaxSpeed, QStringLiteral("mm/s"));
    SetEditRange(edGotoPos, 0, z.Stroke, QStringLiteral("mm"));
    SetEditRange(edGotoSpeed, z.MinSpeed, z.MaxSpeed, QStringLiteral("mm/s"));

    z.GetAcceleration(FAcceleration);
    z.GetForceLimit(FForceLimit);
    ShowAcceleration();
    ShowForceLimit();

    const double stroke = z.Stroke;
    const double speedSum = double(z.MinSpeed) + double(z.MaxSpeed);
    SetDefault(edGraspingPos, stroke / 3);
    SetDefault(edReleasePos, stroke / 3 * 2);
    SetDefault(edGotoPos, stroke / 2);
    SetDefault(edGraspingSpeed, std::min(speedSum / 2, 50.0));
    SetDefault(edReleaseSpeed, speedSum / 3 * 2);
    SetDefault(edGotoSpeed, std::min(speedSum / 2, 50.0));

    z.AutoUpdateSystemState(true, 50, true);
    z.AutoUpdateGraspingState(true, 50, true);
    z.AutoUpdatePosition(true, 100, true);
    z.AutoUpdateForce(true, 100, true);
}

void TMainWin::OnDeviceDisconnect() {
    TMainWinBase::OnDeviceDisconnect();
    EnableControls(false);
}

void TMainWin::EnableControls(bool Enabled) {
    SetControlsEnabled(sbCommands->widget(), Enabled);
    btnEmergencyStop->setEnabled(Enabled);
    SetMenuEnabled(miZEL, Enabled);
    if (!Enabled) {
        FValueHold->stop();
        FPositionPending = FForcePending = false;
        const QString na = QStringLiteral("[n/a]");
        for (QLabel* l : {lbSystemstate, lbPosition, lbGraspingForce})
            l->setText(na);
        ShowGraspingState(na, false);
        for (QLabel* l : {lbPosition, lbGraspingForce})
            SetTextColor(l, NeutralColor);
        for (QCheckBox* cb : FlagBoxes)
            cb->setChecked(false);
        ShowFaults(0);
    }
    TMainWinBase::EnableControls(Enabled);
    UpdateMotionButtons();
}

// ---- device notifications

void TMainWin::SystemStateChange() {
    const uint32_t state = FZel->SystemState;
    lbSystemstate->setText(QString::asprintf("%.8Xh", unsigned(state)));
    for (QCheckBox* cb : FlagBoxes)
        cb->setChecked((state & cb->property("Mask").toUInt()) != 0);
    ShowFaults(state);
    btnEmergencyStop->setChecked((state & FastStopFlag) != 0);
    btnFastStopAcknowledge->setEnabled(btnEmergencyStop->isChecked());
}

void TMainWin::GraspingStateChange() {
    const uint8_t s = FZel->GraspingState;
    LivePlotWindow()->AddGraspingState(s);
    const std::string_view name = s < 8 ? GraspingStateNames[s] : std::string_view("--");
    ShowGraspingState(QString::fromUtf8(name.data(), qsizetype(name.size())), s == GraspingStateError);
}

void TMainWin::ShowGraspingState(const QString& Text, bool Error) {
    lbGraspingState->setText(Text);
    SetTextColor(lbGraspingState, Error ? ErrorColor : Text == QLatin1String("[n/a]") ? NeutralColor : HealthyColor);
}

// Set fault flags in the window's error colour and bold; the others as the palette draws them.
void TMainWin::ShowFaults(uint32_t State) {
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
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

void TMainWin::PositionChange() {
    LivePlotWindow()->AddPosition(FZel->Position);
    FPositionPending = true;
    if (!FValueHold->isActive())
        ShowValues();
}

void TMainWin::ForceChange() {
    LivePlotWindow()->AddForce(FZel->Force);
    FForcePending = true;
    if (!FValueHold->isActive())
        ShowValues();
}

void TMainWin::ShowValues() {
    if (!FPositionPending && !FForcePending)
        return;
    if (std::exchange(FPositionPending, false)) {
        if (lbPosition->text() == QLatin1String("[n/a]"))
            SetTextColor(lbPosition, HealthyColor);
        lbPosition->setText(Num(FZel->Position, 2) + QStringLiteral(" mm"));
    }
    if (std::exchange(FForcePending, false)) {
        if (lbGraspingForce->text() == QLatin1String("[n/a]"))
            SetTextColor(lbGraspingForce, HealthyColor);
        lbGraspingForce->setText(Num(FZel->Force, 1) + QStringLiteral(" N"));
    }
    FValueHold->start();
}

QString TMainWin::ResultLine(int32_t CommandID, TStat Status) const {
    return QStringLiteral("Command %1 finished: %2.")
        .arg(QString::fromStdString(FZel->CommandName(CommandID)), QString::fromStdString(StatToStr(Status)));
}

TAsyncResultEvent TMainWin::ResultHandler() {
    return [this](TKORADevice* Sender, int32_t CommandID, TStat Status, const TByteArray&) {
        AsyncResult(Sender, CommandID, Status);
    };
}

void TMainWin::AsyncResult(TKORADevice*, int32_t CommandID, TStat Status) {
    LogMemo->AddLine(ResultLine(CommandID, Status));
}

// ---- command panels

void TMainWin::ShowFailure(const QString& Prefix, TStat Status) {
    ShowMessage(TMessageKind::Error, Prefix + QString::fromStdString(StatToStr(Status)), ErrorCaption, this);
}

void TMainWin::btnMoveClick() {
    const TStat r = FZel->Move(float(edGotoPos->Value()), float(edGotoSpeed->Value()), ResultHandler());
    if (!Succeeded(r))
        ShowFailure(QStringLiteral("Error while starting to move: "), r);
}

void TMainWin::btnGraspClick() {
    const TStat r =
        FZel->Grasp(float(edGraspingPos->Value()), float(edGraspingSpeed->Value()), ResultHandler());
    if (!Succeeded(r))
        ShowFailure(QStringLiteral("Error while starting to grasp: "), r);
}

void TMainWin::btnReleaseClick() {
    const TStat r =
        FZel->Release(float(edReleasePos->Value()), float(edReleaseSpeed->Value()), ResultHandler());
    if (!Succeeded(r))
        ShowFailure(QStringLiteral("Error while starting to release: "), r);
}

void TMainWin::btnHomingClick() {
    // The list reads default, inwards, outwards; the device counts default 0, outwards 1, inwards 2.
    uint8_t direction = TZEL::HomeDefault;
    if (cbHomingDir->currentIndex() == 1)
        direction = TZEL::HomeInwards;
    else if (cbHomingDir->currentIndex() == 2)
        direction = TZEL::HomeOutwards;
    const TStat r = FZel->Homing(direction, ResultHandler());
    if (!Succeeded(r))
        ShowFailure(QStringLiteral("Error while homing: "), r);
}

void TMainWin::btnStopClick() {
    const TStat r = FZel->Stop();
    if (!Succeeded(r))
        ShowFailure(QStringLiteral("Error while stopping: "), r);
}

void TMainWin::btnEmergencyStopClick() {
    // Should the exchange fail, the button shows what the device last reported.
    auto fallback =
        qScopeGuard([this] { btnEmergencyStop->setChecked((FZel->SystemState & FastStopFlag) != 0); });
    const TStat r = FZel->FastStop();
    fallback.dismiss();
    btnEmergencyStop->setChecked(r == E_SUCCESS);
}

void TMainWin::btnFastStopAcknowledgeClick() {
    if (FZel->FastStopAck() == E_SUCCESS)
        btnEmergencyStop->setChecked(false);
}

TFloatEditDlg* TMainWin::ValueDialog() {
    if (!FValueDlg)
        FValueDlg = new TFloatEditDlg(this);
    return FValueDlg;
}

bool TMainWin::ChangeValue(const QString& Unit, const QString& Title, double Min, double Max, double Value,
                           double& Result) {
    TFloatEditDlg* dialog = ValueDialog();
    dialog->SetUnit(Unit);
    dialog->setWindowTitle(Title);
    dialog->SetMinValue(Min);
    dialog->SetMaxValue(Max);
    dialog->SetValue(Value);
    if (!dialog->Execute())
        return false;
    Result = dialog->Value();
    return true;
}

void TMainWin::btnAccClick() {
    double v = 0;
    if (!ChangeValue(QStringLiteral("mm/s²"), QStringLiteral("Change Acceleration"), FAccMin, FAccMax,
                     FAcceleration, v))
        return;
    const TStat r = FZel->SetAcceleration(float(v));
    if (!Succeeded(r)) {
        ShowFailure(QStringLiteral("Error while setting acceleration: "), r);
        return;
    }
    FAcceleration = float(v);
    ShowAcceleration();
}

void TMainWin::btnForceClick() {
    double v = 0;
    if (!ChangeValue(QStringLiteral("N"), QStringLiteral("Change Force Limit"), FForceMin, FForceMax,
                     FForceLimit, v))
        return;
    const TStat r = FZel->SetForceLimit(float(v));
    if (!Succeeded(r)) {
        ShowFailure(QStringLiteral("Error while setting force limit: "), r);
        return;
    }
    FForceLimit = float(v);
    ShowForceLimit();
}

void TMainWin::ShowAcceleration() {
    lbAcc->setText(Num(FAcceleration, 0) + QStringLiteral(" mm/s²"));
}

void TMainWin::ShowForceLimit() {
    lbForce->setText(Num(FForceLimit, 1) + QStringLiteral(" N"));
}

void TMainWin::miGraspingStatisticsClick() {
    TGraspingStats stats;
    const TStat r = FZel->GetGraspingStats(stats, false);
    if (r != E_SUCCESS) {
        ShowFailure(QStringLiteral("Cannot read grasping statistics: "), r);
        return;
    }
    TListBoxDlg dialog(this);
    dialog.AddRow(QStringLiteral("Number of grasps"), QString::number(stats.Grasps));
    dialog.AddRow(QStringLiteral("Number of not found parts"), QString::number(stats.PartsNotFound));
    dialog.AddRow(QStringLiteral("Number of parts lost"), QString::number(stats.PartsLost));
    dialog.setWindowTitle(QStringLiteral("Grasping Statistics"));
    dialog.ShowList();
}

std::vector<std::pair<QString, QString>> TMainWin::SystemLimitsRows() const {
    const TZEL& z = *FZel;
    return {
        {QStringLiteral("Stroke"), Num(z.Stroke, 0) + QStringLiteral(" mm")},
        {QStringLiteral("Minimum speed"), Num(z.MinSpeed, 0) + QStringLiteral(" mm/s")},
        {QStringLiteral("Maximum speed"), Num(z.MaxSpeed, 0) + QStringLiteral(" mm/s")},
        {QStringLiteral("Minimum acceleration"), Num(z.MinAcceleration, 0) + QStringLiteral(" mm/s²")},
        {QStringLiteral("Maximum acceleration"), Num(z.MaxAcceleration, 0) + QStringLiteral(" mm/s²")},
        {QStringLiteral("Minimum force"), Num(z.MinForce, 0) + QStringLiteral(" N")},
        {QStringLiteral("Nominal force"), Num(z.NominalForce, 0) + QStringLiteral(" N")},
        {QStringLiteral("Overdrive force"), Num(z.OverdriveForce, 0) + QStringLiteral(" N")},
    };
}

TLivePlot* TMainWin::LivePlotWindow() {
    if (!FLivePlot)
        FLivePlot = new TLivePlot(this);
    return FLivePlot;
}

// Like the other tool windows: the item shows or raises the plot, never hides it.
void TMainWin::miLivePlotClick() {
    miLivePlot->setChecked(true);
    TLivePlot* plot = LivePlotWindow();
    plot->show();
    plot->raise();
    plot->activateWindow();
}

void TMainWin::miSystemLimitsClick() {
    TListBoxDlg dialog(this);
    for (const auto& [description, value] : SystemLimitsRows())
        dialog.AddRow(description, value);
    dialog.setWindowTitle(QStringLiteral("Gripper System Limits"));
    dialog.ShowList();
}

// ---- value edits

void TMainWin::UpdateMotionButtons() {
    for (TMotionPanel* p : FMotionPanels)
        p->Button()->setEnabled(ControlsEnabled() && p->ValuesValid());
}

void TMainWin::SetEditRange(TFloatEdit* Edit, double Min, double Max, const QString& Unit) {
    Edit->SetMinValue(Min);
    Edit->SetMaxValue(Max);
    if (!Edit->Valid())
        Edit->SetValue(Min);
    SetHint(Edit, QStringLiteral("Input range: %1 to %2 %3").arg(Num(Min, 2), Num(Max, 2), Unit));
}

void TMainWin::SetDefault(TFloatEdit* Edit, double Value) {
    Edit->clear();
    Edit->SetValue(std::nearbyint(Value));
}
