#include "ZELMainWin.h"

#include "ConsoleApplication.h"

#include "BandPanel.h"
#include "FloatEdit.h"
#include "FloatEditDialog.h"
#include "InstallLayout.h"
#include "LineMemo.h"
#include "ListBoxDialog.h"
#include "LivePlotForm.h"
#include "MessageSeam.h"
#include "RollPanel.h"
#include "WrapLabel.h"
#include "ZelVersion.h"
#include "ZEL_commands.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSlider>
#include <QSplitter>
#include <QTimer>
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

void SetHint(QWidget* W, const QString& Hint) {
    W->setToolTip(Hint);
    W->setStatusTip(Hint);
}

QLabel* BuddyLabel(const QString& Text, QWidget* Buddy, QWidget* Parent) {
    auto* l = new QLabel(Text, Parent);
    l->setBuddy(Buddy);
    return l;
}

QPushButton* Button(const QString& Name, const QString& Text, const QString& Hint, QWidget* Parent) {
    auto* b = new QPushButton(Text, Parent);
    b->setObjectName(Name);
    SetHint(b, Hint);
    return b;
}

TBandPanel* Panel(const QString& Name, const QString& Title, const QColor& Band, QWidget* Parent) {
    auto* p = new TBandPanel(Title, Band, Parent);
    p->setObjectName(Name);
    return p;
}

void Describe(QLabel* Label, const QString& Meaning) {
    Label->setAccessibleName(Meaning);
    Label->setAccessibleDescription(Meaning);
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
    // The device outlives this part of the window by a moment: nothing may call back into it.
    FZel->OnSystemStateChange = nullptr;
    FZel->OnGraspingStateChange = nullptr;
    FZel->OnPositionChange = nullptr;
    FZel->OnForceChange = nullptr;
    for (int32_t id : {TZEL::HOMING, TZEL::MOVE, TZEL::GRASP, TZEL::RELEASE})
        FZel->AsyncResults().Unregister(id);
}

void TMainWin::FormCreate() {
    FZel = CreateDevice<TZEL>();
    HookDevice();
    BuildCommandPanels();
    BuildStateColumn();
    BuildMenu();

    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);
    columns->addWidget(Splitter1, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(RollPanel3);
    right->addWidget(RollPanel1);
    right->addStretch(1);
    right->addWidget(pnEmergency);
    columns->addLayout(right);
    setCentralWidget(central);

    const QList<QWidget*> order{btnAcc,          btnForce,         edGotoPos,
                                tbGotoPos,       edGotoSpeed,      tbGotoSpeed,
                                btnMove,         edGraspingPos,    tbGraspingPos,
                                edGraspingSpeed, tbGraspingSpeed,  btnGrasp,
                                edReleasePos,    tbReleasePos,     edReleaseSpeed,
                                tbReleaseSpeed,  btnRelease,       cbHomingDir,
                                btnHoming,       btnStop,          btnFastStopAcknowledge,
                                LogMemo,         btnEmergencyStop, lbWebSite};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (TFloatEdit* e :
         {edGotoPos, edGotoSpeed, edGraspingPos, edGraspingSpeed, edReleasePos, edReleaseSpeed})
        FloatEditChange(e);
}

void TMainWin::HookDevice() {
    FValueHold = new QTimer(this);
    FValueHold->setSingleShot(true);
    FValueHold->setInterval(15);
    connect(FValueHold, &QTimer::timeout, this, [this] {
        RunGuarded([this] {
            if (FControlsEnabled)
                ShowValues();
        });
    });
    FZel->OnSystemStateChange = [this](TKORADevice*) { SystemStateChange(); };
    FZel->OnGraspingStateChange = [this](TKORADevice*) { GraspingStateChange(); };
    FZel->OnPositionChange = [this](TKORADevice*) { PositionChange(); };
    FZel->OnForceChange = [this](TKORADevice*) { ForceChange(); };
}

