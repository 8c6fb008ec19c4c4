// zel-taq: the matrix sensor's window.
#include "ConsoleApplication.h"
#include "DeviceTagDialog.h"
#include "LinkDialogs.h"
#include "MessageBox.h"
#include "PressureMap.h"
#include "TAQMainWin.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
const char HelpText[] =
    "Usage: zel-taq [--help] [--version] [Qt options]\n"
    "\n"
    "Window of the TAQ matrix sensor: the live pressure map, acquisition, tare, gain and threshold,\n"
    "frames saved as CSV or PNG and recordings played back. Connect with Device > Connect (F2) over\n"
    "serial, TCP, UDP or CAN; the link settings are shared with zel-console (uart.cfg, tcp.cfg,\n"
    "udp.cfg, can.cfg beside the program, or in the user's configuration folder when the program's\n"
    "folder cannot be written).\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

int AnswerInfoOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zel-taq %s\n", TTAQMainWin::Version.toUtf8().constData());
            return 0;
        }
    }
    return -1;
}

// The program's picture: a pad of cells under a round contact, in the map's own colours.
QPixmap TaqPicture() {
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x20, 0x20, 0x28));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 8, 8);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const double d2 = (x - 2.6) * (x - 2.6) + (y - 2.4) * (y - 2.4);
            p.setBrush(QColor(ScaleColour(std::exp(-d2 / 4.0))));
            p.drawRect(QRectF(6 + x * 9, 6 + y * 9, 8, 8));
        }
    return pm;
}
} // namespace

int main(int argc, char** argv) {
    if (const int rc = AnswerInfoOption(argc, argv); rc >= 0)
        return rc;
    TConsoleApplication app(argc, argv);
    InitConsoleApplication(app);
    app.setApplicationName(TTAQMainWin::Caption);
    app.setWindowIcon(QIcon(TaqPicture()));
    // The operator answers the links' questions and reads the messages in dialogs and boxes.
    InstallLinkDialogs();
    SetMessageHook(MessageBoxHook());
    TTAQMainWin window;
    DeviceTagDlg = new TDeviceTagDlg(&window);
    window.show();
    return app.exec();
}
