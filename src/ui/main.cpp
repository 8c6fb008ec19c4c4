// zel-console: the gripper console.
#include "ConsoleApplication.h"
#include "DeviceTagDialog.h"
#include "LinkDialogs.h"
#include "MessageBox.h"
#include "QtDebugSink.h"
#include "ZELMainWin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char HelpText[] =
    "Usage: zel-console [--help] [--version] [Qt options]\n"
    "\n"
    "Control and test console for the ZEL two-finger gripper. Connect with Device > Connect (F2)\n"
    "over serial, TCP, UDP or CAN.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Settings:\n"
    "  The link settings (uart.cfg, tcp.cfg, udp.cfg, can.cfg) and the window placement\n"
    "  (settings.ini) are kept in $XDG_CONFIG_HOME/zel-console (~/.config/zel-console),\n"
    "  shared with zelctl. A program run from its build tree, or from a writable folder that\n"
    "  already holds these files (a portable copy), keeps them beside itself.\n"
    "\n"
    "Environment:\n"
    "  DISPLAY, WAYLAND_DISPLAY   the display the window opens on; without one, run the\n"
    "                             console on a virtual display: xvfb-run -a zel-console\n"
    "  QT_LOGGING_RULES           debug output, for example \"zel.*.debug=true\" (categories\n"
    "                             zel.protocol, zel.transport, zel.can, zel.device, zel.app)\n"
    "\n"
    "Exit status:\n"
    "  0 when the window was closed, 1 when no display could be opened.\n";

const char NoDisplayHint[] = "run it in a desktop session, or without one as: xvfb-run -a zel-console";

// Answered before the application object exists, so that they work without a display.
int AnswerInfoOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zel-console %s\n", TMainWin::Version.toUtf8().constData());
            return 0;
        }
    }
    return -1;
}

// Qt would end with its own abort (exit code 134) and a text about platform plug-ins.
bool DisplayNamed(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// A display that is named but cannot be opened ends in a fatal message while the application
// object is made; answer it like a missing display.
QtMessageHandler QtHandler = nullptr;
void StartMessages(QtMsgType Type, const QMessageLogContext& Context, const QString& Text) {
    if (Type != QtFatalMsg) {
        QtHandler(Type, Context, Text);
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    std::fprintf(stderr, "zel-console: cannot open the display%s%s%s; %s\n", display.isEmpty() ? "" : " \"",
                 display.constData(), display.isEmpty() ? "" : "\"", NoDisplayHint);
    std::_Exit(1);
}
} // namespace

int main(int argc, char** argv) {
    if (const int rc = AnswerInfoOption(argc, argv); rc >= 0)
        return rc;
    if (!DisplayNamed(argc, argv)) {
        std::fprintf(stderr, "zel-console: no display (DISPLAY is not set); %s\n", NoDisplayHint);
        return 1;
    }
    QtHandler = qInstallMessageHandler(StartMessages);
    TConsoleApplication app(argc, argv);
    qInstallMessageHandler(QtHandler);
    RouteDebugOutToQt();
    InitConsoleApplication(app);
    // The operator answers the links' questions and reads the messages in dialogs and boxes.
    InstallLinkDialogs();
    SetMessageHook(MessageBoxHook());
    TMainWin window;
    DeviceTagDlg = new TDeviceTagDlg(&window);
    window.show();
    return app.exec();
}
