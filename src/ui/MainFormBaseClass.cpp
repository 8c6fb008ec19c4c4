#include "ui/MainFormBaseClass.h"

#include "ui/CommLogForm.h"
#include "engine/CommandComponent.h"
#include "ui/ConsoleMenus.h"
#include "ui/CustomCmdForm.h"
#include "transports/DeviceComponent.h"
#include "ui/DeviceTagDialog.h"
#include "platform/IniFile.h"
#include "device/KORADevice.h"
#include "ui/ListBoxDialog.h"
#include "platform/MessageSeam.h"
#include "ui/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QLabel>
#include <QScreen>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include <stdexcept>

QPointer<TDeviceTagDlg> DeviceTagDlg;

const QString TMainWinBase::LicenceLine =
    QStringLiteral("Licence: Apache License 2.0");

namespace {
const QString ErrorCaption = QStringLiteral("Error");
const QString InformationCaption = QStringLiteral("Information");

void FillSystemInfo(TListBoxDlg& Dialog, const std::vector<std::pair<QString, QString>>& Rows) {
    for (const auto& [description, value] : Rows)
        Dialog.AddRow(description, value);
}
} // namespace

TMainWinBase::TMainWinBase(QWidget* Parent) : QMainWindow(Parent) {
    setWindowTitle(QStringLiteral("koRA Duruzadud"));
    resize(FitOnScreen(QSize(820, 797), screen()->availableGeometry()));
    setMinimumSize(300, 480);
    FMenus = new TConsoleMenus(this);
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(true);
    lbConnection = new QLabel(QStringLiteral("Disconnected"), bar);
    lbConnection->setObjectName(QStringLiteral("lbConnection"));
    lbConnection->setAccessibleDescription(QStringLiteral("Connection"));
    bar->addPermanentWidget(lbConnection);
}

QSize TMainWinBase::FitOnScreen(QSize Size, const QRect& Available) {
    // Room for the window manager's frame and title, which the window's own size leaves out.
    constexpr int FrameWidth = 16;
    constexpr int FrameHeight = 40;
    return Size.boundedTo(QSize(Available.width() - FrameWidth, Available.height() - FrameHeight))
        .expandedTo(QSize(300, 480));
}

TMainWinBase::~TMainWinBase() {
    if (FPreviousErrorHandler) {
        SetApplicationErrorHandler(std::move(*FPreviousErrorHandler));
        TIniFile::SetReportHandler(nullptr);
    }
    DisconnectForClose();
}

void TMainWinBase::DisconnectForClose() {
    if (!FDevice)
        return;
    FDevice->OnDisconnect.Remove(this);
    FDevice->OnConnect.Remove(this);
    RunGuarded([this] { FDevice->Disconnect(); });
}

void TMainWinBase::AttachDevice(TKORADevice* Device) {
    // The log is the device's log sink, so it comes with the device.
    if (!FCommLog)
        FCommLog = new TCommLog(this);
    FDevice = Device;
    FDevice->OnConnect.Add(this, [this](TKORADevice*) { OnDeviceConnect(); });
    FDevice->OnDisconnect.Add(this, [this](TKORADevice*) { OnDeviceDisconnect(); });
    FDevice->OnConnectFailed.Add(
        this, [this](TKORADevice* D) { ConnectFailed(QString::fromStdString(D->ConnectFailure())); });
    FDevice->SetCommLogObject(FCommLog);
    if (FCustomCmd)
        FCustomCmd->SetDevice(FDevice);
    FCommLog->SetDevice(FDevice);
}

TCustomCmd* TMainWinBase::CustomCmdWindow() {
    if (!FCustomCmd) {
        FCustomCmd = new TCustomCmd(this);
        FCustomCmd->SetDevice(FDevice);
        FCustomCmd->SetEnabled(FControlsEnabled);
    }
    return FCustomCmd;
}

void TMainWinBase::FinishCreate() {
    FPreviousErrorHandler =
        SetApplicationErrorHandler([this](std::exception_ptr Error) { HandleError(Error); });
    // A settings file that is not read or saved is said once, where the operator looks.
    TIniFile::SetReportHandler([this](const QString& Text) {
        qWarning().noquote() << Text;
        statusBar()->showMessage(Text);
    });
    if (!FDevice)
        throw std::logic_error(
            "KORADevice must be initialized when calling the main form's inherited create");
    EnableControls(false);
    TPlacementKeeper(PlacementKey).Restore(this);
}

