#pragma once
// The device-independent main window of the console: the menus of the frame (TConsoleMenus), the
// connection, the generic device commands (device tag, system information, temperature), the custom command editor and command
// log windows, hints in the status bar, the window placement, and the application-wide handler
// that turns a lost connection into an orderly disconnect. A device window derives from it,
// creates its device with CreateDevice and then calls FinishCreate.
#include "platform/ErrorGuard.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct TLinkAddress;
class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class TCommLog;
class TConsoleMenus;
class TCustomCmd;
class TDeviceTagDlg;
class TKORADevice;
class TMainWinBase;

// The shared device tag dialog, created once at program start after the main window; null
// again once it is gone with its window.
extern QPointer<TDeviceTagDlg> DeviceTagDlg;

using TMainWinNotifyEvent = std::function<void(TMainWinBase* Sender)>;

// Every child control of Parent, recursively (windows of their own excepted).
void SetControlsEnabled(QWidget* Parent, bool Enabled);
// Every item below Item, recursively; Item itself keeps its state.
void SetMenuEnabled(QMenu* Item, bool Enabled);

class TMainWinBase : public QMainWindow {
    Q_OBJECT
public:
    ~TMainWinBase() override;

    // The project's licence, for the About box.
    static const QString LicenceLine;

    TKORADevice* Device() const { return FDevice; }
    // Built with the device (CreateDevice).
    TCommLog* CommLogWindow() const { return FCommLog; }
    // The editor is built the first time it is asked for: most sessions never open it, and its
    // fixed-pitch fields would otherwise cost the window's start-up a second font.
    TCustomCmd* CustomCmdWindow();
    // The editor is built and on screen.
    bool CustomCmdShown() const;

    // Fired after the menus were updated on connect and on disconnect.
    TMainWinNotifyEvent OnConnectionChanged;

    // Opens Link without asking (--connect LINK); a link that cannot open is reported as by
    // Device > Connect.
    void ConnectTo(const TLinkAddress& Link);

    virtual void OnDeviceConnect();
    virtual void OnDeviceDisconnect();
    virtual void EnableControls(bool Enabled);

    // The rows of "System Information" from the values read at connect.
    std::vector<std::pair<QString, QString>> SystemInfoRows() const;

    // The device commands of the menus (also for tests and keyboard-free automation).
    void miConnectClick();
    void miDisconnectClick();
    void miGetSystemInfoClick();
    void miGetTemperatureClick();
    void miDeviceTagClick();
    // Program name and version, Qt's version and the licence line.
    QString AboutBoxText() const;

    // Size bounded by the screen's available area less the window frame, never below the minimum.
    static QSize FitOnScreen(QSize Size, const QRect& Available);

    // The application-wide handler of errors that nothing else caught.
    void HandleError(std::exception_ptr Error);
    // A connect that failed after the link opened (the link is closed already): says which step.
    void ConnectFailed(const QString& Text);
    // The connection-error box with Reason in its last line, then the orderly disconnect.
    void ConnectionError(const QString& Reason);

protected:
    explicit TMainWinBase(QWidget* Parent = nullptr);

    // Constructs the device (owned by this window) and links it with the window, editor and log.
    template <class TDeviceClass> TDeviceClass* CreateDevice() {
        auto* d = new TDeviceClass(this);
        AttachDevice(d);
        return d;
    }
    // The rest of the construction, once the subclass has created its device: installs the
    // error handler and restores the placement. Refuses to finish without a device.
    void FinishCreate();
    // Closes the link with the device's notifications off; the derived window calls it from its
    // destructor so that nothing the close runs reaches a half-destroyed window.
    void DisconnectForClose();
    bool ControlsEnabled() const { return FControlsEnabled; }

    // The program's name, version and a line about it; the first lines of the About box.
    virtual QString AboutText() const;

    void closeEvent(QCloseEvent* Event) override;

    // The frame's menus, where a device window adds its own.
    TConsoleMenus& Menus() const { return *FMenus; }

    // Key of the window's placement in settings.ini; a second program on the frame keeps its own.
    QString PlacementKey = QStringLiteral("MainWin");

private:
    void AttachDevice(TKORADevice* Device);

    TConsoleMenus* FMenus = nullptr;
    // Permanent status bar field: the link and where it goes, or "Disconnected".
    QLabel* lbConnection = nullptr;
    TCommLog* FCommLog = nullptr;
    TCustomCmd* FCustomCmd = nullptr;
    bool FControlsEnabled = false; // what the editor is told when it is built
    // The handler this window replaced, once it installed its own.
    std::optional<TErrorHandler> FPreviousErrorHandler;
    TKORADevice* FDevice = nullptr;
    bool FDisconnectRequested = false; // the window itself closes the link
    bool FLostLinkPending = false;     // the box of a link the peer closed is still to come
};
