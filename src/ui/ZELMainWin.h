#pragma once
// The gripper console: command panels on the left (acceleration, force limit, move, grasp,
// release, homing, stop, fast-stop acknowledgement) above the results of motion commands, the
// live state on the right (position, force, grasping state, system flags) and the fast-stop
// button. Everything it shows comes from the device's notifications.
#include "ui/MainFormBaseClass.h"
#include "zel/ZEL.h"
#include "zel/ZEL_commands.h"

#include <QString>

#include <vector>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QSplitter;
class QTimer;
class TCommandPanel;
class TFloatEdit;
class TFloatEditDlg;
class TLineMemo;
class TLivePlot;
class TMotionPanel;
class TRollPanel;
class TTextPanel;
class TValuePanel;

class TMainWin : public TMainWinBase {
    Q_OBJECT
public:
    static constexpr uint32_t FastStopFlag = SF_FAST_STOP;
    static constexpr uint32_t FaultFlags = SystemStateFaultFlags;
    static const QString Caption; // "ZEL Duruzadud"
    static const QString Version; // the project's version

    explicit TMainWin(QWidget* Parent = nullptr);
    ~TMainWin() override;

    TZEL* Zel() const { return FZel; }

    // Left column.
    QSplitter* Splitter1 = nullptr;
    QScrollArea* sbCommands = nullptr;
    TValuePanel* pnAcc = nullptr;
    QLabel* lbAcc = nullptr;
    QPushButton* btnAcc = nullptr;
    TValuePanel* pnForce = nullptr;
    QLabel* lbForce = nullptr;
    QPushButton* btnForce = nullptr;
    TMotionPanel* pnGoto = nullptr;
    TFloatEdit* edGotoPos = nullptr;
    TFloatEdit* edGotoSpeed = nullptr;
    QSlider* tbGotoPos = nullptr;
    QSlider* tbGotoSpeed = nullptr;
    QPushButton* btnMove = nullptr;
    TMotionPanel* pnGrasp = nullptr;
    TFloatEdit* edGraspingPos = nullptr;
    TFloatEdit* edGraspingSpeed = nullptr;
    QSlider* tbGraspingPos = nullptr;
    QSlider* tbGraspingSpeed = nullptr;
    QPushButton* btnGrasp = nullptr;
    TMotionPanel* pnRelease = nullptr;
    TFloatEdit* edReleasePos = nullptr;
    TFloatEdit* edReleaseSpeed = nullptr;
    QSlider* tbReleasePos = nullptr;
    QSlider* tbReleaseSpeed = nullptr;
    QPushButton* btnRelease = nullptr;
    TTextPanel* pnHoming = nullptr;
    QComboBox* cbHomingDir = nullptr;
    QPushButton* btnHoming = nullptr;
    TTextPanel* pnStop = nullptr;
    QPushButton* btnStop = nullptr;
    TTextPanel* pnFastStopAcknowledge = nullptr;
    QPushButton* btnFastStopAcknowledge = nullptr;
    TRollPanel* RollPanel2 = nullptr;
    TLineMemo* LogMemo = nullptr;

    // Right column: the live state scrolls, the fast-stop panel below it always shows.
    QScrollArea* sbState = nullptr;
    TRollPanel* RollPanel3 = nullptr;
    QFrame* pnState = nullptr;
    QLabel* lbPosition = nullptr;
    QLabel* lbGraspingState = nullptr;
    QLabel* lbGraspingForce = nullptr;
    TRollPanel* RollPanel1 = nullptr;
    QLabel* lbSystemstate = nullptr;
    std::vector<QCheckBox*> FlagBoxes;
    QFrame* pnEmergency = nullptr;
    QPushButton* btnEmergencyStop = nullptr;
    QLabel* imgGripper = nullptr;
    QLabel* lbWebSite = nullptr;

