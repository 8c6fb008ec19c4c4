// Frames saved by the sensor window: the frame shown as CSV or PNG, and recordings.
#include "ui/TaqRecording.h"

#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"
#include "ui/TaqMapPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

using namespace TaqControls;

TTaqRecorder::TTaqRecorder(const TTAQ& Taq, const TTaqMapPanel& Panel, QWidget* Window, QWidget* Parent)
    : FTaq(Taq), FPanel(Panel), FWindow(Window) {
    gbFrames = Group(QStringLiteral("gbFrames"), QStringLiteral("Frames"), Parent);
    auto* g = new QGridLayout(gbFrames);
    btnSaveCsv =
        Button(QStringLiteral("btnSaveCsv"), QStringLiteral("Save as &CSV..."),
               QStringLiteral("Save the frame shown as CSV, one line per row of the matrix"), gbFrames);
    btnSavePng =
        Button(QStringLiteral("btnSavePng"), QStringLiteral("Save as P&NG..."),
               QStringLiteral("Save the frame shown as a picture in the sensor's proportions"), gbFrames);
    cbRecord = new QCheckBox(QStringLiteral("&Record frames..."), gbFrames);
    cbRecord->setObjectName(QStringLiteral("cbRecord"));
    SetHint(cbRecord,
            QStringLiteral("Write every frame received to a CSV file (time stamp, then the cells) until "
                           "this is switched off or the acquisition stops"));
    lbRecording = Value(QStringLiteral("lbRecording"), QStringLiteral("Recording state"), gbFrames);
    lbRecording->setWordWrap(true);
    g->addWidget(btnSaveCsv, 0, 0);
    g->addWidget(btnSavePng, 0, 1);
    g->addWidget(cbRecord, 1, 0, 1, 2);
    g->addWidget(lbRecording, 2, 0, 1, 2);
    connect(btnSaveCsv, &QPushButton::clicked, this, Guarded(this, &TTaqRecorder::btnSaveCsvClick));
    connect(btnSavePng, &QPushButton::clicked, this, Guarded(this, &TTaqRecorder::btnSavePngClick));
    connect(cbRecord, &QCheckBox::clicked, this, Guarded(this, &TTaqRecorder::cbRecordClick));
    ShowState();
}

QList<QWidget*> TTaqRecorder::TabOrder() const {
    return {btnSaveCsv, btnSavePng, cbRecord};
}

void TTaqRecorder::AddMenuItems(QMenu* Menu) {
    FActions = {
        MenuItem(Menu, QStringLiteral("miSaveCsv"), QStringLiteral("Save Frame as &CSV..."),
                 btnSaveCsv->statusTip(), this, [this] { btnSaveCsvClick(); }),
        MenuItem(Menu, QStringLiteral("miSavePng"), QStringLiteral("Save Frame as &PNG..."),
                 btnSavePng->statusTip(), this, [this] { btnSavePngClick(); }),
    };
}

void TTaqRecorder::EnableControls(bool Connected, bool HasFrame) {
    cbRecord->setEnabled(Connected || FRecording.IsOpen());
    for (QWidget* w : std::initializer_list<QWidget*>{btnSaveCsv, btnSavePng})
        w->setEnabled(HasFrame);
    for (QAction* a : FActions)
        a->setEnabled(HasFrame);
}

QString TTaqRecorder::Ask(const QString& Caption, const QString& Filter) {
    return AskFileName ? AskFileName(Caption, Filter, true) : QString();
}

bool TTaqRecorder::SaveFrameCsv(const QString& Path) {
    const TPressureMap& map = *FPanel.Map();
    QString error;
    if (WriteFrameCsv(Path, map.Cells(), map.MatrixWidth(), map.MatrixHeight(), &error))
        return true;
    ShowMessage(TMessageKind::Error, QStringLiteral("The frame could not be saved: %1").arg(error),
                ErrorCaption, FWindow);
    return false;
}

bool TTaqRecorder::SaveFramePng(const QString& Path) {
    TPressureMap& map = *FPanel.Map();
    if (!map.HasFrame()) {
        ShowMessage(TMessageKind::Error,
                    QStringLiteral("The frame could not be saved: there is no frame to save."), ErrorCaption,
                    FWindow);
        return false;
    }
    const int side = std::max(map.MatrixWidth(), map.MatrixHeight());
    if (map.Render(std::clamp(640 / std::max(1, side), 1, 64)).save(Path, "PNG"))
        return true;
    ShowMessage(TMessageKind::Error, QStringLiteral("The frame could not be saved to %1.").arg(Path),
                ErrorCaption, FWindow);
    return false;
}

void TTaqRecorder::btnSaveCsvClick() {
    const QString path = Ask(QStringLiteral("Save Frame as CSV"), QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty())
        SaveFrameCsv(path);
}

void TTaqRecorder::btnSavePngClick() {
    const QString path = Ask(QStringLiteral("Save Frame as PNG"), QStringLiteral("PNG pictures (*.png)"));
    if (!path.isEmpty())
        SaveFramePng(path);
}

bool TTaqRecorder::Start(const QString& Path) {
    QString error;
    if (!FRecording.Open(Path, FTaq.MatrixWidth, FTaq.MatrixHeight, &error)) {
        ShowMessage(TMessageKind::Error, QStringLiteral("The recording could not be started: %1").arg(error),
                    ErrorCaption, FWindow);
        ShowState();
        return false;
    }
    ShowState();
    return true;
}

void TTaqRecorder::Stop() {
    FRecording.Close();
    ShowState();
}

void TTaqRecorder::Add(uint32_t Timestamp, const std::vector<int32_t>& Cells) {
    if (!FRecording.IsOpen() || FRecording.Add(Timestamp, Cells))
        return;
    const QString error = FRecording.LastError();
    Stop();
    QTimer::singleShot(0, this, [this, error] {
        ShowMessage(TMessageKind::Error, QStringLiteral("The recording stopped: %1").arg(error), ErrorCaption,
                    FWindow);
    });
}

void TTaqRecorder::cbRecordClick() {
    if (!cbRecord->isChecked()) {
        Stop();
        return;
    }
    const QString path = Ask(QStringLiteral("Record Frames"), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty() || !Start(path))
        ShowState();
}

void TTaqRecorder::ShowState() {
    cbRecord->setChecked(FRecording.IsOpen());
    cbRecord->setEnabled(FConnected || FRecording.IsOpen());
    if (FRecording.IsOpen())
        lbRecording->setText(
            QStringLiteral("Recording to %1: %2")
                .arg(QFileInfo(FRecording.FileName()).fileName(), FrameCount(FRecording.Count())));
    else if (!FRecording.FileName().isEmpty())
        lbRecording->setText(
            QStringLiteral("Recorded %1 to %2")
                .arg(FrameCount(FRecording.Count()), QFileInfo(FRecording.FileName()).fileName()));
    else
        lbRecording->setText(QStringLiteral("Not recording"));
}
