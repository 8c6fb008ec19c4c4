#pragma once
// The sensor window's acquisition: single frames and periodic acquisition started and stopped, the
// frames received and their rate, and the live frames on their way to the map (shown at once, and
// those arriving within a hold-off together when it ends, so that the display keeps its pace).
#include "taq/TAQ.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <functional>

class QAction;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QWidget;
class TTaqMapPanel;

// The live frames shown on the map panel and their totals on its strip.
class TTaqLiveView : public QObject {
public:
    TTaqLiveView(const TTAQ& Taq, TTaqMapPanel& Panel);

    // The device decoded a frame: shown now, or when the hold-off ends.
    void FrameArrived();
    // Shows what arrived since the last display now.
    void FlushDisplay();
    // No more frames come: the hold-off ends and what waits is shown.
    void Stop();
    // The device's newest frame when Received (it has one), else no frame.
    void ShowLatest(bool Received);

    // True while something else (a recording) has the display.
    std::function<bool()> DisplayTaken;
    // A live frame was shown.
    std::function<void()> OnDisplayed;

private:
    QString Source() const;

    const TTAQ& FTaq;
    TTaqMapPanel& FPanel;
    QTimer* FDisplayHold = nullptr;
    bool FDisplayPending = false;
    QElapsedTimer FPlotClock;
};

// Frames counted against the time since the last look, as frames per second.
class TRateMeter {
public:
    void Restart();
    void Count() { ++FFrames; }
    // The rate since the last update or restart; the count starts again.
    void Update();
    void Clear() { FRate = 0; }
    double Rate() const { return FRate; }

private:
    QElapsedTimer FClock;
    int FFrames = 0;
    double FRate = 0;
};

class TTaqAcquisition : public QObject {
public:
    // Its box is built in Parent; boxes report to Window, which the stop key also watches.
    TTaqAcquisition(TTAQ& Taq, TTaqLiveView& Live, QWidget* Window, QWidget* Parent);
    ~TTaqAcquisition() override;

    QGroupBox* Box() const { return gbAcquisition; }
    QList<QWidget*> TabOrder() const;
    void AddMenuItems(QMenu* Menu);
    // The box itself follows the window's controls; this sets what depends on the acquisition.
    void EnableControls(bool Connected);
    void Connected();
    // A lost link ends the acquisition as a stop would.
    void Disconnected();
    void ShowState();

    bool Acquiring() const { return FAcquiring; }
    double FrameRate() const { return FRate.Rate(); }
    int FramesReceived() const { return FFramesReceived; }
    // The payload of the start command from its field; false when the field cannot be read.
    bool StartPayload(TByteArray& Payload) const;

    // Handlers; public so that tests and automation can run them as a click would.
    void btnReadFrameClick();
    void btnStartClick();
    void btnStopClick();

    // A frame was decoded and counted, before it goes to the display.
    std::function<void()> OnFrame;
    // The acquisition ended (stopped, or the link went).
    std::function<void()> OnEnded;

private:
    void BuildReadRow(QGridLayout* Grid);
    void BuildStartRow(QGridLayout* Grid);
    void FrameArrived();
    void SetAcquiring(bool Acquiring);
    void UpdateFrameRate();

    TTAQ& FTaq;
    TTaqLiveView& FLive;
    QWidget* FWindow = nullptr;
    bool FConnected = false;
    bool FAcquiring = false;
    int FFramesReceived = 0;
    QTimer* FRateTimer = nullptr;
    TRateMeter FRate;
    QGroupBox* gbAcquisition = nullptr;
    QPushButton* btnReadFrame = nullptr;
    QComboBox* cbCoding = nullptr;
    QLineEdit* edStartPayload = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QLabel* lbAcquisition = nullptr;
    QLabel* lbFrameRate = nullptr;
    QList<QAction*> FActions; // those that need the link
};
