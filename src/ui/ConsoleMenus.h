#pragma once
// The menus of the window frame: Device (connect, disconnect, exit), Commands (device tag, system
// information, temperature, command editor), View (command log) and Help (about). The items that
// only open a window run here; the device commands run in the window.
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class TMainWinBase;

class TConsoleMenus : public QObject {
public:
    // Builds the menus in Window's menu bar and connects their items to Window.
    explicit TConsoleMenus(TMainWinBase* Window);

    // Where a device window adds its own: items in View, menus before Help.
    QMenuBar* Bar() const { return MainMenu1; }
    QMenu* View() const { return miView; }
    QMenu* Help() const { return miHelp; }

    // Connect on while disconnected, Disconnect on while connected.
    void ShowConnected(bool Connected);
    // Disconnect is on: the window counts itself connected.
    bool ShowsConnected() const;
    // Connect on again after a connect that did not happen.
    void EnableConnect();
    // The items of the Commands menu need a device.
    void EnableCommands(bool Enabled);

private:
    void BuildDeviceMenu();
    void BuildCommandsMenu();
    void BuildViewAndHelp();
    void ConnectItems();
    void miCommandsClick();
    void miViewClick();
    void miCustomCommandsClick();
    void miCommandLogClick();
    void miAboutClick();

    TMainWinBase* FWindow;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* miDevice = nullptr;
    QAction* miConnect = nullptr;
    QAction* miDisconnect = nullptr;
    QAction* miExit = nullptr;
    QMenu* miCommands = nullptr;
    QAction* miDeviceTag = nullptr;
    QAction* miGetSystemInfo = nullptr;
    QAction* miGetTemperature = nullptr;
    QAction* N3 = nullptr;
    QAction* miCustomCommands = nullptr;
    QMenu* miView = nullptr;
    QAction* miCommandLog = nullptr;
    QMenu* miHelp = nullptr;
    QAction* miAbout = nullptr;
};