void TMainWin::BuildCommandPanels() {
    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    sbCommands = new QScrollArea(Splitter1);
    sbCommands->setObjectName(QStringLiteral("sbCommands"));
    sbCommands->setWidgetResizable(true);
    sbCommands->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget;
    inner->setObjectName(QStringLiteral("sbCommandsContent"));
    auto* column = new QVBoxLayout(inner);
    column->setSpacing(4);

    const auto guarded = [this](auto Handler) {
        return [this, Handler] { RunGuarded([&] { (this->*Handler)(); }); };
    };

    // Acceleration and force limit: a value and a button that opens the value dialog.
    const auto valuePanel = [&](const QString& Name, const QString& Title, const QColor& Band,
                                const QString& Text, QLabel*& Value, const QString& ValueName,
                                const QString& Initial, QPushButton*& Btn, const QString& BtnName,
                                const QString& Hint) {
        TBandPanel* p = Panel(Name, Title, Band, inner);
        auto* g = new QHBoxLayout(p->Content());
        Value = new QLabel(Initial, p->Content());
        Value->setObjectName(ValueName);
        Value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        Btn = Button(BtnName, QStringLiteral("Change"), Hint, p->Content());
        g->addWidget(BuddyLabel(Text, Btn, p->Content()));
        g->addWidget(Value, 1);
        g->addWidget(Btn);
        column->addWidget(p);
        return p;
    };
    pnAcc = valuePanel(QStringLiteral("pnAcc"), QStringLiteral("ACC "), QColor(0x5b, 0x8c, 0xc8),
                       QStringLiteral("Acceleration:"), lbAcc, QStringLiteral("lbAcc"),
                       QStringLiteral("500 mm/s²"), btnAcc, QStringLiteral("btnAcc"),
                       QStringLiteral("Set a new finger acceleration"));
    Describe(lbAcc, QStringLiteral("Finger acceleration"));
    pnForce = valuePanel(QStringLiteral("pnForce"), QStringLiteral("FORCE "), QColor(0x8a, 0x6f, 0xc0),
                         QStringLiteral("Grasping Force Limit:"), lbForce, QStringLiteral("lbForce"),
                         QStringLiteral("20 N"), btnForce, QStringLiteral("btnForce"),
                         QStringLiteral("Set a new grasping force limit"));
    Describe(lbForce, QStringLiteral("Grasping force limit"));
    connect(btnAcc, &QPushButton::clicked, this, guarded(&TMainWin::btnAccClick));
    connect(btnForce, &QPushButton::clicked, this, guarded(&TMainWin::btnForceClick));

    // Move, grasp, release: two value edits with track bars and a button.
    std::vector<QLabel*> motionCaptions;
    const auto motionPanel = [&](const QString& Name, const QString& Title, const QColor& Band,
                                 const QString& PosText, TFloatEdit*& Pos, const QString& PosName,
                                 const QString& PosInitial, QSlider*& PosBar, const QString& PosBarName,
                                 const QString& SpeedText, TFloatEdit*& Speed, const QString& SpeedName,
                                 QSlider*& SpeedBar, const QString& SpeedBarName, QPushButton*& Btn,
                                 const QString& BtnName, const QString& BtnText, const QString& Hint) {
        TBandPanel* p = Panel(Name, Title, Band, inner);
        auto* g = new QGridLayout(p->Content());
        g->setColumnStretch(3, 1);
        const auto row = [&](int Row, const QString& Text, TFloatEdit*& Ed, const QString& EdName,
                             const QString& Initial, const QString& Unit, double Max, QSlider*& Bar,
                             const QString& BarName) {
            Ed = new TFloatEdit(p->Content());
            Ed->setObjectName(EdName);
            Ed->SetRange(2, Max);
            Ed->setText(Initial);
            Ed->setMaximumWidth(90);
            Ed->setAccessibleDescription(Text + QStringLiteral(" in ") + Unit);
            SetHint(Ed, QStringLiteral("Input range: %1 to %2 %3").arg(Num(2, 2), Num(Max, 2), Unit));
            Bar = new QSlider(Qt::Horizontal, p->Content());
            Bar->setObjectName(BarName);
            Bar->setRange(0, 200);
            Bar->setValue(0);
            Bar->setAccessibleName(Text);
            QLabel* caption = BuddyLabel(Text, Ed, p->Content());
            motionCaptions.push_back(caption);
            g->addWidget(caption, Row, 0);
            g->addWidget(Ed, Row, 1);
            g->addWidget(new QLabel(Unit, p->Content()), Row, 2);
            g->addWidget(Bar, Row, 3);
            FCouples.emplace_back(Ed, Bar);
            connect(Ed, &QLineEdit::textChanged, this,
                    [this, e = Ed] { RunGuarded([&] { FloatEditChange(e); }); });
            connect(Bar, &QSlider::valueChanged, this,
                    [this, b = Bar] { RunGuarded([&] { TrackbarChange(b); }); });
        };
        row(0, PosText, Pos, PosName, PosInitial, QStringLiteral("mm"), 65, PosBar, PosBarName);
        row(1, SpeedText, Speed, SpeedName, QStringLiteral("50"), QStringLiteral("mm/s"), 60, SpeedBar,
            SpeedBarName);
        Btn = Button(BtnName, BtnText, Hint, p->Content());
        g->addWidget(Btn, 0, 4, 2, 1, Qt::AlignVCenter);
        column->addWidget(p);
        return p;
    };
    pnGoto =
        motionPanel(QStringLiteral("pnGoto"), QStringLiteral("MOVE "), QColor(0x3f, 0xa3, 0x5b),
                    QStringLiteral("Target position"), edGotoPos, QStringLiteral("edGotoPos"),
                    QStringLiteral("50"), tbGotoPos, QStringLiteral("tbGotoPos"), QStringLiteral("Speed"),
                    edGotoSpeed, QStringLiteral("edGotoSpeed"), tbGotoSpeed, QStringLiteral("tbGotoSpeed"),
                    btnMove, QStringLiteral("btnMove"), QStringLiteral("&Move"),
                    QStringLiteral("Move the fingers to the given position (pre-positioning mode)"));
    pnGrasp =
        motionPanel(QStringLiteral("pnGrasp"), QStringLiteral("GRASP  "), QColor(0xd0, 0x8a, 0x1e),
                    QStringLiteral("Nominal part width"), edGraspingPos, QStringLiteral("edGraspingPos"),
                    QStringLiteral("8"), tbGraspingPos, QStringLiteral("tbGraspingPos"),
                    QStringLiteral("Grasping speed"), edGraspingSpeed, QStringLiteral("edGraspingSpeed"),
                    tbGraspingSpeed, QStringLiteral("tbGraspingSpeed"), btnGrasp, QStringLiteral("btnGrasp"),
                    QStringLiteral("&Grasp"), QStringLiteral("Grasp a part with the given width"));
    pnRelease = motionPanel(QStringLiteral("pnRelease"), QStringLiteral("RELEASE  "),
                            QColor(0x2b, 0x9a, 0xa0), QStringLiteral("Release position"), edReleasePos,
                            QStringLiteral("edReleasePos"), QStringLiteral("50"), tbReleasePos,
                            QStringLiteral("tbReleasePos"), QStringLiteral("Release speed"), edReleaseSpeed,
                            QStringLiteral("edReleaseSpeed"), tbReleaseSpeed,
                            QStringLiteral("tbReleaseSpeed"), btnRelease, QStringLiteral("btnRelease"),
                            QStringLiteral("&Release"), QStringLiteral("Release a previously grasped part"));
    // One column of edits through the three panels.
    int captionWidth = 0;
    for (QLabel* l : motionCaptions)
        captionWidth = std::max(captionWidth, l->sizeHint().width());
    for (QLabel* l : motionCaptions)
        l->setMinimumWidth(captionWidth);
    connect(btnMove, &QPushButton::clicked, this, guarded(&TMainWin::btnMoveClick));
    connect(btnGrasp, &QPushButton::clicked, this, guarded(&TMainWin::btnGraspClick));
    connect(btnRelease, &QPushButton::clicked, this, guarded(&TMainWin::btnReleaseClick));

    // Homing, stop, acknowledgement: a text and a button.
    const auto textPanel = [&](const QString& Name, const QString& Title, const QColor& Band,
                               const QString& Text, QPushButton* Btn, QWidget* Extra = nullptr) {
        TBandPanel* p = Panel(Name, Title, Band, inner);
        auto* g = new QGridLayout(p->Content());
        auto* text = new TWrapLabel(Text, p->Content());
        g->addWidget(text, 0, 0);
        if (Extra) {
            text->setBuddy(Extra);
            Extra->setParent(p->Content());
            g->addWidget(Extra, 1, 0, Qt::AlignLeft);
        }
        Btn->setParent(p->Content());
        g->addWidget(Btn, 0, 1, Extra ? 2 : 1, 1, Qt::AlignVCenter);
        g->setColumnStretch(0, 1);
        column->addWidget(p);
        return p;
    };
    cbHomingDir = new QComboBox(inner);
    cbHomingDir->setObjectName(QStringLiteral("cbHomingDir"));
    cbHomingDir->addItems({QStringLiteral("default"), QStringLiteral("inwards"), QStringLiteral("outwards")});
    cbHomingDir->setCurrentIndex(-1);
    cbHomingDir->setAccessibleName(QStringLiteral("Homing direction"));
    btnHoming = Button(QStringLiteral("btnHoming"), QStringLiteral("Homing"),
                       QStringLiteral("Execute a homing sequence in the given direction"), inner);
    pnHoming = textPanel(QStringLiteral("pnHoming"), QStringLiteral("HOME"), QColor(0x6d, 0x7b, 0x8a),
                         QStringLiteral("Execute a homing sequence on the device. Direction:"), btnHoming,
                         cbHomingDir);
    btnStop = Button(QStringLiteral("btnStop"), QStringLiteral("Stop"),
                     QStringLiteral("Stop a movement immediately"), inner);
    pnStop = textPanel(QStringLiteral("pnStop"), QStringLiteral("STOP "), QColor(0xc8, 0x3c, 0x3c),
                       QStringLiteral("Pressing \"Stop\" will immediately stop the movement of the gripper."),
                       btnStop);
    // Escape stops the fingers as the cancel-style button of the window.
    btnStop->setShortcut(Qt::Key_Escape);
    btnFastStopAcknowledge = Button(QStringLiteral("btnFastStopAcknowledge"), QStringLiteral("OK"),
                                    QStringLiteral("Acknowledge the FAST STOP state"), inner);
    btnFastStopAcknowledge->setEnabled(false);
    pnFastStopAcknowledge = textPanel(
        QStringLiteral("pnFastStopAcknowledge"), QStringLiteral("ACK"), QColor(0xb0, 0x4c, 0x8c),
        QStringLiteral("Acknowledge the FAST STOP state of the device and return back to operating mode."),
        btnFastStopAcknowledge);
    connect(btnHoming, &QPushButton::clicked, this, guarded(&TMainWin::btnHomingClick));
    connect(btnStop, &QPushButton::clicked, this, guarded(&TMainWin::btnStopClick));
    connect(btnFastStopAcknowledge, &QPushButton::clicked, this,
            guarded(&TMainWin::btnFastStopAcknowledgeClick));

    column->addStretch(1);
    sbCommands->setWidget(inner);

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

void TMainWin::BuildStateColumn() {
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
    const auto value = [&](int Row, const QString& Caption, QLabel*& Label, const QString& Name,
                           const QString& Initial, const QString& Meaning) {
        Label = new QLabel(Initial, pnState);
        Label->setObjectName(Name);
        Label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Label->setFont(valueFont);
        QPalette p = Label->palette();
        p.setColor(QPalette::WindowText, QColor(0x4c, 0xff, 0x6a));
        Label->setPalette(p);
        Label->setMinimumWidth(Label->fontMetrics().horizontalAdvance(QStringLiteral("000.00 mm")));
        Describe(Label, Meaning);
        g->addWidget(BuddyLabel(Caption, Label, pnState), Row, 0);
        g->addWidget(Label, Row, 1);
    };
    value(0, QStringLiteral("Position:"), lbPosition, QStringLiteral("lbPosition"), QStringLiteral("0 mm"),
          QStringLiteral("Finger position"));
    value(1, QStringLiteral("Grasping State:"), lbGraspingState, QStringLiteral("lbGraspingState"),
          QStringLiteral("--"), QStringLiteral("Grasping state"));
    value(2, QStringLiteral("Force:"), lbGraspingForce, QStringLiteral("lbGraspingForce"),
          QStringLiteral("0 N"), QStringLiteral("Grasping force"));
    RollPanel3->SetContent(pnState);

    RollPanel1 = new TRollPanel(QStringLiteral("System State"), this);
    RollPanel1->setObjectName(QStringLiteral("RollPanel1"));
    auto* flags = new QWidget;
    auto* v = new QVBoxLayout(flags);
    v->setSpacing(3);
    auto* head = new QHBoxLayout;
    lbSystemstate = new QLabel(QStringLiteral("00000000h"), flags);
    lbSystemstate->setObjectName(QStringLiteral("lbSystemstate"));
    QFont bold = lbSystemstate->font();
    bold.setBold(true);
    lbSystemstate->setFont(bold);
    Describe(lbSystemstate, QStringLiteral("System state flags, hexadecimal"));
    head->addWidget(BuddyLabel(QStringLiteral("State:"), lbSystemstate, flags));
    head->addWidget(lbSystemstate, 1);
    v->addLayout(head);
    v->addSpacing(7);
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

    pnEmergency = new QFrame(this);
    pnEmergency->setObjectName(QStringLiteral("pnEmergency"));
    pnEmergency->setFrameShape(QFrame::StyledPanel);
    auto* e = new QVBoxLayout(pnEmergency);
    btnEmergencyStop = Button(QStringLiteral("btnEmergencyStop"), QStringLiteral("Fast Stop!"),
                              QStringLiteral("Issue a FAST STOP command (To acknowledge a FAST STOP, use the "
                                             "\"OK\" button of the \"ACK\" panel)"),
                              pnEmergency);
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
    connect(btnEmergencyStop, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { btnEmergencyStopClick(); }); });
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