void TMainWinBase::closeEvent(QCloseEvent* Event) {
    RunGuarded([&] {
        TPlacementKeeper(PlacementKey).Save(this);
        QMainWindow::closeEvent(Event);
    });
}

void TMainWinBase::OnDeviceConnect() {
    FDisconnectRequested = false;
    const TDevice* link = FDevice->Command() ? FDevice->Command()->ActiveDevice() : nullptr;
    lbConnection->setText(link ? link->LinkDescription() : QStringLiteral("Connected"));
    FMenus->ShowConnected(true);
    if (OnConnectionChanged)
        OnConnectionChanged(this);
}

void TMainWinBase::OnDeviceDisconnect() {
    // A link that ends while connected without the operator asking was lost (the peer closed it):
    // say so as for any other connection failure, once the disconnect itself has run.
    const bool lost = FMenus->ShowsConnected() && !FDisconnectRequested;
    FDisconnectRequested = true;
    lbConnection->setText(QStringLiteral("Disconnected"));
    FMenus->ShowConnected(false);
    if (OnConnectionChanged)
        OnConnectionChanged(this);
    // A link that fails with a reason of its own (a vanished serial port) says it right behind
    // its disconnect; this box is then left out, so that one loss gives one box.
    if (lost) {
        FLostLinkPending = true;
        QTimer::singleShot(0, this, [this] {
            RunGuarded([this] {
                if (std::exchange(FLostLinkPending, false))
                    ConnectionError(QStringLiteral("The device closed the connection"));
            });
        });
    }
}

void TMainWinBase::EnableControls(bool Enabled) {
    FMenus->EnableCommands(Enabled);
    FControlsEnabled = Enabled;
    if (FCustomCmd)
        FCustomCmd->SetEnabled(Enabled);
}

void SetControlsEnabled(QWidget* Parent, bool Enabled) {
    for (QObject* child : Parent->children()) {
        if (auto* w = qobject_cast<QWidget*>(child)) {
            if (w->isWindow())
                continue;
            w->setEnabled(Enabled);
            SetControlsEnabled(w, Enabled);
        }
    }
}

void SetMenuEnabled(QMenu* Item, bool Enabled) {
    for (QAction* a : Item->actions()) {
        a->setEnabled(Enabled);
        if (QMenu* sub = a->menu())
            SetMenuEnabled(sub, Enabled);
    }
}

void TMainWinBase::miConnectClick() {
    const TStat result = FDevice->Connect();
    if (result == E_SUCCESS)
        return;
    if (result != E_CMD_ABORTED) {
        QString text =
            QStringLiteral("Cannot connect to target: %1").arg(QString::fromStdString(StatToStr(result)));
        // The status alone does not tell a wrong address from a busy port or a missing device.
        if (const QString why = FDevice->LinkError(); !why.isEmpty())
            text += QStringLiteral(" (%1)").arg(why);
        ShowMessage(TMessageKind::Error, text, ErrorCaption, this);
    }
    FMenus->EnableConnect();
}

void TMainWinBase::ConnectTo(const TLinkAddress& Link) {
    const TStat result = FDevice->ConnectLink(Link);
    if (result == E_SUCCESS)
        return;
    QString text =
        QStringLiteral("Cannot connect to target: %1").arg(QString::fromStdString(StatToStr(result)));
    if (const QString why = FDevice->LinkError(); !why.isEmpty())
        text += QStringLiteral(" (%1)").arg(why);
    ShowMessage(TMessageKind::Error, text, ErrorCaption, this);
}

void TMainWinBase::ConnectFailed(const QString& Text) {
    // Shown once the disconnect that goes with it has run, like a lost link.
    statusBar()->showMessage(Text);
    QTimer::singleShot(0, this, [this, Text] { RunGuarded([&] { ShowMessage(TMessageKind::Error, Text, ErrorCaption, this); }); });
}

void TMainWinBase::miDisconnectClick() {
    FDisconnectRequested = true;
    if (FDevice->IsConnected())
        FDevice->Disconnect();
    else if (TCommand* engine = FDevice->Command(); engine && engine->ActiveDevice())
        engine->Disconnect(); // a lost link: the engine lets go of the dead transport
}

