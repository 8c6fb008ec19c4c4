#include "ui/ConsoleMenus.h"

#include "ui/CommLogForm.h"
#include "ui/CustomCmdForm.h"
#include "ui/MainFormBaseClass.h"
#include "platform/MessageSeam.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

namespace {
QAction* AddItem(QMenu* Menu, const QString& Name, const QString& Caption, const QString& Hint) {
    QAction* a = Menu->addAction(Caption);
    a->setObjectName(Name);
    a->setToolTip(Hint.isEmpty() ? Caption : Hint);
    a->setStatusTip(Hint);
    return a;
}

// The menu items show or raise their window, never hide it: the window's own close button does.
void ShowOrRaise(QWidget* Window, QAction* Item) {
    Item->setChecked(true);
    Window->show();
    Window->raise();
    Window->activateWindow();
}
} // namespace

TConsoleMenus::TConsoleMenus(TMainWinBase* Window) : QObject(Window), FWindow(Window) {
    MainMenu1 = Window->menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    BuildDeviceMenu();
    BuildCommandsMenu();
    BuildViewAndHelp();
    // Shortcuts of items in disabled menus still reach the window.
    for (QAction* a : {miConnect, miDisconnect, miExit, miCustomCommands})
        a->setShortcutContext(Qt::WindowShortcut);
    ConnectItems();
}

void TConsoleMenus::BuildDeviceMenu() {
    miDevice = MainMenu1->addMenu(QStringLiteral("&Device"));
    miDevice->setObjectName(QStringLiteral("miDevice"));
    miConnect = AddItem(miDevice, QStringLiteral("miConnect"), QStringLiteral("&Connect"),
                        QStringLiteral("Connect to a device"));
    miConnect->setShortcut(Qt::Key_F2);
    miDisconnect = AddItem(miDevice, QStringLiteral("miDisconnect"), QStringLiteral("Disconnect"),
                           QStringLiteral("Disconnect from the currently connected device"));
    miDisconnect->setShortcut(Qt::Key_F3);
    miDisconnect->setEnabled(false);
    miDevice->addSeparator();
    miExit = AddItem(miDevice, QStringLiteral("miExit"), QStringLiteral("E&xit"), QStringLiteral("Close the program"));
    miExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void TConsoleMenus::BuildCommandsMenu() {
    miCommands = MainMenu1->addMenu(QStringLiteral("&Commands"));
    miCommands->setObjectName(QStringLiteral("miCommands"));
    miDeviceTag = AddItem(miCommands, QStringLiteral("miDeviceTag"), QStringLiteral("&Device Tag"),
                          QStringLiteral("Edit the Device Tag"));
    miGetSystemInfo =
        AddItem(miCommands, QStringLiteral("miGetSystemInfo"), QStringLiteral("Get System &Info"),
                QStringLiteral("Outputs some system information"));
    miGetTemperature = AddItem(miCommands, QStringLiteral("miGetTemperature"),
                               QStringLiteral("Get &Temperature"), QString());
    N3 = miCommands->addSeparator();
    N3->setObjectName(QStringLiteral("N3"));
    miCustomCommands =
        AddItem(miCommands, QStringLiteral("miCustomCommands"), QStringLiteral("&Command Editor..."),
                QStringLiteral("Run the custom command editor"));
    miCustomCommands->setShortcut(Qt::Key_F5);
    miCustomCommands->setCheckable(true);
}

void TConsoleMenus::BuildViewAndHelp() {
    miView = MainMenu1->addMenu(QStringLiteral("&View"));
    miView->setObjectName(QStringLiteral("miView"));
    miCommandLog = AddItem(miView, QStringLiteral("miCommandLog"), QStringLiteral("&Command log"),
                           QStringLiteral("Display incoming and outgoing command data"));
    miCommandLog->setCheckable(true);

    miHelp = MainMenu1->addMenu(QStringLiteral("&Help"));
    miHelp->setObjectName(QStringLiteral("miHelp"));
    miAbout = AddItem(miHelp, QStringLiteral("miAbout"), QStringLiteral("&About..."),
                      QStringLiteral("Program version and licence"));
}

void TConsoleMenus::ConnectItems() {
    TMainWinBase* w = FWindow;
    connect(miConnect, &QAction::triggered, w, Guarded(w, &TMainWinBase::miConnectClick));
    connect(miDisconnect, &QAction::triggered, w, Guarded(w, &TMainWinBase::miDisconnectClick));
    connect(miDeviceTag, &QAction::triggered, w, Guarded(w, &TMainWinBase::miDeviceTagClick));
    connect(miGetSystemInfo, &QAction::triggered, w, Guarded(w, &TMainWinBase::miGetSystemInfoClick));
    connect(miGetTemperature, &QAction::triggered, w, Guarded(w, &TMainWinBase::miGetTemperatureClick));
    connect(miCustomCommands, &QAction::triggered, w, Guarded(this, &TConsoleMenus::miCustomCommandsClick));
    connect(miCommandLog, &QAction::triggered, w, Guarded(this, &TConsoleMenus::miCommandLogClick));
    connect(miExit, &QAction::triggered, w, [w] { RunGuarded([w] { w->close(); }); });
    connect(miAbout, &QAction::triggered, w, Guarded(this, &TConsoleMenus::miAboutClick));
    connect(miCommands, &QMenu::aboutToShow, w, Guarded(this, &TConsoleMenus::miCommandsClick));
    connect(miView, &QMenu::aboutToShow, w, Guarded(this, &TConsoleMenus::miViewClick));
}

void TConsoleMenus::ShowConnected(bool Connected) {
    miConnect->setEnabled(!Connected);
    miDisconnect->setEnabled(Connected);
}

bool TConsoleMenus::ShowsConnected() const {
    return miDisconnect->isEnabled();
}

void TConsoleMenus::EnableConnect() {
    miConnect->setEnabled(true);
}

void TConsoleMenus::EnableCommands(bool Enabled) {
    SetMenuEnabled(miCommands, Enabled);
}

void TConsoleMenus::miCommandsClick() {
    miCustomCommands->setChecked(FWindow->CustomCmdShown());
}

void TConsoleMenus::miViewClick() {
    const TCommLog* log = FWindow->CommLogWindow();
    miCommandLog->setChecked(log && log->isVisible());
}

void TConsoleMenus::miCustomCommandsClick() {
    ShowOrRaise(FWindow->CustomCmdWindow(), miCustomCommands);
}

void TConsoleMenus::miCommandLogClick() {
    ShowOrRaise(FWindow->CommLogWindow(), miCommandLog);
}

void TConsoleMenus::miAboutClick() {
    ShowMessage(TMessageKind::Information, FWindow->AboutBoxText(),
                QStringLiteral("About %1").arg(QApplication::applicationName()), FWindow);
}
