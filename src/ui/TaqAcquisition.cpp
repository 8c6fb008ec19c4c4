// Acquisition of the sensor window: its box, start and stop, the frame rate and the live frames.
#include "ui/TaqAcquisition.h"

#include "platform/ErrorGuard.h"
#include "platform/IniFile.h"
#include "platform/MessageSeam.h"
#include "platform/OnScreen.h"
#include "cmdtext/PayloadParser.h"
#include "ui/StopKey.h"
#include "ui/TaqControls.h"
#include "ui/TaqMapPanel.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

using namespace TaqControls;

namespace {
const QString SettingsFile = QStringLiteral("settings.ini");
const QString SettingsSection = QStringLiteral("TAQ");
const QString PayloadKey = QStringLiteral("StartPayload");
constexpr int DisplayHoldMs = 20; // at most 50 displays a second, whatever the frame rate
constexpr int RateWindowMs = 500;
} // namespace

// --- live frames ---

TTaqLiveView::TTaqLiveView(const TTAQ& Taq, TTaqMapPanel& Panel) : FTaq(Taq), FPanel(Panel) {
    FDisplayHold = new QTimer(this);
    FDisplayHold->setSingleShot(true);
    FDisplayHold->setInterval(DisplayHoldMs);
    connect(FDisplayHold, &QTimer::timeout, this, [this] {
        RunGuarded([this] {
            if (!FDisplayPending)
                return;
            FlushDisplay();
            FDisplayHold->start(); // frames keep coming: the next display waits its turn
        });
    });
}

QString TTaqLiveView::Source() const {
    return QStringLiteral("Live frame, time stamp %1 ms").arg(FTaq.FrameData.Timestamp);
}

void TTaqLiveView::FrameArrived() {
    if (DisplayTaken && DisplayTaken())
        return; // the recording has the display
    if (!FPlotClock.isValid())
        FPlotClock.start();
    const TFrameStats stats = FrameStats(FTaq.FrameData.Cells(), FTaq.MatrixWidth, FTaq.MatrixHeight);
    FPanel.AddTotal(FPlotClock.elapsed() / 1000.0, double(stats.Total));
    FDisplayPending = true;
    if (!FDisplayHold->isActive()) {
        FlushDisplay();
        FDisplayHold->start();
    }
}

void TTaqLiveView::FlushDisplay() {
    if (!FDisplayPending || (DisplayTaken && DisplayTaken()))
        return;
    FDisplayPending = false;
    FPanel.ShowFrame(FTaq.FrameData.Cells(), Source());
    // The strip scrolls with the map: nothing else asks it to repaint.
    FPanel.RefreshPlot();
    if (OnDisplayed)
        OnDisplayed();
}

void TTaqLiveView::Stop() {
    FDisplayHold->stop();
    if (FDisplayPending)
        FlushDisplay();
}

void TTaqLiveView::ShowLatest(bool Received) {
    if (FTaq.CellCount > 0 && Received)
        FPanel.ShowFrame(FTaq.FrameData.Cells(), Source());
    else
        FPanel.ShowNoFrame();
}

// --- frame rate ---

void TRateMeter::Restart() {
    FClock.start();
    FFrames = 0;
}

void TRateMeter::Update() {
    const qint64 ms = FClock.restart();
    FRate = ms > 0 ? FFrames * 1000.0 / double(ms) : 0;
    FFrames = 0;
}

// --- acquisition ---

TTaqAcquisition::TTaqAcquisition(TTAQ& Taq, TTaqLiveView& Live, QWidget* Window, QWidget* Parent)
    : FTaq(Taq), FLive(Live), FWindow(Window) {
    FTaq.OnFrame.Add(this, [this](TKORADevice*) { FrameArrived(); });
    FRateTimer = new QTimer(this);
    FRateTimer->setInterval(RateWindowMs);
    connect(FRateTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { UpdateFrameRate(); }); });

    gbAcquisition = Group(QStringLiteral("gbAcquisition"), QStringLiteral("Acquisition"), Parent);
    auto* g = new QGridLayout(gbAcquisition);
    BuildReadRow(g);
    BuildStartRow(g);
    lbAcquisition =
        Value(QStringLiteral("lbAcquisition"), QStringLiteral("Acquisition state"), gbAcquisition);
    lbFrameRate =
        Value(QStringLiteral("lbFrameRate"), QStringLiteral("Frames received per second"), gbAcquisition);
    g->addWidget(lbAcquisition, 3, 0, 1, 3);
    g->addWidget(lbFrameRate, 4, 0, 1, 3);
    g->setColumnStretch(2, 1);

    connect(btnReadFrame, &QPushButton::clicked, this, Guarded(this, &TTaqAcquisition::btnReadFrameClick));
    connect(btnStart, &QPushButton::clicked, this, Guarded(this, &TTaqAcquisition::btnStartClick));
    connect(btnStop, &QPushButton::clicked, this, Guarded(this, &TTaqAcquisition::btnStopClick));
    ShowState();
}

