// zel-gateway: serves the grippers and sensors of a robot cell to PLCs and robot controllers
// over Modbus TCP, one unit identifier per device.
#include "transports/DeviceComponent.h"
#include "platform/ErrorGuard.h"
#include "GatewayConfig.h"
#include "GatewayLog.h"
#include "GatewayMetrics.h"
#include "GatewayUnit.h"
#include "LibraryDevice.h"
#include "engine/LinkAddress.h"
#include "ModbusMap.h"
#include "ModbusServer.h"
#include "platform/QtDebugSink.h"
#include "ZelVersion.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const HelpText =
    "Usage: zel-gateway --config FILE [--check]\n"
    "\n"
    "Keeps the grippers and sensors of a robot cell connected and serves each of them to PLCs and\n"
    "robot controllers over Modbus TCP, one unit identifier per device. A lost link is retried\n"
    "with a growing pause (at most 10 s) while the other devices go on.\n"
    "\n"
    "Options:\n"
    "  --config FILE     the configuration (INI), see below; a mistake in it is reported with\n"
    "                    its line and the gateway does not start\n"
    "  --check           only read the configuration (exit status 0 when it is good)\n"
    "  --print-map FMT   write the register map as csv or md to standard output\n"
    "  -h, --help        show this text\n"
    "  --version         show zel-gateway's version\n"
    "\n"
    "Configuration:\n"
    "  [gateway]                  the gateway's own section\n"
    "  modbus = ADDRESS:PORT      where to serve Modbus TCP (127.0.0.1:1502 unless given)\n"
    "  write = on|off             whether controllers may write at all (off unless given)\n"
    "  allow = ADDRESS[,...]      the clients that may write (none unless given)\n"
    "  [device NAME]              one section per device\n"
    "  link = LINK                the device's link: tcp://HOST[:PORT], udp://HOST[:TXPORT][?listen=PORT],\n"
    "                             serial:///dev/ttyUSB0[?baud=115200] or can://INTERFACE[?id=100]\n"
    "  unit = N                   its Modbus unit identifier, 1 to 247\n"
    "  kind = gripper|sensor      gripper unless given\n"
    "  report = MS                period of the device's reports, 1 to 500 (100 unless given)\n"
    "\n"
    "Register map:\n"
    "  The registers of every unit, the command handshake and the exceptions are described in\n"
    "  modbus-map.md and modbus-map.csv (in /usr/share/doc/zel-console/docs when installed),\n"
    "  which zel-gateway --print-map writes.\n"
    "\n"
    "Logging:\n"
    "  One line on standard error per connect, lost link, reconnect and refused write\n"
    "  (category zel.gateway). The gateway ends on SIGINT or SIGTERM.\n"
    "\n"
    "Exit status:\n"
    "  0  ended by a signal, or the configuration is good (--check)\n"
    "  1  the configuration was refused or Modbus cannot be served on its address\n"
    "  2  the command line is wrong\n"
    "\n"
    "Examples:\n"
    "  zel-gateway --config /etc/zel-gateway.ini\n"
    "  zel-gateway --print-map csv > modbus-map.csv\n";

int GSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(GSignalPipe[1], &byte, 1);
}

// The command line: -1 to go on with the configuration at ConfigPath, else the exit status (help,
// version and the map are written here).
int ReadArguments(const QStringList& Args, QString& ConfigPath, bool& Check) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    for (int i = 0; i < Args.size(); ++i) {
        const QString& a = Args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out << HelpText;
            return 0;
        }
        if (a == QLatin1String("--version")) {
            out << "zel-gateway " << ZEL_VERSION << Qt::endl;
            return 0;
        }
        if (a == QLatin1String("--check")) {
            Check = true;
        } else if (a == QLatin1String("--print-map") && i + 1 < Args.size()) {
            const QString format = Args[++i];
            if (format == QLatin1String("csv"))
                out << ModbusMap::Csv();
            else if (format == QLatin1String("md"))
                out << ModbusMap::Markdown();
            else {
                err << "zel-gateway: --print-map takes csv or md, not \"" << format << "\"" << Qt::endl;
                return 2;
            }
            return 0;
        } else if (a == QLatin1String("--config") && i + 1 < Args.size()) {
            ConfigPath = Args[++i];
        } else {
            err << "zel-gateway: unknown or incomplete option \"" << a << "\"; see zel-gateway --help"
                << Qt::endl;
            return 2;
        }
    }
    if (ConfigPath.isEmpty()) {
        err << "zel-gateway: no configuration: zel-gateway --config FILE (see --help)" << Qt::endl;
        return 2;
    }
    return -1;
}

