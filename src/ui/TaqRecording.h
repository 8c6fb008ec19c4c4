#pragma once
// The sensor window's frames saved: the frame shown as CSV or PNG, and the recording of the frames
// received into a CSV file (opened by the operator, closed with the acquisition or the link).
#include "ui/FrameFiles.h"
#include "ui/TaqControls.h"

#include <QList>
#include <QObject>

#include <cstdint>
#include <vector>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;
class TTaqMapPanel;

class TTaqRecorder : public QObject {
public:
    // Its box is built in Parent; Panel has the frame shown; boxes open over Window.
    TTaqRecorder(const TTAQ& Taq, const TTaqMapPanel& Panel, QWidget* Window, QWidget* Parent);

    QGroupBox* Box() const { return gbFrames; }
    QList<QWidget*> TabOrder() const;
    void AddMenuItems(QMenu* Menu);
    // Recording needs the link (or a recording open to end); saving needs a frame.
    void EnableControls(bool Connected, bool HasFrame);
    void SetConnected(bool Connected) { FConnected = Connected; }
    void ShowState();

    bool SaveFrameCsv(const QString& Path);
    bool SaveFramePng(const QString& Path);
    // Frames added while a recording is open are written to it.
    bool Start(const QString& Path);
    void Stop();
    // A frame received; a recording that cannot take it ends with a box.
    void Add(uint32_t Timestamp, const std::vector<int32_t>& Cells);
    const TRecordingWriter& File() const { return FRecording; }

    // Handlers; public so that tests and automation can run them as a click would.
    void btnSaveCsvClick();
    void btnSavePngClick();
    void cbRecordClick();

    TAskFileName AskFileName;

private:
    QString Ask(const QString& Caption, const QString& Filter);

    const TTAQ& FTaq;
    const TTaqMapPanel& FPanel;
    QWidget* FWindow = nullptr;
    bool FConnected = false;
    TRecordingWriter FRecording;
    QGroupBox* gbFrames = nullptr;
    QPushButton* btnSaveCsv = nullptr;
    QPushButton* btnSavePng = nullptr;
    QCheckBox* cbRecord = nullptr;
    QLabel* lbRecording = nullptr;
    QList<QAction*> FActions; // those that need a frame
};
