// zel-gateway as a Prometheus exporter with 32 simulated grippers (each reporting every 100 ms),
// measured from outside as Prometheus sees it:
//  1. scrapes of /metrics one after the other: the median and 99th percentile of one scrape and
//     the size of the text;
//  2. the gateway's processor share over a stretch with a scrape every second, beside the same
//     stretch without scrapes.
//   metrics_bench [SECONDS]   (10 s per stretch unless given)
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int Devices = 32;

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

// One HTTP/1.0 GET on loopback, as a scraper does it: the whole answer, or "" when it fails.
std::string Get(int Port, const char* Path) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(Port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    const timeval wait{5, 0}; // a scrape that hangs fails instead of stopping the measurement
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) {
        const std::string request = std::string("GET ") + Path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(s, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
            char chunk[65536];
            ssize_t n = 0;
            while ((n = ::recv(s, chunk, sizeof(chunk), 0)) > 0)
                answer.append(chunk, size_t(n));
        }
    }
    ::close(s);
    return answer;
}

size_t BodySize(const std::string& Answer) {
    const size_t end = Answer.find("\r\n\r\n");
    return end == std::string::npos ? 0 : Answer.size() - end - 4;
}

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

double Share(qint64 Pid, double Seconds, int MetricsPort, bool Scrape) {
    const double cpu0 = ProcessCpuSeconds(Pid);
    const auto start = Clock::now();
    auto next = start;
    while (Clock::now() - start < std::chrono::duration<double>(Seconds)) {
        if (Scrape)
            Get(MetricsPort, "/metrics");
        next += std::chrono::seconds(1);
        std::this_thread::sleep_until(next);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return 100.0 * (ProcessCpuSeconds(Pid) - cpu0) / wall;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    QTemporaryDir folder;

    const int modbusPort = FreePort();
    const int metricsPort = FreePort();
    QString config = QStringLiteral("[gateway]\nmodbus = 127.0.0.1:%1\nmetrics = 127.0.0.1:%2\n")
                         .arg(modbusPort)
                         .arg(metricsPort);
    std::vector<std::unique_ptr<QProcess>> sims;
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
            std::fprintf(stderr, "metrics_bench: zel-sim did not start\n");
            return 1;
        }
        config += QStringLiteral("[device g%1]\nlink = tcp://127.0.0.1:%2\nunit = %1\n").arg(i + 1).arg(port);
        sims.push_back(std::move(sim));
    }
    const QString path = folder.path() + QStringLiteral("/metrics-bench.ini");
    std::ofstream(path.toStdString()) << config.toStdString();
    QProcess gateway;
    gateway.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("zel.gateway.info=false"));
    gateway.setProcessEnvironment(environment);
    gateway.start(QStringLiteral(ZEL_GATEWAY_BINARY), {QStringLiteral("--config"), path});
    gateway.waitForStarted();

    // Measured once every device is connected.
    const auto limit = Clock::now() + std::chrono::seconds(60);
    std::fprintf(stderr, "metrics_bench: %d devices started\n", Devices);
    while (Get(metricsPort, "/healthz").find(" 200 ") != 8 && Clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto stop = [&] {
        gateway.terminate();
        gateway.waitForFinished(10000);
        for (auto& s : sims) {
            s->kill();
            s->waitForFinished();
        }
    };
    if (Clock::now() >= limit) {
        std::fprintf(stderr, "metrics_bench: not every device came up\n");
        stop();
        return 1;
    }

    std::vector<double> times;
    size_t size = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::duration<double>(seconds / 2) || times.size() < 50) {
        const auto t0 = Clock::now();
        const std::string answer = Get(metricsPort, "/metrics");
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        size = BodySize(answer);
    }
    std::sort(times.begin(), times.end());
    std::printf("Scrape of /metrics, %d grippers: %zu scrapes, median %.2f ms, p99 %.2f ms, %zu bytes\n",
                Devices, times.size(), times[times.size() / 2], times[times.size() * 99 / 100], size);
    const double idle = Share(gateway.processId(), seconds, metricsPort, false);
    const double scraped = Share(gateway.processId(), seconds, metricsPort, true);
    std::printf("zel-gateway processor share over %.0f s: %.2f %% of a core without scrapes, %.2f %% with a "
                "scrape every second (difference %.2f %%)\n",
                seconds, idle, scraped, scraped - idle);

    stop();
    return 0;
}