std::vector<std::pair<QString, QString>> TMainWinBase::SystemInfoRows() const {
    const TKORADevice& d = *FDevice;
    std::vector<std::pair<QString, QString>> rows;
    rows.emplace_back(QStringLiteral("Device type"),
                      QString::fromStdString(TKORADevice::DeviceTypeToStr(d.DeviceType)));
    rows.emplace_back(QStringLiteral("Serial number"), QString::asprintf("%.8d", int(d.SerialNumber)));
    rows.emplace_back(QStringLiteral("Hardware rev."), QString::number(d.HardwareRevision));
    const QString version =
        QStringLiteral("%1.%2.%3").arg(d.FirmwareMajor).arg(d.FirmwareMinor).arg(d.FirmwarePatch);
    if (d.FirmwareRC != 0)
        rows.emplace_back(QStringLiteral("Firmware version"),
                          version + QStringLiteral("-RC%1").arg(d.FirmwareRC));
    else
        rows.emplace_back(QStringLiteral("Firmware rev."), version);
    return rows;
}

void TMainWinBase::miGetSystemInfoClick() {
    TListBoxDlg dialog(this);
    dialog.SetRefreshHandler([this](TListBoxDlg* Sender) {
        if (!FDevice->GetSystemInfo())
            return;
        Sender->Clear();
        FillSystemInfo(*Sender, SystemInfoRows());
    });
    FillSystemInfo(dialog, SystemInfoRows());
    dialog.setWindowTitle(QStringLiteral("System Information"));
    dialog.ShowList();
}

void TMainWinBase::miGetTemperatureClick() {
    double t = 0;
    try {
        t = FDevice->GetTemperature();
    } catch (...) {
        ShowMessage(TMessageKind::Error, QStringLiteral("Error while reading temperature"), ErrorCaption, this);
        return;
    }
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    ShowMessage(TMessageKind::Information, QStringLiteral("Current device temperature is %1°C").arg(locale.toString(t, 'f', 1)),
                InformationCaption, this);
}

void TMainWinBase::miDeviceTagClick() {
    QString tag;
    QString readError;
    try {
        if (!FDevice->GetDeviceTag(tag))
            readError = FDevice->IsConnected()
                            ? QStringLiteral("another command is still waiting for its answer")
                            : QStringLiteral("not connected");
    } catch (...) {
        tag.clear();
        readError = QString::fromStdString(ExceptionMessage(std::current_exception()));
    }
    if (!DeviceTagDlg)
        DeviceTagDlg = new TDeviceTagDlg(this);
    DeviceTagDlg->SetTag(tag);
    // An empty text must not pass for an empty tag: Apply could overwrite the real one.
    DeviceTagDlg->SetReadError(readError);
    if (DeviceTagDlg->Execute())
        FDevice->SetDeviceTag(DeviceTagDlg->GetTag());
}

bool TMainWinBase::CustomCmdShown() const {
    return FCustomCmd && FCustomCmd->isVisible();
}

void TMainWinBase::HandleError(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const ECommunicationError& e) {
        ConnectionError(QString::fromStdString(e.what()));
        return;
    } catch (...) {
    }
    if (FPreviousErrorHandler && *FPreviousErrorHandler) {
        (*FPreviousErrorHandler)(Error);
        return;
    }
    ShowMessage(TMessageKind::Error, QString::fromStdString(ExceptionMessage(Error)), QApplication::applicationName(), this);
}

void TMainWinBase::ConnectionError(const QString& Reason) {
    FLostLinkPending = false;
    const QString text =
        QStringLiteral("A Connection Error occurred or the connection to the device was interrupted.\n"
                       "This is likely to happen if no cable is connected or some settings are not correct.\n"
                       "Please check cable and communication settings and try to connect again.\n"
                       "(%1)")
            .arg(Reason);
    ShowMessage(TMessageKind::Error, text, ErrorCaption, this);
    try {
        miDisconnectClick();
    } catch (...) {
        // The link is gone already; closing what is left of it has nothing to report.
    }
    FMenus->ShowConnected(false);
    EnableControls(false);
}

QString TMainWinBase::AboutText() const {
    return windowTitle();
}

QString TMainWinBase::AboutBoxText() const {
    return QStringLiteral("%1\n\nBuilt with Qt %2, running on Qt %3.\n%4")
        .arg(AboutText(), QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion()), LicenceLine);
}
