#include "ui/ZELMainWin.h"

#include "ui/GripperCommandColumn.h"
#include "ui/GripperMenu.h"
#include "ui/GripperResults.h"
#include "ui/GripperStateColumn.h"
#include "ui/ConsoleMenus.h"
#include "ui/LivePlotForm.h"
#include "ZelVersion.h"

#include <QBoxLayout>
#include <QResizeEvent>
#include <QSplitter>

const QString TMainWin::Caption = QStringLiteral("ZEL Duruzadud");
const QString TMainWin::Version = QStringLiteral(ZEL_VERSION);

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
    FState->StopUpdates();
    DisconnectForClose();
}

void TMainWin::FormCreate() {
    FZel = CreateDevice<TZEL>();
    HookDevice();
    BuildCommandSide();
    FState = new TGripperStateColumn(*FZel, this);
    FMenu = new TGripperMenu(*FZel, this, Menus().View(), Menus().Help());

    auto* central = new QWidget(this);
    FColumns = new QBoxLayout(QBoxLayout::LeftToRight, central);
    FColumns->setContentsMargins(4, 4, 4, 4);
    FColumns->addWidget(Splitter1, 1);
    FColumns->addWidget(FState);
    setCentralWidget(central);
    SetTabOrder();

    // The widths that decide the arrangement (see ArrangeForSize).
    const auto [wide, compact] = FCommands->MeasureWidths();
    FWidths = {wide, compact, FState->FixWidth()};
}

// The commands above the results, the results taking a quarter of the height.
void TMainWin::BuildCommandSide() {
    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    FCommands = new TGripperCommandColumn(*FZel, Splitter1);
    FResults = new TGripperResults(*FZel, Splitter1);
    FCommands->OnResult = FResults->Handler();
    FCommands->OnFastStopAcknowledged = [this] { FState->FastStop().SetPressed(false); };
    Splitter1->addWidget(FCommands);
    Splitter1->addWidget(FResults);
    Splitter1->setStretchFactor(0, 3);
    Splitter1->setStretchFactor(1, 1);
}

// The device's notifications go to the state column and the live plot.
void TMainWin::HookDevice() {
    FZel->OnSystemStateChange.Add(this, [this](TKORADevice*) { SystemStateChange(); });
    FZel->OnGraspingStateChange.Add(this, [this](TKORADevice*) {
        LivePlotWindow()->AddGraspingState(FZel->GraspingState);
        FState->GraspingStateChange();
    });
    FZel->OnPositionChange.Add(this, [this](TKORADevice*) {
        LivePlotWindow()->AddPosition(FZel->Position);
        FState->PositionChange();
    });
    FZel->OnForceChange.Add(this, [this](TKORADevice*) {
        LivePlotWindow()->AddForce(FZel->Force);
        FState->ForceChange();
    });
}

// The window's order: the command column top to bottom, the results, then the state column.
void TMainWin::SetTabOrder() {
    const QList<QWidget*> order = FCommands->TabOrder() + FResults->TabOrder() + FState->TabOrder();
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
    const bool stacked = room < FWidths.CommandsCompact + FColumns->spacing() + FWidths.State;
    if (stacked != FStacked) {
        FStacked = stacked;
        FColumns->setDirection(stacked ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
        FColumns->setStretch(0, stacked ? 2 : 1);
        FColumns->setStretch(1, stacked ? 1 : 0);
        FState->SetStacked(stacked);
    }
    const int commands = stacked ? room : room - FColumns->spacing() - FWidths.State;
    FCommands->SetCompact(commands < FWidths.CommandsWide);
}

TLivePlot* TMainWin::LivePlotWindow() {
    return FMenu->LivePlotWindow();
}

std::vector<std::pair<QString, QString>> TMainWin::SystemLimitsRows() const {
    return FMenu->SystemLimitsRows();
}

// ---- connection state

void TMainWin::OnDeviceConnect() {
    TMainWinBase::OnDeviceConnect();
    EnableControls(true);
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
    FCommands->ApplyLimits();
    TZEL& z = *FZel;
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
    FCommands->EnableCommands(Enabled);
    FState->EnableState(Enabled);
    FMenu->EnableItems(Enabled);
    TMainWinBase::EnableControls(Enabled);
}

// ---- device notifications

void TMainWin::SystemStateChange() {
    FState->SystemStateChange();
    FCommands->SetAcknowledgeEnabled(FState->FastStop().Pressed());
}