// Errors from the device library's notifications land here; the gateway goes on.
// Link failures are told by each device with its name, when it notices them.
void InstallErrorHandler() {
    SetApplicationErrorHandler([](std::exception_ptr Error) {
        try {
            std::rethrow_exception(Error);
        } catch (const ECommunicationError& e) {
            qCDebug(lcGateway).noquote() << e.what();
        } catch (...) {
            qCWarning(lcGateway).noquote() << QString::fromStdString(ExceptionMessage(Error));
        }
    });
}

// One unit per configured device, each served by the server and counted by the metrics, if any.
std::vector<std::unique_ptr<TGatewayUnit>> BuildUnits(const TGatewayConfig& Config, TModbusServer& Server,
                                                      TGatewayMetrics* Metrics) {
    std::vector<std::unique_ptr<TGatewayUnit>> units;
    for (const TDeviceConfig& d : Config.Devices) {
        TLinkAddress link;
        QString error;
        ParseLinkAddress(d.Link, link, error); // checked when the file was read
        TCellDevice* device = nullptr;
        if (d.Kind == TDeviceKind::Sensor)
            device = new TLibrarySensor(d.Name, link, d.ReportPeriod, nullptr);
        else
            device = new TLibraryGripper(d.Name, link, d.ReportPeriod, nullptr);
        units.push_back(std::make_unique<TGatewayUnit>(d, device, nullptr));
        device->setParent(units.back().get());
        Server.AddUnit(units.back().get());
        if (Metrics)
            Metrics->AddUnit(units.back().get());
    }
    return units;
}

// Binds the metrics and the Modbus port; false with Error when either cannot be served.
bool StartServing(const TGatewayConfig& Config, TModbusServer& Server, TGatewayMetrics* Metrics,
                  QString& Error) {
    if (Metrics) {
        QObject::connect(&Server, &TModbusServer::Requested, Metrics,
                         [Metrics](int Unit, bool Exception) { Metrics->NoteRequest(Unit, Exception); });
        if (!Metrics->Listen(Config.MetricsAddress, Config.MetricsPort, Error))
            return false;
        qCInfo(lcGateway).noquote() << QStringLiteral("serving metrics on http://%1:%2/metrics")
                                           .arg(Config.MetricsAddress)
                                           .arg(Metrics->Port());
    }
    if (!Server.Listen(Error))
        return false;
    qCInfo(lcGateway).noquote() << QStringLiteral("serving %1 device(s) over Modbus TCP on %2:%3, writes %4")
                                       .arg(Config.Devices.size())
                                       .arg(Server.serverAddress().toString())
                                       .arg(Server.serverPort())
                                       .arg(Config.Write ? QStringLiteral("on") : QStringLiteral("off"));
    if (Config.Write && Config.Allow.isEmpty())
        qCWarning(lcGateway).noquote()
            << QStringLiteral("writes are on, but no client is allowed to write (allow = ...)");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& Text) {
        std::fprintf(stderr, "zel-gateway: %s\n", Text.toLocal8Bit().constData());
    });
    RouteDebugOutToQt();
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zel-gateway"));
    QTextStream err(stderr);

    QString configPath;
    bool check = false;
    if (const int code = ReadArguments(QCoreApplication::arguments().mid(1), configPath, check); code >= 0)
        return code;
    TGatewayConfig config;
    QString error;
    if (!ReadGatewayConfig(configPath, config, error)) {
        err << "zel-gateway: " << error << Qt::endl;
        return 1;
    }
    if (check)
        return 0;
    InstallErrorHandler();

    TModbusServer server(config, nullptr);
    // Its HTTP server ends before the units go (see the end of main).
    std::unique_ptr<TGatewayMetrics> metrics;
    if (config.MetricsPort != 0)
        metrics = std::make_unique<TGatewayMetrics>();
    std::vector<std::unique_ptr<TGatewayUnit>> units = BuildUnits(config, server, metrics.get());
    if (!StartServing(config, server, metrics.get(), error)) {
        err << "zel-gateway: " << error << Qt::endl;
        return 1;
    }
    for (auto& unit : units)
        unit->Device()->Start();

    // Signals end the event loop through a pipe, so that everything is torn down in order.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, GSignalPipe) != 0)
        return 1;
    QSocketNotifier quit(GSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quit, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    const int code = QCoreApplication::exec();
    metrics.reset();
    units.clear();
    ::close(GSignalPipe[0]);
    ::close(GSignalPipe[1]);
    return code;
}
