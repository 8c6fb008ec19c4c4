#pragma once
// The matrix sensor's window (zel-taq): the latest frame as a pressure map with its figures and the
// total over time, acquisition (single frames, periodic frames, frame rate), tare, gain and
// threshold, and frames saved (CSV, PNG, recordings that can be played back). Built on the same
// main window frame as the gripper console.
#include "ui/FrameFiles.h"
#include "ui/MainFormBaseClass.h"
#include "ui/PressureMap.h"
#include "taq/TAQ.h"

#include <QElapsedTimer>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;
class QSplitter;
class QTimer;

class TTAQMainWin : public TMainWinBase {
    Q_OBJECT
public:
    static const QString Caption; // "TAQ Duruzadud"
    static const QString Version;

    explicit TTAQMainWin(QWidget* Parent = nullptr);
    ~TTAQMainWin() override;

    TTAQ* Taq() const { return FTaq; }

    QSplitter* Splitter1 = nullptr;
    QScrollArea* sbControls = nullptr;
    QScrollArea* sbMap = nullptr;
    // Acquisition.
    QGroupBox* gbAcquisition = nullptr;
    QPushButton* btnReadFrame = nullptr;
    QComboBox* cbCoding = nullptr;
    QLineEdit* edStartPayload = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QLabel* lbAcquisition = nullptr;
    QLabel* lbFrameRate = nullptr;
    // Sensor settings.
    QGroupBox* gbSensor = nullptr;
    QLabel* lbMatrix = nullptr;
    QDoubleSpinBox* edGain = nullptr;
    QPushButton* btnGainRead = nullptr;
    QPushButton* btnGainSet = nullptr;
    QSpinBox* edThreshold = nullptr;
    QPushButton* btnThresholdRead = nullptr;
    QPushButton* btnThresholdSet = nullptr;
    QPushButton* btnTare = nullptr;
    // Frames saved.
    QGroupBox* gbFrames = nullptr;
    QPushButton* btnSaveCsv = nullptr;
    QPushButton* btnSavePng = nullptr;
    QCheckBox* cbRecord = nullptr;
    QLabel* lbRecording = nullptr;
    // Playback of a recording.
    QGroupBox* gbPlayback = nullptr;
    QPushButton* btnOpenRecording = nullptr;
    QPushButton* btnLive = nullptr;
    QSlider* tbPlayback = nullptr;
    QPushButton* btnPrevFrame = nullptr;
    QPushButton* btnPlay = nullptr;
    QPushButton* btnNextFrame = nullptr;
    QLabel* lbPlayback = nullptr;
    // The map and its figures.
    TPressureMap* Map = nullptr;
    TScaleLegend* Legend = nullptr;
    QLabel* lbSource = nullptr;
    QLabel* lbCell = nullptr;
    QLabel* lbTotal = nullptr;
    QLabel* lbMaximum = nullptr;
    QLabel* lbCentre = nullptr;
    QCheckBox* cbShowValues = nullptr;
    QSpinBox* edRangeMax = nullptr;
    TTotalPlot* TotalPlot = nullptr;

    QMenu* miSensor = nullptr;
    QAction* miReadFrame = nullptr;
    QAction* miStartAcquisition = nullptr;
    QAction* miStopAcquisition = nullptr;
    QAction* miTare = nullptr;
    QAction* miSensorInfo = nullptr;
    QAction* miSaveCsv = nullptr;
    QAction* miSavePng = nullptr;
    QAction* miOpenRecording = nullptr;

    // Asked for a file name (Save: a new file); empty when the operator cancelled. Tests replace it.
    std::function<QString(const QString& Caption, const QString& Filter, bool Save)> AskFileName;

    void OnDeviceConnect() override;
    void OnDeviceDisconnect() override;
    void EnableControls(bool Enabled) override;

    // Handlers; public so that tests and automation can run them as a click would.
    void btnReadFrameClick();
    void btnStartClick();
    void btnStopClick();
    void btnTareClick();
    void btnGainReadClick();
    void btnGainSetClick();
    void btnThresholdReadClick();
    void btnThresholdSetClick();
    void btnSaveCsvClick();
    void btnSavePngClick();
    void cbRecordClick();
    void btnOpenRecordingClick();
    void miSensorInfoClick();

    // The payload of the start command from its field; false when the field cannot be read.
    bool StartPayload(TByteArray& Payload) const;
    bool Acquiring() const { return FAcquiring; }
    double FrameRate() const { return FFrameRate; }
    int FramesReceived() const { return FFramesReceived; }

    bool SaveFrameCsv(const QString& Path);
    bool SaveFramePng(const QString& Path);
    // Frames decoded while a recording is open are written to it; the end of the acquisition,
    // the link or the window closes it.
    bool StartRecording(const QString& Path);
    void StopRecording();
    const TRecordingWriter& Recording() const { return FRecording; }

    bool OpenRecording(const QString& Path);
    void ShowRecordedFrame(int Index);
    void SetPlaying(bool Playing);
    bool Playing() const;
    void CloseRecording();
    const TRecordingReader& Player() const { return FPlayer; }

    // Shows what arrived since the last display now (the display otherwise follows at display rate).
    void FlushDisplay();

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormCreate();
    void BuildAcquisition(QWidget* Parent);
    void BuildSensorBox(QWidget* Parent);
    void BuildFramesBox(QWidget* Parent);
    void BuildPlaybackBox(QWidget* Parent);
    QWidget* BuildMapSide();
    void BuildMenu();
    void FrameArrived();
    void ShowFrame(const std::vector<int32_t>& Cells, const QString& Source,
                   const TFrameStats* Stats = nullptr);
    void ShowCursor();
    void ShowAcquisitionState();
    void ShowSensorValues();
    void ShowRecordingState();
    void ShowPlaybackState();
    void UpdateFrameRate();
    void PlaybackTick();
    void SetAcquiring(bool Acquiring);
    bool Execute(uint8_t CommandID, const TByteArray& Payload, const QString& What, bool Urgent = false);
    QString Ask(const QString& Caption, const QString& Filter, bool Save);

    TTAQ* FTaq = nullptr;
    bool FConnected = false;
    bool FAcquiring = false;
    // Live frames are shown at once, and further ones within the hold-off together when it ends.
    QTimer* FDisplayHold = nullptr;
    bool FDisplayPending = false;
    TFrameStats FStats;     // of the frame shown
    TFrameStats FLiveStats; // of the newest live frame
    QTimer* FRateTimer = nullptr;
    QElapsedTimer FRateClock;
    int FRateFrames = 0;
    double FFrameRate = 0;
    int FFramesReceived = 0;
    QElapsedTimer FPlotClock;
    TRecordingWriter FRecording;
    TRecordingReader FPlayer;
    int FPlayIndex = -1;
    uint32_t FPlayStamp = 0;
    QTimer* FPlayTimer = nullptr;
    std::vector<int32_t> FPlayCells;
};
