#pragma once
// The gripper console: the command column on the left (TGripperCommandColumn) above the results of
// motion commands (TGripperResults), the live state and the fast-stop button on the right
// (TGripperStateColumn), and the gripper's own menu entries (TGripperMenu). The window puts them
// together, arranges them for its size and passes the device's notifications on to them.
#include "ui/MainFormBaseClass.h"
#include "zel/ZEL.h"

#include <QString>

#include <utility>
#include <vector>

class QBoxLayout;
class QSplitter;
class TGripperCommandColumn;
class TGripperMenu;
class TGripperResults;
class TGripperStateColumn;
class TLivePlot;

class TMainWin : public TMainWinBase {
    Q_OBJECT
public:
    static const QString Caption; // "ZEL Duruzadud"
    static const QString Version; // the project's version

    explicit TMainWin(QWidget* Parent = nullptr);
    ~TMainWin() override;

    TZEL* Zel() const { return FZel; }

    // The command panels with their handlers, and the results of the motion commands.
    TGripperCommandColumn& Commands() const { return *FCommands; }
    TGripperResults& Results() const { return *FResults; }
    // The plot window, built with the first sample or the first "Live Plot" click.
    TLivePlot* LivePlotWindow();
    // Rows of "Gripper System Limits" from the limits read at connect.
    std::vector<std::pair<QString, QString>> SystemLimitsRows() const;

    // True while the state column stands below the commands (a narrow window).
    bool Stacked() const { return FStacked; }

    void OnDeviceConnect() override;
    void OnDeviceDisconnect() override;
    void EnableControls(bool Enabled) override;

protected:
    void resizeEvent(QResizeEvent* Event) override;
    QString AboutText() const override;

private:
    // Widths measured once the window is built: the command column in its wide and compact form
    // and the state column.
    struct TWidths {
        int CommandsWide = 0;
        int CommandsCompact = 0;
        int State = 0;
    };

    void FormCreate();
    void BuildCommandSide();
    void HookDevice();
    void SetTabOrder();
    void ArrangeForSize();
    void ConnectSequence();
    void SystemStateChange();

    TZEL* FZel = nullptr;
    QSplitter* Splitter1 = nullptr;
    TGripperCommandColumn* FCommands = nullptr;
    TGripperResults* FResults = nullptr;
    TGripperStateColumn* FState = nullptr;
    TGripperMenu* FMenu = nullptr;
    QBoxLayout* FColumns = nullptr;
    bool FStacked = false;
    TWidths FWidths;
};
