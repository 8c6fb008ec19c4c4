#pragma once
// The gripper console's command column: the command panels top to bottom (acceleration, force
// limit, move, grasp, release, homing, stop, fast-stop acknowledgement), what their buttons send,
// the value ranges and defaults from the device's limits, and the wide or compact arrangement.
#include "zel/ZEL.h"

#include <QList>
#include <QScrollArea>

#include <functional>
#include <utility>
#include <vector>

class QBoxLayout;
class QComboBox;
class QPushButton;
class TCommandPanel;
class TFloatEditDlg;
class TMotionPanel;
class TValuePanel;

class TGripperCommandColumn : public QScrollArea {
public:
    TGripperCommandColumn(TZEL& Zel, QWidget* Parent);

    // Where the final results of the motion commands go.
    TAsyncResultEvent OnResult;
    // Run when the device took the acknowledgement of a fast stop.
    std::function<void()> OnFastStopAcknowledged;

    // The command panels in the order of the column.
    const std::vector<TCommandPanel*>& Panels() const { return FPanels; }
    // Widths of the column in its wide and its compact arrangement, each with room for a vertical
    // scroll bar.
    std::pair<int, int> MeasureWidths();
    // Captions above their values, for a narrow column.
    void SetCompact(bool Compact);
    // Connected: the controls work; the motion buttons also need valid values.
    void EnableCommands(bool Enabled);
    // At connect: the default homing direction, the value ranges and defaults from the limits the
    // device reported, and the acceleration and force limit read from it.
    void ApplyLimits();
    // The acknowledgement is possible while the device is in fast stop.
    void SetAcknowledgeEnabled(bool Enabled);
    // The controls in keyboard order.
    QList<QWidget*> TabOrder() const;

    // Handlers; public so that automation and tests can run them as a click would.
    void btnMoveClick();
    void btnGraspClick();
    void btnReleaseClick();
    void btnHomingClick();
    void btnStopClick();
    void btnFastStopAcknowledgeClick();
    void btnAccClick();
    void btnForceClick();

private:
    // A device setting shown on a value panel: the range the dialog offers and the current value.
    struct TSetting {
        TValuePanel* Panel = nullptr;
        double Min = 0;
        double Max = 0;
        float Value = 0;
    };

    void BuildValuePanels(QBoxLayout* Column);
    void BuildMotionPanels(QBoxLayout* Column);
    void BuildTextPanels(QBoxLayout* Column);
    void AddPanel(QBoxLayout* Column, TCommandPanel* Added, void (TGripperCommandColumn::*Click)());
    void UpdateMotionButtons();
    void SendMotion(int Row);
    void ChangeSetting(int Row);
    void ShowSetting(int Row);
    TFloatEditDlg* ValueDialog();

    TZEL& FZel;
    std::vector<TCommandPanel*> FPanels;
    std::vector<TMotionPanel*> FMotionPanels;
    TSetting FSettings[2]; // acceleration, force limit
    QComboBox* cbHomingDir = nullptr;
    QPushButton* btnFastStopAcknowledge = nullptr;
    // The value dialog of acceleration and force limit, built when first needed.
    TFloatEditDlg* FValueDlg = nullptr;
    bool FEnabled = false;
};
