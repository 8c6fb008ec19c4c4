#pragma once
// The sensor window's playback: a recording opened in place of the live frames, stepped through
// frame by frame or played at the pace it was recorded, until "Live" closes it.
#include "ui/FrameFiles.h"
#include "ui/TaqControls.h"

#include <QList>
#include <QObject>

#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QGridLayout;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QTimer;
class QWidget;
class TTaqMapPanel;

class TTaqPlayback : public QObject {
public:
    // Its box is built in Parent; the frames go to Panel; boxes open over Window.
    TTaqPlayback(const TTAQ& Taq, TTaqMapPanel& Panel, QWidget* Window, QWidget* Parent);

    QGroupBox* Box() const { return gbPlayback; }
    QList<QWidget*> TabOrder() const;
    void AddMenuItems(QMenu* Menu);
    void ShowState();

    // Shows the recording's first frame; the recording has the display until it is closed.
    bool Open(const QString& Path);
    void Close();
    void SetPlaying(bool Playing);
    bool Playing() const;
    const TRecordingReader& Player() const { return FPlayer; }

    // Handler; public so that tests and automation can run it as a click would.
    void btnOpenRecordingClick();

    TAskFileName AskFileName;
    // The recording was closed: the live frames have the display again.
    std::function<void()> OnLive;

private:
    void BuildSteps(QGridLayout* Grid);
    void ConnectControls();
    void ShowRecordedFrame(int Index);
    void PlaybackTick();

    const TTAQ& FTaq;
    TTaqMapPanel& FPanel;
    QWidget* FWindow = nullptr;
    TRecordingReader FPlayer;
    int FPlayIndex = -1;
    uint32_t FPlayStamp = 0;
    QTimer* FPlayTimer = nullptr;
    std::vector<int32_t> FPlayCells;
    QGroupBox* gbPlayback = nullptr;
    QPushButton* btnOpenRecording = nullptr;
    QPushButton* btnLive = nullptr;
    QSlider* tbPlayback = nullptr;
    QPushButton* btnPrevFrame = nullptr;
    QPushButton* btnPlay = nullptr;
    QPushButton* btnNextFrame = nullptr;
    QLabel* lbPlayback = nullptr;
};
