#pragma once
// The matrix sensor's window (zel-taq): the latest frame as a pressure map with its figures and the
// total over time, acquisition (single frames, periodic frames, frame rate), tare, gain and
// threshold, and frames saved (CSV, PNG, recordings that can be played back). Built on the same
// main window frame as the gripper console; the window composes its parts and links them with the
// device.
#include "ui/MainFormBaseClass.h"
#include "taq/TAQ.h"
#include "ui/TaqControls.h"

#include <memory>

class QMenu;
class QScrollArea;
class QSplitter;
class TTaqAcquisition;
class TTaqLiveView;
class TTaqMapPanel;
class TTaqPlayback;
class TTaqRecorder;
class TTaqSettings;

class TTAQMainWin : public TMainWinBase {
    Q_OBJECT
public:
    static const QString Caption; // "TAQ Duruzadud"
    static const QString Version;

    explicit TTAQMainWin(QWidget* Parent = nullptr);
    ~TTAQMainWin() override;

    TTAQ* Taq() const { return FTaq; }
    // The window's parts.
    TTaqAcquisition& Acquisition() const { return *FAcquisition; }
    TTaqMapPanel& MapPanel() const { return *FMapPanel; }
    TTaqSettings& Settings() const { return *FSettings; }
    TTaqRecorder& Recorder() const { return *FRecorder; }
    TTaqPlayback& Playback() const { return *FPlayback; }

    // Asked for a file name (Save: a new file); empty when the operator cancelled. Tests replace it.
    TAskFileName AskFileName;

    void OnDeviceConnect() override;
    void OnDeviceDisconnect() override;
    void EnableControls(bool Enabled) override;

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormCreate();
    QWidget* BuildControls();
    void BuildMenu();
    void LinkParts();

    TTAQ* FTaq = nullptr;
    bool FConnected = false;
    QSplitter* Splitter1 = nullptr;
    QScrollArea* sbControls = nullptr;
    QScrollArea* sbMap = nullptr;
    QMenu* miSensor = nullptr;
    TTaqMapPanel* FMapPanel = nullptr; // in the window's widgets
    // Destroyed in reverse: the acquisition, which hears the device's frames, goes first.
    std::unique_ptr<TTaqLiveView> FLive;
    std::unique_ptr<TTaqRecorder> FRecorder;
    std::unique_ptr<TTaqPlayback> FPlayback;
    std::unique_ptr<TTaqSettings> FSettings;
    std::unique_ptr<TTaqAcquisition> FAcquisition;
};
