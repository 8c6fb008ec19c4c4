#pragma once
// The gripper console's state column: the live position, grasping state and force on a black
// ground, the system state in hex with one box per named flag, and below them, always in view, the
// fast-stop panel with its button, the gripper's picture and the documentation link.
#include "zel/ZEL.h"
#include "zel/ZEL_commands.h"

#include <QFrame>
#include <QList>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;
class TRollPanel;

// The fast stop, the picture and the documentation link.
class TFastStopPanel : public QFrame {
public:
    // The stop key of Window clicks the button.
    TFastStopPanel(TZEL& Zel, QWidget* Window, QWidget* Parent);

    // Pressed while the device is in fast stop.
    bool Pressed() const;
    void SetPressed(bool Pressed);
    void EnableStop(bool Enabled);
    // The picture gives its room to the controls in a narrow window.
    void ShowPicture(bool Shown);
    // The controls in keyboard order.
    QList<QWidget*> TabOrder() const;

    // The README beside or above the program, for the documentation link; empty when none.
    static QString FindReadme();

    // Handler; public so that automation and tests can run it as a click would.
    void btnEmergencyStopClick();

private:
    void BuildButton(QWidget* Window);
    void BuildLink();

    TZEL& FZel;
    QPushButton* btnEmergencyStop = nullptr;
    QLabel* imgGripper = nullptr;
    QLabel* lbWebSite = nullptr;
};

class TGripperStateColumn : public QWidget {
public:
    static constexpr uint32_t FastStopFlag = SF_FAST_STOP;
    static constexpr uint32_t FaultFlags = SystemStateFaultFlags;

    TGripperStateColumn(TZEL& Zel, QWidget* Window);

    // The device's notifications: each shows what the device reported. Position and force may be
    // reported every millisecond: a report shows at once, and further ones within the hold-off
    // show together when it ends, so the labels repaint at most at display rate.
    void SystemStateChange();
    void GraspingStateChange();
    void PositionChange();
    void ForceChange();
    // Disabled: every value "[n/a]", no flag set, no fast stop to press.
    void EnableState(bool Enabled);
    // Nothing more is shown: the window closes.
    void StopUpdates();
    TFastStopPanel& FastStop() const { return *pnEmergency; }

    // Fixes the column at its width (with room for a vertical scroll bar) and returns it.
    int FixWidth();
    // Below the commands in a narrow window: as wide as the window, without the picture.
    void SetStacked(bool Stacked);
    // The controls in keyboard order.
    QList<QWidget*> TabOrder() const;

private:
    TRollPanel* BuildPositionPanel();
    TRollPanel* BuildFlagsPanel();
    void ShowGraspingState(const QString& Text, bool Error);
    void ShowFaults(uint32_t State);
    void ShowValues();

    TZEL& FZel;
    QScrollArea* sbState = nullptr;
    TRollPanel* RollPanel3 = nullptr;
    QLabel* lbPosition = nullptr;
    QLabel* lbGraspingState = nullptr;
    QLabel* lbGraspingForce = nullptr;
    TRollPanel* RollPanel1 = nullptr;
    QLabel* lbSystemstate = nullptr;
    std::vector<QCheckBox*> FlagBoxes;
    TFastStopPanel* pnEmergency = nullptr;
    QTimer* FValueHold = nullptr;
    bool FPositionPending = false;
    bool FForcePending = false;
    bool FEnabled = false;
    int FWidth = 0;
};
