#pragma once
// The gateway as a Prometheus exporter: /metrics with every device's values and counts, and
// /healthz (200 while every device is connected, 503 naming those that are not).
//
// The exporter's HTTP server answers from its own threads. Everything the gateway knows lives on
// the Qt thread, which writes it into the metric objects (they are thread-safe) and into a
// health snapshot behind a mutex; the server's threads read only those.
#include "CellDevice.h"

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace prometheus {
class Counter;
class Exposer;
class Gauge;
class Histogram;
class Registry;
template <typename T> class Family;
} // namespace prometheus

class TGatewayUnit;

class TGatewayMetrics : public QObject {
    Q_OBJECT
public:
    // Bounds of zel_exchange_duration_seconds, in seconds.
    static const std::vector<double> DurationBuckets;

    explicit TGatewayMetrics(QObject* Parent = nullptr);
    ~TGatewayMetrics() override;

    void AddUnit(TGatewayUnit* Unit);
    // A request the Modbus server answered for Unit.
    void NoteRequest(int Unit, bool Exception);
    // Serves on Address:Port (0: any free port); false with Error when it cannot.
    bool Listen(const QString& Address, int Port, QString& Error);
    int Port() const;

    // The text and status of /healthz as the last pass left them.
    std::pair<int, std::string> Health() const;
    // The exposition text, as a scrape would get it (for tests and benchmarks).
    std::string Text() const;

private:
    struct TSeries;
    struct TFamilies;
    void Build(TSeries& S);
    void Drop(TSeries& S);
    void TakeValues(TSeries& S);
    void TakeLink(TSeries& S, bool Up);
    void Pass();

    std::shared_ptr<prometheus::Registry> FRegistry;
    std::unique_ptr<TFamilies> FFamilies;
    std::vector<std::unique_ptr<TSeries>> FSeries;
    std::unique_ptr<prometheus::Exposer> FExposer;
    QTimer FPass;
    mutable std::mutex FHealthLock;
    int FHealthStatus = 503;
    std::string FHealthText;
};
