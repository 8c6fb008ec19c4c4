// zel-gateway with eight simulated grippers, measured from outside as a controller sees it:
//  1. one client reads each unit's status block in turn as fast as it can: reads per second and
//     the median and 99th percentile of one read, beside the same client against a plain
//     libmodbus server that holds the same registers (in this process, same run);
//  2. the gateway's processor share while every device reports every 10 ms and the client polls
//     each unit every 10 ms.
//   gateway_bench [SECONDS]   (3 s per measurement unless given)
#include "ModbusMap.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <modbus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int Devices = 8;

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof(a);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return ntohs(a.sin_port);
}

int StatusBlock() {
    const TMapEntry* last = ModbusMap::Find("motions_failed");
    return last->Address + 2;
}

struct TFigures {
    double ReadsPerSecond = 0;
    double MedianUs = 0;
    double P99Us = 0;
};

// Reads the status block of units First..First+Count-1 in turn for Seconds.
TFigures ReadAsFastAsPossible(int Port, int First, int Count, double Seconds) {
    modbus_t* c = modbus_new_tcp("127.0.0.1", Port);
    if (modbus_connect(c) != 0) {
        std::fprintf(stderr, "gateway_bench: cannot connect to port %d\n", Port);
        std::exit(1);
    }
    std::vector<double> us;
    uint16_t regs[MODBUS_MAX_READ_REGISTERS];
    const auto end = Clock::now() + std::chrono::duration<double>(Seconds);
    int unit = 0;
    const auto start = Clock::now();
    while (Clock::now() < end) {
        modbus_set_slave(c, First + unit);
        unit = (unit + 1) % Count;
        const auto t0 = Clock::now();
        if (modbus_read_input_registers(c, 0, StatusBlock(), regs) != StatusBlock()) {
            std::fprintf(stderr, "gateway_bench: read failed: %s\n", modbus_strerror(errno));
            std::exit(1);
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    modbus_close(c);
    modbus_free(c);
    std::sort(us.begin(), us.end());
    return {double(us.size()) / elapsed, us[us.size() / 2],
            us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

// A plain libmodbus server holding the same registers, one client, in a thread of its own.
class TPlainServer {
public:
    explicit TPlainServer(int Port)
        : FContext(modbus_new_tcp("127.0.0.1", Port)),
          FImage(modbus_mapping_new(0, 0, ModbusMap::TableSize(TMapTable::Holding),
                                    ModbusMap::TableSize(TMapTable::Input))) {
        FListen = modbus_tcp_listen(FContext, 1);
        FThread = std::thread([this] { Serve(); });
    }
    ~TPlainServer() {
        FThread.join();
        if (FListen >= 0)
            ::close(FListen);
        modbus_mapping_free(FImage);
        modbus_free(FContext);
    }

private:
    void Serve() {
        if (modbus_tcp_accept(FContext, &FListen) < 0)
            return;
        uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
        for (;;) {
            const int n = modbus_receive(FContext, request);
            if (n < 0)
                break;
            if (n > 0)
                modbus_reply(FContext, request, n, FImage);
        }
        modbus_close(FContext);
    }
    modbus_t* FContext;
    modbus_mapping_t* FImage;
    int FListen = -1;
    std::thread FThread;
};

double ProcessCpuSeconds(qint64 Pid) {
    std::ifstream f("/proc/" + std::to_string(Pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15; ++i) {
        rest >> field;
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

struct TCell {
    std::vector<std::unique_ptr<QProcess>> Sims;
    std::unique_ptr<QProcess> Gateway;
    int Port = 0;
};

void StartCell(TCell& Cell, const QString& Folder, int ReportMs) {
    QString config = QStringLiteral("[gateway]\nmodbus = 127.0.0.1:%1\n").arg(Cell.Port = FreePort());
    for (int i = 0; i < Devices; ++i) {
        auto sim = std::make_unique<QProcess>();
        sim->start(QStringLiteral(ZEL_SIM_BINARY), {QStringLiteral("--tcp"), QStringLiteral("0")});
        int port = 0;
        while (port == 0 && sim->waitForReadyRead(5000))
            while (sim->canReadLine()) {
                const QString line = QString::fromUtf8(sim->readLine()).trimmed();
                if (line.startsWith(QLatin1String("tcp ")))
                    port = line.section(QLatin1Char(':'), -1).toInt();
            }
        if (port == 0) {
            std::fprintf(stderr, "gateway_bench: zel-sim did not start\n");
            std::exit(1);
        }
        config += QStringLiteral("[device g%1]\nlink = tcp://127.0.0.1:%2\nunit = %3\nreport = %4\n")
                      .arg(i + 1)
                      .arg(port)
                      .arg(i + 1)
                      .arg(ReportMs);
        Cell.Sims.push_back(std::move(sim));
    }
    const QString path = Folder + QStringLiteral("/bench-%1.ini").arg(ReportMs);
    std::ofstream(path.toStdString()) << config.toStdString();
    Cell.Gateway = std::make_unique<QProcess>();
    Cell.Gateway->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Its warnings only; connect lines would come between the figures.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("zel.gateway.info=false"));
    Cell.Gateway->setProcessEnvironment(environment);
    Cell.Gateway->start(QStringLiteral(ZEL_GATEWAY_BINARY), {QStringLiteral("--config"), path});
    Cell.Gateway->waitForStarted();
    // Serving once every unit has its link and fresh values.
    modbus_t* c = modbus_new_tcp("127.0.0.1", Cell.Port);
    const auto limit = Clock::now() + std::chrono::seconds(20);
    int ready = 0;
    while (ready < Devices && Clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (modbus_connect(c) != 0)
            continue;
        ready = 0;
        for (int u = 1; u <= Devices; ++u) {
            uint16_t r[3] = {};
            modbus_set_slave(c, u);
            if (modbus_read_input_registers(c, 0, 3, r) == 3 && r[1] == 1 && r[2] == 0)
                ++ready;
        }
        modbus_close(c);
    }
    modbus_free(c);
    if (ready < Devices) {
        std::fprintf(stderr, "gateway_bench: only %d of %d devices came up\n", ready, Devices);
        std::exit(1);
    }
}

void StopCell(TCell& Cell) {
    Cell.Gateway->terminate();
    Cell.Gateway->waitForFinished(10000);
    for (auto& s : Cell.Sims) {
        s->kill();
        s->waitForFinished();
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    QTemporaryDir folder;

    std::printf("Status block: %d input registers a read, units 1..%d in turn, %.0f s each\n", StatusBlock(),
                Devices, seconds);
    {
        TCell cell;
        StartCell(cell, folder.path(), 100);
        const TFigures gateway = ReadAsFastAsPossible(cell.Port, 1, Devices, seconds);
        const int plainPort = FreePort();
        TFigures plain;
        {
            TPlainServer server(plainPort);
            plain = ReadAsFastAsPossible(plainPort, 1, Devices, seconds);
        }
        std::printf("%-28s %12s %12s %12s\n", "", "reads/s", "median us", "p99 us");
        std::printf("%-28s %12.0f %12.1f %12.1f\n", "zel-gateway, 8 devices", gateway.ReadsPerSecond,
                    gateway.MedianUs, gateway.P99Us);
        std::printf("%-28s %12.0f %12.1f %12.1f\n", "plain libmodbus server", plain.ReadsPerSecond,
                    plain.MedianUs, plain.P99Us);
        std::printf("median gateway / plain: %.2f (at most 1.5 wanted)\n", gateway.MedianUs / plain.MedianUs);
        StopCell(cell);
    }
    {
        TCell cell;
        StartCell(cell, folder.path(), 10);
        modbus_t* c = modbus_new_tcp("127.0.0.1", cell.Port);
        modbus_connect(c);
        uint16_t regs[MODBUS_MAX_READ_REGISTERS];
        const double cpu0 = ProcessCpuSeconds(cell.Gateway->processId());
        const auto start = Clock::now();
        auto next = start;
        long reads = 0;
        while (Clock::now() - start < std::chrono::duration<double>(seconds * 2)) {
            for (int u = 1; u <= Devices; ++u) {
                modbus_set_slave(c, u);
                if (modbus_read_input_registers(c, 0, StatusBlock(), regs) == StatusBlock())
                    ++reads;
            }
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = ProcessCpuSeconds(cell.Gateway->processId()) - cpu0;
        std::printf("Every device reports every 10 ms, each unit polled every 10 ms (%ld reads in %.1f s):\n",
                    reads, wall);
        std::printf("zel-gateway processor share: %.1f %% of a core (under 10 %% wanted)\n",
                    100.0 * cpu / wall);
        modbus_close(c);
        modbus_free(c);
        StopCell(cell);
    }
    return 0;
}
