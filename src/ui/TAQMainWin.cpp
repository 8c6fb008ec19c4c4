#include "ui/TAQMainWin.h"

#include "platform/ErrorGuard.h"
#include "ui/ConsoleMenus.h"
#include "ui/TaqAcquisition.h"
#include "ui/TaqMapPanel.h"
#include "ui/TaqPlayback.h"
#include "ui/TaqRecording.h"
#include "ui/TaqSettings.h"
#include "ZelVersion.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>

const QString TTAQMainWin::Caption = QStringLiteral("TAQ Duruzadud");
const QString TTAQMainWin::Version = QStringLiteral(ZEL_VERSION);

namespace {
// The controls' column: its width hint holds the controls beside a vertical scroll bar, so that at
// the window's first size only the height scrolls.
class TControlsScroller : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override {
        QSize s = QScrollArea::sizeHint();
        if (widget())
            s.setWidth(widget()->sizeHint().width() + verticalScrollBar()->sizeHint().width() +
                       2 * frameWidth());
        return s;
    }
};
} // namespace

TTAQMainWin::TTAQMainWin(QWidget* Parent) : TMainWinBase(Parent) {
    FormCreate();
    PlacementKey = QStringLiteral("TAQMainWin");
    FinishCreate();
    setWindowTitle(Caption + QLatin1Char(' ') + Version);
}

TTAQMainWin::~TTAQMainWin() = default;

void TTAQMainWin::FormCreate() {
    FTaq = CreateDevice<TTAQ>();
    AskFileName = [this](const QString& Title, const QString& Filter, bool Save) {
        return Save ? QFileDialog::getSaveFileName(this, Title, QString(), Filter)
                    : QFileDialog::getOpenFileName(this, Title, QString(), Filter);
    };
    // The map side joins the window after the controls, as Tab reaches them.
    FMapPanel = new TTaqMapPanel(*FTaq);
    FLive = std::make_unique<TTaqLiveView>(*FTaq, *FMapPanel);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    sbControls = new TControlsScroller(Splitter1);
    sbControls->setObjectName(QStringLiteral("sbControls"));
    sbControls->setWidgetResizable(true);
    sbControls->setFrameShape(QFrame::NoFrame);
    sbControls->setWidget(BuildControls());

    sbMap = new QScrollArea(Splitter1);
    sbMap->setObjectName(QStringLiteral("sbMap"));
    sbMap->setWidgetResizable(true);
    sbMap->setFrameShape(QFrame::NoFrame);
    sbMap->setWidget(FMapPanel);
    Splitter1->addWidget(sbControls);
    Splitter1->addWidget(sbMap);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    setCentralWidget(Splitter1);
    BuildMenu();
    LinkParts();

    QList<QWidget*> order = FAcquisition->TabOrder();
    order << FSettings->TabOrder() << FRecorder->TabOrder() << FPlayback->TabOrder() << FMapPanel->TabOrder();
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    FMapPanel->ShowNoFrame();
}

QWidget* TTAQMainWin::BuildControls() {
    auto* controls = new QWidget;
    auto* column = new QVBoxLayout(controls);
    FAcquisition = std::make_unique<TTaqAcquisition>(*FTaq, *FLive, this, controls);
    FSettings = std::make_unique<TTaqSettings>(*FTaq, this, controls);
    FRecorder = std::make_unique<TTaqRecorder>(*FTaq, *FMapPanel, this, controls);
    FPlayback = std::make_unique<TTaqPlayback>(*FTaq, *FMapPanel, this, controls);
    for (QGroupBox* g : {FAcquisition->Box(), FSettings->Box(), FRecorder->Box(), FPlayback->Box()})
        column->addWidget(g);
    column->addStretch(1);
    return controls;
}

void TTAQMainWin::BuildMenu() {
    miSensor = new QMenu(QStringLiteral("&Sensor"), this);
    miSensor->setObjectName(QStringLiteral("miSensor"));
    Menus().Bar()->insertMenu(Menus().View()->menuAction(), miSensor);
    FAcquisition->AddMenuItems(miSensor);
    FSettings->AddMenuItems(miSensor);
    miSensor->addSeparator();
    FRecorder->AddMenuItems(miSensor);
    FPlayback->AddMenuItems(miSensor);
}

// How the parts follow one another: frames received are recorded, the end of the acquisition ends
// the recording, an open recording has the display, and a change between a frame and none shown
// changes what can be saved.
void TTAQMainWin::LinkParts() {
    FAcquisition->OnFrame = [this] { FRecorder->Add(FTaq->FrameData.Timestamp, FTaq->FrameData.Cells()); };
    FAcquisition->OnEnded = [this] { FRecorder->Stop(); };
    FLive->DisplayTaken = [this] { return FPlayback->Player().IsOpen(); };
    FLive->OnDisplayed = [this] {
        if (FRecorder->File().IsOpen())
            FRecorder->ShowState();
    };
    FPlayback->OnLive = [this] { FLive->ShowLatest(FAcquisition->FramesReceived() > 0); };
    FMapPanel->OnFrameShownChanged = [this] { EnableControls(FConnected); };
    const auto ask = [this](const QString& Title, const QString& Filter, bool Save) {
        return AskFileName ? AskFileName(Title, Filter, Save) : QString();
    };
    FRecorder->AskFileName = ask;
    FPlayback->AskFileName = ask;
}

// --- connection ---

void TTAQMainWin::OnDeviceConnect() {
    TMainWinBase::OnDeviceConnect();
    FConnected = true;
    FRecorder->SetConnected(true);
    FPlayback->Close();
    FMapPanel->SetMatrix(FTaq->MatrixWidth, FTaq->MatrixHeight, FTaq->CellWidth, FTaq->CellHeight);
    FMapPanel->ClearPlot();
    FAcquisition->Connected();
    FMapPanel->ShowNoFrame();
    FSettings->ShowValues();
    FAcquisition->ShowState();
    EnableControls(true);
}

void TTAQMainWin::OnDeviceDisconnect() {
    FConnected = false;
    FRecorder->SetConnected(false);
    // A lost link ends the acquisition as a stop would: the recording is closed, the last frame stays.
    FAcquisition->Disconnected();
    TMainWinBase::OnDeviceDisconnect();
    FAcquisition->ShowState();
    EnableControls(false);
}

void TTAQMainWin::EnableControls(bool Enabled) {
    const bool connected = Enabled && FConnected;
    SetControlsEnabled(FAcquisition->Box(), connected);
    SetControlsEnabled(FSettings->Box(), connected);
    FAcquisition->EnableControls(connected);
    FSettings->EnableControls(connected);
    FRecorder->EnableControls(connected, FMapPanel->Map()->HasFrame());
    FPlayback->ShowState();
    TMainWinBase::EnableControls(Enabled);
}

void TTAQMainWin::closeEvent(QCloseEvent* Event) {
    RunGuarded([this] {
        FPlayback->SetPlaying(false);
        FRecorder->Stop();
    });
    TMainWinBase::closeEvent(Event);
}