TTaqAcquisition::~TTaqAcquisition() {
    FTaq.OnFrame.Remove(this);
}

void TTaqAcquisition::BuildReadRow(QGridLayout* Grid) {
    btnReadFrame = Button(QStringLiteral("btnReadFrame"), QStringLiteral("Read &Frame"),
                          QStringLiteral("Read one frame from the sensor"), gbAcquisition);
    cbCoding = new QComboBox(gbAcquisition);
    cbCoding->setObjectName(QStringLiteral("cbCoding"));
    cbCoding->addItems(
        {QStringLiteral("Sensor's choice"), QStringLiteral("Plain"), QStringLiteral("Run-length coded")});
    cbCoding->setAccessibleName(QStringLiteral("Coding of the frame read"));
    SetHint(cbCoding,
            QStringLiteral("Coding asked for with a single frame: the sensor's choice sends no parameter"));
    auto* codingLabel = new QLabel(QStringLiteral("Co&ding:"), gbAcquisition);
    codingLabel->setBuddy(cbCoding);
    Grid->addWidget(btnReadFrame, 0, 0);
    Grid->addWidget(codingLabel, 0, 1, Qt::AlignRight);
    Grid->addWidget(cbCoding, 0, 2);
}

void TTaqAcquisition::BuildStartRow(QGridLayout* Grid) {
    edStartPayload = new QLineEdit(gbAcquisition);
    edStartPayload->setObjectName(QStringLiteral("edStartPayload"));
    edStartPayload->setPlaceholderText(QStringLiteral("none"));
    edStartPayload->setAccessibleName(QStringLiteral("Start parameters"));
    SetHint(
        edStartPayload,
        QStringLiteral("Bytes sent with the start command, written as in the command editor (0x02 or $02, "
                       "separated by spaces). Empty sends the command without parameters, which is what "
                       "the sensor expects unless its documentation names some; zel-sim takes the coding "
                       "(0x02: run-length) and the period in ms as two bytes, e.g. 0x02 0x0A 0x00."));
    edStartPayload->setText(
        TIniFile(TIniFile::PathFor(SettingsFile)).ReadString(SettingsSection, PayloadKey, QString()));
    auto* payloadLabel = new QLabel(QStringLiteral("Start &parameters:"), gbAcquisition);
    payloadLabel->setBuddy(edStartPayload);
    Grid->addWidget(payloadLabel, 1, 0);
    Grid->addWidget(edStartPayload, 1, 1, 1, 2);

    btnStart = Button(QStringLiteral("btnStart"), QStringLiteral("&Start"),
                      QStringLiteral("Start periodic acquisition: the sensor sends frames on its own"),
                      gbAcquisition);
    btnStop = Button(QStringLiteral("btnStop"), QStringLiteral("S&top"),
                     QStringLiteral("Stop periodic acquisition (F8; %1 from every window of the program)")
                         .arg(TStopKey::KeyName()),
                     gbAcquisition);
    // Nothing the window opens may cover it, and the stop key reaches it from anywhere.
    MarkKeepClear(btnStop);
    new TStopKey(FWindow, [Stop = btnStop] { Stop->click(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart);
    buttons->addWidget(btnStop);
    buttons->addStretch(1);
    Grid->addLayout(buttons, 2, 0, 1, 3);
}

QList<QWidget*> TTaqAcquisition::TabOrder() const {
    return {btnReadFrame, cbCoding, edStartPayload, btnStart, btnStop};
}

void TTaqAcquisition::AddMenuItems(QMenu* Menu) {
    QAction* read = MenuItem(Menu, QStringLiteral("miReadFrame"), QStringLiteral("Read &Frame"),
                             btnReadFrame->statusTip(), this, [this] { btnReadFrameClick(); });
    read->setShortcut(Qt::Key_F6);
    QAction* start =
        MenuItem(Menu, QStringLiteral("miStartAcquisition"), QStringLiteral("&Start Acquisition"),
                 btnStart->statusTip(), this, [this] { btnStartClick(); });
    start->setShortcut(Qt::Key_F7);
    QAction* stop = MenuItem(Menu, QStringLiteral("miStopAcquisition"), QStringLiteral("S&top Acquisition"),
                             btnStop->statusTip(), this, [this] { btnStopClick(); });
    stop->setShortcut(Qt::Key_F8);
    FActions = {read, start, stop};
    for (QAction* a : FActions)
        a->setShortcutContext(Qt::WindowShortcut);
}

void TTaqAcquisition::EnableControls(bool Connected) {
    for (QAction* a : FActions)
        a->setEnabled(Connected);
    btnStart->setEnabled(Connected && !FAcquiring);
    btnStop->setEnabled(Connected);
}

void TTaqAcquisition::Connected() {
    FConnected = true;
    FFramesReceived = 0;
    FRateTimer->start();
    FRate.Restart();
    FRate.Clear();
}

void TTaqAcquisition::Disconnected() {
    FConnected = false;
    SetAcquiring(false);
    FRateTimer->stop();
    FRate.Clear();
    FLive.Stop();
}

void TTaqAcquisition::btnReadFrameClick() {
    TByteArray payload;
    if (cbCoding->currentIndex() == 1)
        payload = {0};
    else if (cbCoding->currentIndex() == 2)
        payload = {TTAQ::CodingRunLength};
    Execute(FTaq, TTAQ::CMD_ID_READ_SINGLE_FRAME, payload, QStringLiteral("reading a frame"), FWindow);
    FLive.FlushDisplay();
}

bool TTaqAcquisition::StartPayload(TByteArray& Payload) const {
    return TPayloadParser::Parse(edStartPayload->text(), Payload);
}

void TTaqAcquisition::btnStartClick() {
    TByteArray payload;
    if (!StartPayload(payload)) {
        ShowMessage(
            TMessageKind::Error,
            QStringLiteral("The start parameters cannot be read: write bytes as 0x02 or $02, separated by "
                           "spaces, or leave the field empty."),
            ErrorCaption, FWindow);
        return;
    }
    TIniFile(TIniFile::PathFor(SettingsFile))
        .WriteString(SettingsSection, PayloadKey, edStartPayload->text().trimmed());
    if (!Execute(FTaq, TTAQ::CMD_ID_START_PERIODIC_ACQ, payload, QStringLiteral("starting the acquisition"),
                 FWindow))
        return;
    // Marked in the device too, so that a disconnect stops the sensor first.
    FTaq.PeriodicAcquisition = true;
    SetAcquiring(true);
}

void TTaqAcquisition::btnStopClick() {
    // Goes out also while another request waits for its answer.
    if (!Execute(FTaq, TTAQ::CMD_ID_STOP_PERIODIC_ACQ, {}, QStringLiteral("stopping the acquisition"),
                 FWindow, true))
        return;
    FTaq.PeriodicAcquisition = false;
    SetAcquiring(false);
}

void TTaqAcquisition::SetAcquiring(bool Acquiring) {
    if (Acquiring && !FAcquiring) {
        FFramesReceived = 0;
        FRate.Restart();
    }
    const bool ended = FAcquiring && !Acquiring;
    FAcquiring = Acquiring;
    if (ended && OnEnded)
        OnEnded();
    ShowState();
    btnStart->setEnabled(FConnected && !FAcquiring);
}

void TTaqAcquisition::ShowState() {
    if (!FConnected)
        lbAcquisition->setText(QStringLiteral("Not connected"));
    else if (FAcquiring)
        lbAcquisition->setText(QStringLiteral("Acquisition running: %1").arg(FrameCount(FFramesReceived)));
    else
        lbAcquisition->setText(QStringLiteral("Acquisition stopped: %1").arg(FrameCount(FFramesReceived)));
    lbFrameRate->setText(FConnected ? QStringLiteral("%1 frames/s received").arg(Num(FRate.Rate(), 1))
                                    : QStringLiteral("-- frames/s received"));
}

void TTaqAcquisition::UpdateFrameRate() {
    FRate.Update();
    // The command editor may have started or stopped the sensor: the device follows its answers.
    if (FTaq.PeriodicAcquisition != FAcquiring)
        SetAcquiring(FTaq.PeriodicAcquisition);
    ShowState();
}

void TTaqAcquisition::FrameArrived() {
    if (!FAcquiring && FTaq.PeriodicAcquisition)
        SetAcquiring(true); // started from the command editor
    ++FFramesReceived;
    FRate.Count();
    if (OnFrame)
        OnFrame();
    FLive.FrameArrived();
}
