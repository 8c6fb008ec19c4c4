// zel-console: the gripper console.
#include "ConsoleApplication.h"
#include "DeviceTagDialog.h"
#include "LinkDialogs.h"
#include "MessageBox.h"
#include "ZELMainWin.h"

#include <cstdio>
#include <cstring>

namespace {
const char HelpText[] =
    "Usage: zel-console [--help] [--version] [Qt options]\n"
    "\n"
    "Control and test console for the ZEL two-finger gripper. Connect with Device > Connect (F2)\n"
    "over serial, TCP, UDP or CAN; the link settings are kept in uart.cfg, tcp.cfg, udp.cfg and\n"
    "can.cfg beside the program, or in the user's configuration folder when the program's folder\n"
    "cannot be written.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

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
} // namespace

int main(int argc, char** argv) {
    if (const int rc = AnswerInfoOption(argc, argv); rc >= 0)
        return rc;
    TConsoleApplication app(argc, argv);
    InitConsoleApplication(app);
    // The operator answers the links' questions and reads the messages in dialogs and boxes.
    InstallLinkDialogs();
    SetMessageHook(MessageBoxHook());
    TMainWin window;
    DeviceTagDlg = new TDeviceTagDlg(&window);
    window.show();
    return app.exec();
}
