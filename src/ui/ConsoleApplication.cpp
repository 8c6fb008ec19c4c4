#include "ui/ConsoleApplication.h"

#include "ui/DeviceTagDialog.h"
#include "platform/ErrorGuard.h"
#include "linkdialogs/LinkDialogs.h"
#include "engine/LinkAddress.h"
#include "platform/MessageBox.h"
#include "platform/QtDebugSink.h"
#include "ui/ZELMainWin.h"

#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QPixmapCache>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

bool TConsoleApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

QPixmap ConsolePicture() {
    // Decoded once: the window icon and the gripper picture are both drawn from it.
    static const QString key = QStringLiteral("zel-console-picture");
    QPixmap picture;
    if (QPixmapCache::find(key, &picture))
        return picture;
    // The picture is a PNG of our own: read it with Qt's own PNG reader. Left to find a reader,
    // Qt would first load every image format plug-in to ask it, which costs more than the picture.
    QImageReader reader(QStringLiteral(":/zel-console.png"), "png");
    reader.setAutoDetectImageFormat(false);
    picture = QPixmap::fromImage(reader.read());
    QPixmapCache::insert(key, picture);
    return picture;
}

void InitConsoleApplication(QApplication& App) {
    Q_INIT_RESOURCE(console);
    App.setApplicationName(TMainWin::Caption);
    App.setWindowIcon(QIcon(ConsolePicture()));
}

namespace {
// Answered before the application object exists, so that they work without a display.
int AnswerInfoOption(const TWindowProgram& Program, int Argc, char** Argv) {
    for (int i = 1; i < Argc; ++i) {
        if (std::strcmp(Argv[i], "--help") == 0 || std::strcmp(Argv[i], "-h") == 0) {
            std::fputs(Program.Help, stdout);
            return 0;
        }
        if (std::strcmp(Argv[i], "--version") == 0) {
            std::printf("%s %s\n", Program.Name, Program.Version.toUtf8().constData());
            return 0;
        }
    }
    return -1;
}

// --connect LINK or --connect=LINK: empty when not given; false after saying what is wrong.
bool ConnectOption(const TWindowProgram& Program, int Argc, char** Argv, std::optional<TLinkAddress>& Link) {
    for (int i = 1; i < Argc; ++i) {
        QString text;
        if (std::strcmp(Argv[i], "--connect") == 0) {
            if (i + 1 >= Argc) {
                std::fprintf(stderr, "%s: --connect needs a link, for example tcp://127.0.0.1:1000\n",
                             Program.Name);
                return false;
            }
            text = QString::fromLocal8Bit(Argv[++i]);
        } else if (std::strncmp(Argv[i], "--connect=", 10) == 0) {
            text = QString::fromLocal8Bit(Argv[i] + 10);
        } else {
            continue;
        }
        TLinkAddress link;
        QString error;
        if (!ParseLinkAddress(text, link, error)) {
            std::fprintf(stderr, "%s: %s\n", Program.Name, error.toLocal8Bit().constData());
            return false;
        }
        Link = link;
    }
    return true;
}

bool DisplayNamed(int Argc, char** Argv) {
    for (int i = 1; i < Argc; ++i)
        if (std::strcmp(Argv[i], "-platform") == 0)
            return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void SayNoDisplay(const char* Name, const QByteArray& Display) {
    std::fprintf(stderr, "%s: %s; run it in a desktop session, or without one as: xvfb-run -a %s\n", Name,
                 Display.isEmpty() ? "no display (DISPLAY is not set)"
                                   : QByteArray("cannot open the display \"" + Display + '"').constData(),
                 Name);
}

// A display that is named but cannot be opened ends in a fatal message while the application
// object is made; it is answered like a missing display.
const char* StartingProgram = nullptr;
QtMessageHandler QtHandler = nullptr;
void StartMessages(QtMsgType Type, const QMessageLogContext& Context, const QString& Text) {
    if (Type != QtFatalMsg) {
        QtHandler(Type, Context, Text);
        return;
    }
    SayNoDisplay(StartingProgram, qgetenv("DISPLAY"));
    std::_Exit(1);
}
} // namespace

int RunWindowProgram(const TWindowProgram& Program, int Argc, char** Argv,
                     const std::function<std::unique_ptr<QWidget>(TConsoleApplication& App)>& MakeWindow) {
    if (const int rc = AnswerInfoOption(Program, Argc, Argv); rc >= 0)
        return rc;
    std::optional<TLinkAddress> link;
    if (!ConnectOption(Program, Argc, Argv, link))
        return 2;
    if (!DisplayNamed(Argc, Argv)) {
        SayNoDisplay(Program.Name, QByteArray());
        return 1;
    }
    StartingProgram = Program.Name;
    QtHandler = qInstallMessageHandler(StartMessages);
    TConsoleApplication app(Argc, Argv);
    qInstallMessageHandler(QtHandler);
    RouteDebugOutToQt();
    // A file size limit (ulimit -f) makes a recording or log stop with its reason, not the program.
    std::signal(SIGXFSZ, SIG_IGN);
    InitConsoleApplication(app);
    // The operator answers the links' questions and reads the messages in dialogs and boxes.
    InstallLinkDialogs();
    SetMessageHook(MessageBoxHook());
    const std::unique_ptr<QWidget> window = MakeWindow(app);
    DeviceTagDlg = new TDeviceTagDlg(window.get());
    window->show();
    if (auto* mainWin = dynamic_cast<TMainWinBase*>(window.get()); mainWin != nullptr && link)
        QTimer::singleShot(0, mainWin, [mainWin, &link] { RunGuarded([&] { mainWin->ConnectTo(*link); }); });
    return app.exec();
}