    QMenu* miZEL = nullptr;
    QAction* miSystemLimits = nullptr;
    QAction* miGraspingStatistics = nullptr;
    // "Live Plot" in the "&View" menu: position, force and grasping state over time.
    QAction* miLivePlot = nullptr;
    // The plot window, built with the first sample or the first "Live Plot" click.
    TLivePlot* LivePlotWindow();

    // The command panels in the order of the column.
    const std::vector<TCommandPanel*>& CommandPanels() const { return FPanels; }
    // True while the state column stands below the commands (a narrow window).
    bool Stacked() const { return FStacked; }

    // The value dialog of acceleration and force limit, built when first needed.
    TFloatEditDlg* ValueDialog();
    double CurrentAcceleration() const { return FAcceleration; }
    double CurrentForceLimit() const { return FForceLimit; }

    void OnDeviceConnect() override;
    void OnDeviceDisconnect() override;
    void EnableControls(bool Enabled) override;

    // Rows of "Gripper System Limits" from the limits read at connect.
    std::vector<std::pair<QString, QString>> SystemLimitsRows() const;

    // Handlers; public so that automation and tests can run them as a click would.
    void btnMoveClick();
    void btnGraspClick();
    void btnReleaseClick();
    void btnHomingClick();
    void btnStopClick();
    void btnEmergencyStopClick();
    void btnFastStopAcknowledgeClick();
    void btnAccClick();
    void btnForceClick();
    void miGraspingStatisticsClick();
    void miSystemLimitsClick();
    void miLivePlotClick();

    // The line the results memo gets for a final result.
    QString ResultLine(int32_t CommandID, TStat Status) const;

    // The README beside or above the program, for the documentation link; empty when none.
    static QString FindReadme();

protected:
    void resizeEvent(QResizeEvent* Event) override;
    QString AboutText() const override;

private:
    void FormCreate();
    void BuildCommandPanels();
    void BuildStateColumn();
    void BuildPositionPanel();
    void BuildFlagsPanel();
    void BuildEmergencyPanel();
    void BuildMenu();
    void HookDevice();
    void SetTabOrder();
    void ArrangeForSize();
    void ConnectSequence();
    void AsyncResult(TKORADevice* Sender, int32_t CommandID, TStat Status);
    void SystemStateChange();
    void GraspingStateChange();
    void ShowGraspingState(const QString& Text, bool Error);
    void ShowFaults(uint32_t State);
    void PositionChange();
    void ForceChange();
    void ShowValues();
    void UpdateMotionButtons();
    void SetEditRange(TFloatEdit* Edit, double Min, double Max, const QString& Unit);
    void SetDefault(TFloatEdit* Edit, double Value);
    void ShowAcceleration();
    void ShowForceLimit();
    bool ChangeValue(const QString& Unit, const QString& Title, double Min, double Max, double Value,
                     double& Result);
    void ShowFailure(const QString& Prefix, TStat Status);
    TAsyncResultEvent ResultHandler();

    TZEL* FZel = nullptr;
    TFloatEditDlg* FValueDlg = nullptr;
    TLivePlot* FLivePlot = nullptr;
    double FAccMin = 0, FAccMax = 0;
    double FForceMin = 0, FForceMax = 0;
    float FAcceleration = 500;
    float FForceLimit = 20;
    std::vector<TCommandPanel*> FPanels;
    std::vector<TMotionPanel*> FMotionPanels;
    QBoxLayout* FColumns = nullptr;
    QWidget* FStateColumn = nullptr;
    bool FStacked = false;
    // Widths measured once the window is built: the command column in its wide and compact form
    // and the state column (each with room for a vertical scroll bar).
    int FCommandsWide = 0;
    int FCommandsCompact = 0;
    int FStateWidth = 0;
    // Position and force may be reported every millisecond: a report shows at once, and further
    // ones within the hold-off show together when it ends, so the labels repaint at most at
    // display rate.
    QTimer* FValueHold = nullptr;
    bool FPositionPending = false;
    bool FForcePending = false;
};