void TMainWin::BuildMenu() {
    miLivePlot = miView->addAction(QStringLiteral("&Live Plot"));
    miLivePlot->setObjectName(QStringLiteral("miLivePlot"));
    miLivePlot->setCheckable(true);
    miLivePlot->setStatusTip(
        QStringLiteral("Plot finger position, grasping force and grasping state over time"));
    miLivePlot->setToolTip(miLivePlot->statusTip());
    connect(miLivePlot, &QAction::triggered, this, [this] { RunGuarded([this] { miLivePlotClick(); }); });
    connect(miView, &QMenu::aboutToShow, this,
            [this] { RunGuarded([this] { miLivePlot->setChecked(FLivePlot && FLivePlot->isVisible()); }); });

    miZEL = menuBar()->addMenu(QStringLiteral("ZEL"));
    miZEL->setObjectName(QStringLiteral("miZEL"));
    miSystemLimits = miZEL->addAction(QStringLiteral("System Limits"));
    miSystemLimits->setObjectName(QStringLiteral("miSystemLimits"));
    miSystemLimits->setStatusTip(QStringLiteral("Show the system limits of the gripper"));
    miGraspingStatistics = miZEL->addAction(QStringLiteral("Grasping Statistics"));
    miGraspingStatistics->setObjectName(QStringLiteral("miGraspingStatistics"));
    miGraspingStatistics->setStatusTip(QStringLiteral("Show the grasping statistics of the gripper"));
    connect(miSystemLimits, &QAction::triggered, this,
            [this] { RunGuarded([this] { miSystemLimitsClick(); }); });
    connect(miGraspingStatistics, &QAction::triggered, this,
            [this] { RunGuarded([this] { miGraspingStatisticsClick(); }); });
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
    FControlsEnabled = Enabled;
    SetControlsEnabled(sbCommands->widget(), Enabled);
    if (Enabled)
        UpdateMotionButtons();
    btnEmergencyStop->setEnabled(Enabled);
    SetMenuEnabled(miZEL, Enabled);
    if (!Enabled) {
        FValueHold->stop();
        FPositionPending = FForcePending = false;
        const QString na = QStringLiteral("[n/a]");
        for (QLabel* l : {lbSystemstate, lbGraspingState, lbPosition, lbGraspingForce})
            l->setText(na);
        for (QCheckBox* cb : FlagBoxes)
            cb->setChecked(false);
    }
    TMainWinBase::EnableControls(Enabled);
}

