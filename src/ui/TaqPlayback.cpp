// Playback of a recording in the sensor window.
#include "ui/TaqPlayback.h"

#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"
#include "ui/TaqMapPanel.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>

using namespace TaqControls;

TTaqPlayback::TTaqPlayback(const TTAQ& Taq, TTaqMapPanel& Panel, QWidget* Window, QWidget* Parent)
    : FTaq(Taq), FPanel(Panel), FWindow(Window) {
    FPlayTimer = new QTimer(this);
    FPlayTimer->setSingleShot(true);
    connect(FPlayTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { PlaybackTick(); }); });

    gbPlayback = Group(QStringLiteral("gbPlayback"), QStringLiteral("Recording"), Parent);
    auto* g = new QGridLayout(gbPlayback);
    btnOpenRecording =
        Button(QStringLiteral("btnOpenRecording"), QStringLiteral("&Open..."),
               QStringLiteral("Open a recording and show its frames instead of the live ones"), gbPlayback);
    btnOpenRecording->setAccessibleName(QStringLiteral("Open recording"));
    btnLive = Button(QStringLiteral("btnLive"), QStringLiteral("&Live"),
                     QStringLiteral("Close the recording and show the live frames again"), gbPlayback);
    tbPlayback = new QSlider(Qt::Horizontal, gbPlayback);
    tbPlayback->setObjectName(QStringLiteral("tbPlayback"));
    tbPlayback->setAccessibleName(QStringLiteral("Recorded frame"));
    SetHint(tbPlayback, QStringLiteral("The frame of the recording shown"));
    g->addWidget(btnOpenRecording, 0, 0);
    g->addWidget(btnLive, 0, 1);
    g->addWidget(tbPlayback, 1, 0, 1, 3);
    BuildSteps(g);
    lbPlayback = Value(QStringLiteral("lbPlayback"), QStringLiteral("Recording shown"), gbPlayback);
    lbPlayback->setWordWrap(true);
    g->addWidget(lbPlayback, 3, 0, 1, 3);
    g->setColumnStretch(2, 1);
    ConnectControls();
    ShowState();
}

void TTaqPlayback::BuildSteps(QGridLayout* Grid) {
    btnPrevFrame = Button(QStringLiteral("btnPrevFrame"), QStringLiteral("<"),
                          QStringLiteral("Previous frame"), gbPlayback);
    btnPrevFrame->setAccessibleName(QStringLiteral("Previous frame"));
    btnPlay = Button(QStringLiteral("btnPlay"), QStringLiteral("Pla&y"),
                     QStringLiteral("Play the recording at the pace it was recorded"), gbPlayback);
    btnPlay->setCheckable(true);
    btnNextFrame =
        Button(QStringLiteral("btnNextFrame"), QStringLiteral(">"), QStringLiteral("Next frame"), gbPlayback);
    btnNextFrame->setAccessibleName(QStringLiteral("Next frame"));
    auto* steps = new QHBoxLayout;
    steps->addWidget(btnPrevFrame);
    steps->addWidget(btnPlay);
    steps->addWidget(btnNextFrame);
    steps->addStretch(1);
    Grid->addLayout(steps, 2, 0, 1, 3);
}

void TTaqPlayback::ConnectControls() {
    connect(btnOpenRecording, &QPushButton::clicked, this,
            Guarded(this, &TTaqPlayback::btnOpenRecordingClick));
    connect(btnLive, &QPushButton::clicked, this, Guarded(this, &TTaqPlayback::Close));
    connect(tbPlayback, &QSlider::valueChanged, this, [this](int V) {
        RunGuarded([&] {
            if (FPlayer.IsOpen() && V != FPlayIndex)
                ShowRecordedFrame(V);
        });
    });
    connect(btnPrevFrame, &QPushButton::clicked, this, [this] {
        RunGuarded([this] {
            SetPlaying(false);
            ShowRecordedFrame(FPlayIndex - 1);
        });
    });
    connect(btnNextFrame, &QPushButton::clicked, this, [this] {
        RunGuarded([this] {
            SetPlaying(false);
            ShowRecordedFrame(FPlayIndex + 1);
        });
    });
    connect(btnPlay, &QPushButton::clicked, this, [this](bool On) { RunGuarded([&] { SetPlaying(On); }); });
}

QList<QWidget*> TTaqPlayback::TabOrder() const {
    return {btnOpenRecording, btnLive, tbPlayback, btnPrevFrame, btnPlay, btnNextFrame};
}

void TTaqPlayback::AddMenuItems(QMenu* Menu) {
    MenuItem(Menu, QStringLiteral("miOpenRecording"), QStringLiteral("&Open Recording..."),
             btnOpenRecording->statusTip(), this, [this] { btnOpenRecordingClick(); });
}

