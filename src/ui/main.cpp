// zel-console: the gripper console.
#include "ui/ConsoleApplication.h"
#include "ui/ZELMainWin.h"

#include <memory>

namespace {
const char HelpText[] =
    "Usage: zel-console [--help] [--version] [--connect LINK] [Qt options]\n"
    "\n"
    "Control and test console for the ZEL two-finger gripper. Connect with Device > Connect (F2)\n"
    "over serial, TCP, UDP or CAN.\n"
    "\n"
    "Keys:\n"
    "  F12            Fast Stop, from every window of the console, with a dialog or a message\n"
    "                 open and while another command waits for its answer\n"
    "  Escape         Stop, in the main window\n"
    "  F2, F3         connect, disconnect\n"
    "  F5             the command editor\n"
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
    "  0 when the window was closed, 1 when no display could be opened, 2 for a bad --connect link.\n";
} // namespace

int main(int argc, char** argv) {
    return RunWindowProgram({"zel-console", HelpText, TMainWin::Version}, argc, argv,
                            [](TConsoleApplication&) { return std::make_unique<TMainWin>(); });
}