// ---- device notifications

void TMainWin::SystemStateChange() {
    const uint32_t state = FZel->SystemState;
    lbSystemstate->setText(QString::asprintf("%.8Xh", unsigned(state)));
    for (QCheckBox* cb : FlagBoxes)
        cb->setChecked((state & cb->property("Mask").toUInt()) != 0);
    btnEmergencyStop->setChecked((state & FastStopFlag) != 0);
    btnFastStopAcknowledge->setEnabled(btnEmergencyStop->isChecked());
}

void TMainWin::GraspingStateChange() {
    const uint8_t s = FZel->GraspingState;
    LivePlotWindow()->AddGraspingState(s);
    const std::string_view name = s < 8 ? GraspingStateNames[s] : std::string_view("--");
    lbGraspingState->setText(QString::fromUtf8(name.data(), qsizetype(name.size())));
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
    if (std::exchange(FPositionPending, false))
        lbPosition->setText(Num(FZel->Position, 2) + QStringLiteral(" mm"));
    if (std::exchange(FForcePending, false))
        lbGraspingForce->setText(Num(FZel->Force, 1) + QStringLiteral(" N"));
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

// ---- value edits and track bars

QSlider* TMainWin::TrackBarOf(const TFloatEdit* Edit) const {
    for (const auto& [e, t] : FCouples)
        if (e == Edit)
            return t;
    return nullptr;
}

TFloatEdit* TMainWin::EditOf(const QSlider* TrackBar) const {
    for (const auto& [e, t] : FCouples)
        if (t == TrackBar)
            return e;
    return nullptr;
}

void TMainWin::UpdateMotionButtons() {
    const auto set = [this](QPushButton* Btn, TFloatEdit* A, TFloatEdit* B) {
        if (Btn)
            Btn->setEnabled(FControlsEnabled && A && B && A->Valid() && B->Valid());
    };
    set(btnGrasp, edGraspingPos, edGraspingSpeed);
    set(btnRelease, edReleasePos, edReleaseSpeed);
    set(btnMove, edGotoPos, edGotoSpeed);
}

// The control the operator works with drives the other one; a write from the other side is
// never sent back, so the two cannot feed each other.
void TMainWin::FloatEditChange(TFloatEdit* Sender) {
    QSlider* bar = TrackBarOf(Sender);
    if (!bar)
        return;
    UpdateMotionButtons();
    if (FSyncing || !Sender->Valid())
        return;
    const double min = Sender->MinValue();
    const double max = Sender->MaxValue();
    const int position =
        max <= min ? 0 : int(std::nearbyint((Sender->Value() - min) / (max - min) * bar->maximum()));
    FSyncing = true;
    auto done = qScopeGuard([this] { FSyncing = false; });
    bar->setValue(position);
}

void TMainWin::TrackbarChange(QSlider* Sender) {
    TFloatEdit* edit = EditOf(Sender);
    if (!edit || FSyncing)
        return;
    const double min = edit->MinValue();
    const double max = edit->MaxValue();
    const double value =
        std::nearbyint((double(Sender->value()) / Sender->maximum() * (max - min) + min) * 10) / 10;
    FSyncing = true;
    auto done = qScopeGuard([this] { FSyncing = false; });
    edit->SetValue(value);
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
