#pragma once
// The gripper console's own menu entries: "ZEL" before Help (system limits, grasping statistics)
// and "Live Plot" in View, with the plot window it opens.
#include "zel/ZEL.h"

#include <QObject>
#include <QString>

#include <utility>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class QWidget;
class TLivePlot;

class TGripperMenu : public QObject {
public:
    // Adds the entries to Window's View menu and a menu before its Help menu.
    TGripperMenu(TZEL& Zel, QMainWindow* Window, QMenu* View, QMenu* Help);

    // The items that need a device.
    void EnableItems(bool Enabled);
    // The plot window, built with the first sample or the first "Live Plot" click.
    TLivePlot* LivePlotWindow();
    // Rows of "Gripper System Limits" from the limits read at connect.
    std::vector<std::pair<QString, QString>> SystemLimitsRows() const;

    // Handlers; public so that automation and tests can run them as a click would.
    void miSystemLimitsClick();
    void miGraspingStatisticsClick();
    void miLivePlotClick();

private:
    TZEL& FZel;
    QWidget* FWindow;
    QMenu* miZEL = nullptr;
    QAction* miSystemLimits = nullptr;
    QAction* miGraspingStatistics = nullptr;
    QAction* miLivePlot = nullptr;
    TLivePlot* FLivePlot = nullptr;
};
