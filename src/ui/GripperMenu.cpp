#include "ui/GripperMenu.h"

#include "platform/ErrorGuard.h"
#include "ui/GripperPanels.h"
#include "ui/ListBoxDialog.h"
#include "ui/LivePlotForm.h"
#include "ui/MainFormBaseClass.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

TGripperMenu::TGripperMenu(TZEL& Zel, QMainWindow* Window, QMenu* View, QMenu* Help)
    : QObject(Window), FZel(Zel), FWindow(Window) {
    miLivePlot = View->addAction(QStringLiteral("&Live Plot"));
    miLivePlot->setObjectName(QStringLiteral("miLivePlot"));
    miLivePlot->setCheckable(true);
    miLivePlot->setStatusTip(
        QStringLiteral("Plot finger position, grasping force and grasping state over time"));
    miLivePlot->setToolTip(miLivePlot->statusTip());
    connect(miLivePlot, &QAction::triggered, Window, Guarded(this, &TGripperMenu::miLivePlotClick));
    connect(View, &QMenu::aboutToShow, Window,
            [this] { RunGuarded([this] { miLivePlot->setChecked(FLivePlot && FLivePlot->isVisible()); }); });

    // After the base window's device menus, before its help menu.
    miZEL = new QMenu(QStringLiteral("ZEL"), Window);
    miZEL->setObjectName(QStringLiteral("miZEL"));
    Window->menuBar()->insertMenu(Help->menuAction(), miZEL);
    miSystemLimits = miZEL->addAction(QStringLiteral("System Limits"));
    miSystemLimits->setObjectName(QStringLiteral("miSystemLimits"));
    miSystemLimits->setStatusTip(QStringLiteral("Show the system limits of the gripper"));
    miGraspingStatistics = miZEL->addAction(QStringLiteral("Grasping Statistics"));
    miGraspingStatistics->setObjectName(QStringLiteral("miGraspingStatistics"));
    miGraspingStatistics->setStatusTip(QStringLiteral("Show the grasping statistics of the gripper"));
    connect(miSystemLimits, &QAction::triggered, Window, Guarded(this, &TGripperMenu::miSystemLimitsClick));
    connect(miGraspingStatistics, &QAction::triggered, Window,
            Guarded(this, &TGripperMenu::miGraspingStatisticsClick));
}

void TGripperMenu::EnableItems(bool Enabled) {
    SetMenuEnabled(miZEL, Enabled);
}

TLivePlot* TGripperMenu::LivePlotWindow() {
    if (!FLivePlot)
        FLivePlot = new TLivePlot(FWindow);
    return FLivePlot;
}

// Like the other tool windows: the item shows or raises the plot, never hides it.
void TGripperMenu::miLivePlotClick() {
    miLivePlot->setChecked(true);
    TLivePlot* plot = LivePlotWindow();
    plot->show();
    plot->raise();
    plot->activateWindow();
}

std::vector<std::pair<QString, QString>> TGripperMenu::SystemLimitsRows() const {
    const TZEL& z = FZel;
    return {
        {QStringLiteral("Stroke"), FormatNumber(z.Stroke, 0) + QStringLiteral(" mm")},
        {QStringLiteral("Minimum speed"), FormatNumber(z.MinSpeed, 0) + QStringLiteral(" mm/s")},
        {QStringLiteral("Maximum speed"), FormatNumber(z.MaxSpeed, 0) + QStringLiteral(" mm/s")},
        {QStringLiteral("Minimum acceleration"), FormatNumber(z.MinAcceleration, 0) + QStringLiteral(" mm/s²")},
        {QStringLiteral("Maximum acceleration"), FormatNumber(z.MaxAcceleration, 0) + QStringLiteral(" mm/s²")},
        {QStringLiteral("Minimum force"), FormatNumber(z.MinForce, 0) + QStringLiteral(" N")},
        {QStringLiteral("Nominal force"), FormatNumber(z.NominalForce, 0) + QStringLiteral(" N")},
        {QStringLiteral("Overdrive force"), FormatNumber(z.OverdriveForce, 0) + QStringLiteral(" N")},
    };
}

void TGripperMenu::miSystemLimitsClick() {
    TListBoxDlg dialog(FWindow);
    for (const auto& [description, value] : SystemLimitsRows())
        dialog.AddRow(description, value);
    dialog.setWindowTitle(QStringLiteral("Gripper System Limits"));
    dialog.ShowList();
}

void TGripperMenu::miGraspingStatisticsClick() {
    TGraspingStats stats;
    const TStat r = FZel.GetGraspingStats(stats, false);
    if (r != E_SUCCESS) {
        ShowCommandFailure(QStringLiteral("Cannot read grasping statistics: "), r, FWindow);
        return;
    }
    TListBoxDlg dialog(FWindow);
    dialog.AddRow(QStringLiteral("Number of grasps"), QString::number(stats.Grasps));
    dialog.AddRow(QStringLiteral("Number of not found parts"), QString::number(stats.PartsNotFound));
    dialog.AddRow(QStringLiteral("Number of parts lost"), QString::number(stats.PartsLost));
    dialog.setWindowTitle(QStringLiteral("Grasping Statistics"));
    dialog.ShowList();
}
