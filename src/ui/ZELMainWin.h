#pragma once
// The gripper console: command panels on the left (acceleration, force limit, move, grasp,
// release, homing, stop, fast-stop acknowledgement) above the results of motion commands, the
// live state on the right (position, force, grasping state, system flags) and the fast-stop
// button. Everything it shows comes from the device's notifications.
#include "MainFormBaseClass.h"
#include "ZEL.h"

#include <QString>

#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QSplitter;
class QTimer;
class TBandPanel;
class TFloatEdit;
class TFloatEditDlg;
class TLineMemo;
class TLivePlot;
class TRollPanel;

class TMainWin : public TMainWinBase {
    Q_OBJECT
public:
    static constexpr uint32_t FastStopFlag = 0x00001000;
    static const QString Caption; // "ZEL Duruzadud"
    static const QString Version; // the project's version

    explicit TMainWin(QWidget* Parent = nullptr);
    ~TMainWin() override;

    TZEL* Zel() const { return FZel; }

    // Left column.
    QSplitter* Splitter1 = nullptr;
    QScrollArea* sbCommands = nullptr;
    TBandPanel* pnAcc = nullptr;
    QLabel* lbAcc = nullptr;
    QPushButton* btnAcc = nullptr;
    TBandPanel* pnForce = nullptr;
    QLabel* lbForce = nullptr;
    QPushButton* btnForce = nullptr;
    TBandPanel* pnGoto = nullptr;
    TFloatEdit* edGotoPos = nullptr;
    TFloatEdit* edGotoSpeed = nullptr;
    QSlider* tbGotoPos = nullptr;
    QSlider* tbGotoSpeed = nullptr;
    QPushButton* btnMove = nullptr;
    TBandPanel* pnGrasp = nullptr;
    TFloatEdit* edGraspingPos = nullptr;
    TFloatEdit* edGraspingSpeed = nullptr;
    QSlider* tbGraspingPos = nullptr;
    QSlider* tbGraspingSpeed = nullptr;
    QPushButton* btnGrasp = nullptr;
    TBandPanel* pnRelease = nullptr;
    TFloatEdit* edReleasePos = nullptr;
    TFloatEdit* edReleaseSpeed = nullptr;
    QSlider* tbReleasePos = nullptr;
    QSlider* tbReleaseSpeed = nullptr;
    QPushButton* btnRelease = nullptr;
    TBandPanel* pnHoming = nullptr;
    QComboBox* cbHomingDir = nullptr;
    QPushButton* btnHoming = nullptr;
    TBandPanel* pnStop = nullptr;
    QPushButton* btnStop = nullptr;
    TBandPanel* pnFastStopAcknowledge = nullptr;
    QPushButton* btnFastStopAcknowledge = nullptr;
    TRollPanel* RollPanel2 = nullptr;
    TLineMemo* LogMemo = nullptr;

    // Right column.
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
    void FloatEditChange(TFloatEdit* Sender);
    void TrackbarChange(QSlider* Sender);

    // The line the results memo gets for a final result.
    QString ResultLine(int32_t CommandID, TStat Status) const;

    // The README beside or above the program, for the documentation link; empty when none.
    static QString FindReadme();

private:
    void FormCreate();
    void BuildCommandPanels();
    void BuildStateColumn();
    void BuildMenu();
    void HookDevice();
    void ConnectSequence();
    void AsyncResult(TKORADevice* Sender, int32_t CommandID, TStat Status);
    void SystemStateChange();
    void GraspingStateChange();
    void PositionChange();
    void ForceChange();
    void ShowValues();
    void UpdateMotionButtons();
    void SetEditRange(TFloatEdit* Edit, double Min, double Max, const QString& Unit);
    void SetDefault(TFloatEdit* Edit, double Value);
    void ShowAcceleration();
    void ShowForceLimit();
    bool ChangeValue(const QString& Unit, const QString& Caption, double Min, double Max, double Value,
                     double& Result);
    void ShowFailure(const QString& Prefix, TStat Status);
    TAsyncResultEvent ResultHandler();
    QSlider* TrackBarOf(const TFloatEdit* Edit) const;
    TFloatEdit* EditOf(const QSlider* TrackBar) const;

    TZEL* FZel = nullptr;
    TFloatEditDlg* FValueDlg = nullptr;
    TLivePlot* FLivePlot = nullptr;
    double FAccMin = 0, FAccMax = 0;
    double FForceMin = 0, FForceMax = 0;
    float FAcceleration = 500;
    float FForceLimit = 20;
    bool FSyncing = false; // a track bar is writing its edit: the edit must not write back
    bool FControlsEnabled = false;
    std::vector<std::pair<TFloatEdit*, QSlider*>> FCouples;
    // Position and force may be reported every millisecond: a report shows at once, and further
    // ones within the hold-off show together when it ends, so the labels repaint at most at
    // display rate.
    QTimer* FValueHold = nullptr;
    bool FPositionPending = false;
    bool FForcePending = false;
};