void TTaqPlayback::btnOpenRecordingClick() {
    const QString path = AskFileName ? AskFileName(QStringLiteral("Open Recording"),
                                                   QStringLiteral("CSV files (*.csv);;All files (*)"), false)
                                     : QString();
    if (!path.isEmpty())
        Open(path);
}

bool TTaqPlayback::Open(const QString& Path) {
    SetPlaying(false);
    QString error;
    if (!FPlayer.Open(Path, &error)) {
        ShowMessage(TMessageKind::Error, QStringLiteral("The recording could not be opened: %1").arg(error),
                    ErrorCaption, FWindow);
        Close();
        return false;
    }
    // The recording does not carry the cell size: the sensor's when it has the same matrix.
    const bool same = FTaq.MatrixWidth == FPlayer.Width() && FTaq.MatrixHeight == FPlayer.Height();
    FPanel.SetMatrix(FPlayer.Width(), FPlayer.Height(), same ? FTaq.CellWidth : 1,
                     same ? FTaq.CellHeight : 1);
    FPanel.ClearPlot();
    FPlayIndex = -1;
    tbPlayback->setRange(0, std::max(0, FPlayer.Count() - 1));
    if (FPlayer.Count() > 0)
        ShowRecordedFrame(0);
    else
        FPanel.ShowNoFrame();
    ShowState();
    return true;
}

void TTaqPlayback::ShowRecordedFrame(int Index) {
    if (!FPlayer.IsOpen() || FPlayer.Count() == 0)
        return;
    Index = std::clamp(Index, 0, FPlayer.Count() - 1);
    QString error;
    uint32_t stamp = 0;
    if (!FPlayer.Frame(Index, stamp, FPlayCells, &error)) {
        SetPlaying(false);
        ShowMessage(TMessageKind::Error, error, ErrorCaption, FWindow);
        return;
    }
    FPlayIndex = Index;
    FPlayStamp = stamp;
    const TFrameStats stats = FrameStats(FPlayCells, FPlayer.Width(), FPlayer.Height());
    FPanel.AddTotal(stamp / 1000.0, double(stats.Total));
    FPanel.UpdatePlot();
    FPanel.ShowFrame(FPlayCells,
                     QStringLiteral("%1: frame %2 of %3, time stamp %4 ms")
                         .arg(QFileInfo(FPlayer.FileName()).fileName())
                         .arg(Index + 1)
                         .arg(FPlayer.Count())
                         .arg(stamp),
                     &stats);
    const QSignalBlocker block(tbPlayback);
    tbPlayback->setValue(Index);
    ShowState();
}

void TTaqPlayback::SetPlaying(bool Playing) {
    Playing = Playing && FPlayer.IsOpen() && FPlayer.Count() > 1;
    if (Playing && FPlayIndex >= FPlayer.Count() - 1)
        ShowRecordedFrame(0); // from the start again
    if (Playing)
        FPlayTimer->start(0);
    else
        FPlayTimer->stop();
    btnPlay->setChecked(Playing);
    btnPlay->setText(Playing ? QStringLiteral("Pa&use") : QStringLiteral("Pla&y"));
}

bool TTaqPlayback::Playing() const {
    return btnPlay->isChecked();
}

void TTaqPlayback::PlaybackTick() {
    if (!Playing())
        return;
    if (FPlayIndex >= FPlayer.Count() - 1) {
        SetPlaying(false);
        return;
    }
    const uint32_t before = FPlayStamp;
    ShowRecordedFrame(FPlayIndex + 1);
    // At the recorded pace, within reason: a gap in the recording does not stall the playback.
    const uint32_t gap = FPlayStamp - before;
    FPlayTimer->start(int(std::clamp<uint32_t>(gap, 1, 1000)));
}

void TTaqPlayback::Close() {
    const bool was = FPlayer.IsOpen();
    SetPlaying(false);
    FPlayer.Close();
    FPlayIndex = -1;
    FPlayCells.clear();
    if (was) {
        FPanel.SetMatrix(FTaq.MatrixWidth, FTaq.MatrixHeight, FTaq.CellWidth, FTaq.CellHeight);
        FPanel.ClearPlot();
        if (OnLive)
            OnLive();
    }
    ShowState();
}

void TTaqPlayback::ShowState() {
    const bool open = FPlayer.IsOpen();
    btnLive->setEnabled(open);
    tbPlayback->setEnabled(open && FPlayer.Count() > 1);
    btnPrevFrame->setEnabled(open && FPlayIndex > 0);
    btnNextFrame->setEnabled(open && FPlayIndex < FPlayer.Count() - 1);
    btnPlay->setEnabled(open && FPlayer.Count() > 1);
    if (!open)
        lbPlayback->setText(QStringLiteral("Showing live frames"));
    else
        lbPlayback->setText(QStringLiteral("%1: frame %2 of %3")
                                .arg(QFileInfo(FPlayer.FileName()).fileName())
                                .arg(FPlayIndex + 1)
                                .arg(FPlayer.Count()));
}
