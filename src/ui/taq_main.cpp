// zel-taq: the matrix sensor's window.
#include "ui/ConsoleApplication.h"
#include "ui/PressureMap.h"
#include "ui/TAQMainWin.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <memory>

namespace {
const char HelpText[] =
    "Usage: zel-taq [--help] [--version] [--connect LINK] [Qt options]\n"
    "\n"
    "Window of the TAQ matrix sensor: the live pressure map, acquisition, tare, gain and threshold,\n"
    "frames saved as CSV or PNG, and recordings played back. Connect with Device > Connect (F2)\n"
    "over serial, TCP, UDP or CAN. The device tag, system information, command editor (F5) and\n"
    "command log are those of zel-console.\n"
    "\n"
    "Keys:\n"
    "  F12            Stop acquisition, from every window of the program, with a dialog or a\n"
    "                 message open and while another request waits for its answer\n"
    "  F6, F7, F8     read a frame, start acquisition, stop acquisition (in the main window)\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n"
    "  --connect LINK\n"
    "                 connect at start without a dialog; LINK is tcp://HOST[:PORT],\n"
    "                 udp://HOST[:TXPORT][?listen=PORT], serial:///dev/ttyUSB0[?baud=115200]\n"
    "                 or can://INTERFACE[?id=100&bitrate=4] (IPv6 hosts in brackets)\n"
    "\n"
    "Settings:\n"
    "  The link settings (uart.cfg, tcp.cfg, udp.cfg, can.cfg) are shared with zel-console and\n"
    "  zelctl; they and settings.ini (the window placement, and the acquisition's start\n"
    "  parameters in its section TAQ) are kept in $XDG_CONFIG_HOME/zel-console\n"
    "  (~/.config/zel-console). A program run from its build tree, or from a writable folder\n"
    "  that already holds these files (a portable copy), keeps them beside itself.\n"
    "\n"
    "Environment:\n"
    "  DISPLAY, WAYLAND_DISPLAY   the display the window opens on; without one, run the\n"
    "                             window on a virtual display: xvfb-run -a zel-taq\n"
    "  QT_LOGGING_RULES           debug output, for example \"zel.*.debug=true\"\n"
    "\n"
    "Exit status:\n"
    "  0 when the window was closed, 1 when no display could be opened, 2 for a bad --connect link.\n";

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
    return RunWindowProgram({"zel-taq", HelpText, TTAQMainWin::Version}, argc, argv, [](TConsoleApplication& app) {
        app.setApplicationName(TTAQMainWin::Caption);
        app.setWindowIcon(QIcon(TaqPicture()));
        return std::make_unique<TTAQMainWin>();
    });
}
