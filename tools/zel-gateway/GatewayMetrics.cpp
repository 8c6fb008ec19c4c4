#include "GatewayMetrics.h"

#include "platform/ErrorGuard.h"
#include "GatewayUnit.h"
#include "zel/ZEL_commands.h"

#include <CivetServer.h>
#include <civetweb.h>
#include <prometheus/counter.h>
#include <prometheus/exposer.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <functional>

using namespace prometheus;

const std::vector<double> TGatewayMetrics::DurationBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                              0.1,   0.25,   0.5,   1,    2.5,   5};

namespace {

// The one exporter of the process whose /healthz the server's callback answers.
std::atomic<TGatewayMetrics*> GHealth{nullptr};

int HealthRequest(mg_connection* Conn) {
    const mg_request_info* info = mg_get_request_info(Conn);
    if (info == nullptr || info->local_uri == nullptr || std::strcmp(info->local_uri, "/healthz") != 0)
        return 0; // the exposer answers
    const TGatewayMetrics* metrics = GHealth.load();
    const auto [status, text] =
        metrics != nullptr ? metrics->Health() : std::pair<int, std::string>{503, "starting\n"};
    if (status == 200) {
        mg_send_http_ok(Conn, "text/plain; charset=utf-8", (long long)text.size());
        mg_write(Conn, text.data(), text.size());
    } else {
        mg_send_http_error(Conn, status, "%s", text.c_str());
    }
    return status;
}

// Flag names as label values: "Temperature warning" -> "temperature_warning".
std::string FlagLabel(std::string_view Text) {
    std::string s;
    for (char c : Text)
        s += c == ' ' ? '_' : char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const char* ExchangeResult(TStat Status) {
    if (Status == E_SUCCESS || Status == E_CMD_PENDING)
        return "success";
    return Status == E_TIMEOUT ? "timeout" : "failure";
}

const char* MotionResult(TStat Status) {
    switch (Status) {
    case E_SUCCESS:
        return "success";
    case E_CMD_ABORTED:
        return "aborted";
    case E_TIMEOUT:
        return "timeout";
    default:
        return "failure";
    }
}

const char* CommandLabel(TCellCommand Command) {
    switch (Command) {
    case TCellCommand::Move:
        return "move";
    case TCellCommand::Grasp:
        return "grasp";
    case TCellCommand::Release:
        return "release";
    case TCellCommand::Homing:
        return "homing";
    case TCellCommand::FastStopAck:
        break;
    }
    return nullptr;
}

} // namespace

struct TGatewayMetrics::TFamilies {
    Family<Gauge>& Position;
    Family<Gauge>& Force;
    Family<Gauge>& Temperature;
    Family<Gauge>& Grasping;
    Family<Gauge>& LinkUp;
    Family<Gauge>& Flag;
    Family<Gauge>& Age;
    Family<Counter>& Exchanges;
    Family<Counter>& Motions;
    Family<Counter>& Reconnects;
    Family<Counter>& Requests;
    Family<Histogram>& Duration;
    Family<Counter>& Frames;
    Family<Gauge>& Pressure;
};

// One device's series, labelled with its name and serial number. A different serial (another
// device on the same link) makes new series: Prometheus sees another device.
struct TGatewayMetrics::TSeries {
    TGatewayUnit* Unit = nullptr;
    bool Sensor = false;
    uint32_t Serial = 0;
    bool EverUp = false;
    uint32_t FramesSeen = 0; // frames counted so far
    Labels Base;
    std::vector<std::function<void()>> Removers;
    Gauge* Position = nullptr;
    Gauge* Force = nullptr;
    Gauge* Temperature = nullptr;
    Gauge* Grasping = nullptr;
    Gauge* LinkUp = nullptr;
    std::vector<std::pair<uint32_t, Gauge*>> Flags;
    Gauge* Age = nullptr;
    Counter* Reconnects = nullptr;
    Histogram* Duration = nullptr;
    Counter* Frames = nullptr;
    Gauge* Pressure = nullptr;

    template <typename T> T* Add(Family<T>& F, const Labels& Extra = {}) {
        Labels l = Base;
        l.insert(Extra.begin(), Extra.end());
        T* m = &F.Add(l);
        Removers.push_back([&F, m] { F.Remove(m); });
        return m;
    }
    template <typename T, typename... A> T* AddWith(Family<T>& F, const Labels& Extra, A&&... Args) {
        Labels l = Base;
        l.insert(Extra.begin(), Extra.end());
        T* m = &F.Add(l, std::forward<A>(Args)...);
        Removers.push_back([&F, m] { F.Remove(m); });
        return m;
    }
    // Series whose labels only show when they happen (a motion's result, an exception).
    std::map<std::pair<std::string, std::string>, Counter*> Counted;
    Counter& Count(Family<Counter>& F, const Labels& Extra) {
        std::string key;
        for (const auto& [k, v] : Extra)
            key += k + '=' + v + ',';
        auto& slot = Counted[{F.GetName(), key}];
        if (slot == nullptr)
            slot = Add(F, Extra);
        return *slot;
    }
};

TGatewayMetrics::TGatewayMetrics(QObject* Parent) : QObject(Parent), FRegistry(std::make_shared<Registry>()) {
    auto gauge = [this](const char* Name, const char* Help) -> Family<Gauge>& {
        return BuildGauge().Name(Name).Help(Help).Register(*FRegistry);
    };
    auto counter = [this](const char* Name, const char* Help) -> Family<Counter>& {
        return BuildCounter().Name(Name).Help(Help).Register(*FRegistry);
    };
    FFamilies.reset(new TFamilies{
        gauge("zel_position_millimeters", "Finger position the gripper reported"),
        gauge("zel_force_newtons", "Grip force the gripper reported"),
        gauge("zel_temperature_celsius", "Temperature of the gripper"),
        gauge("zel_grasping_state", "Grasping state: 0 idle, 1 grasping, 2 no part, 3 part lost, 4 holding, "
                                    "5 releasing, 6 positioning, 7 error"),
        gauge("zel_link_up", "1 while the link to the device is up"),
        gauge("zel_system_flag", "System state flags of the gripper, 0 or 1"),
        gauge("zel_value_age_seconds", "Seconds since the device's last report (-1 before the first)"),
        counter("zel_exchanges_total", "Exchanges with the device by result"),
        counter("zel_motions_total", "Commands from controllers by command and result"),
        counter("zel_reconnects_total", "Links built up again after a loss"),
        counter("zel_modbus_requests_total", "Modbus requests to the device's unit by result"),
        BuildHistogram()
            .Name("zel_exchange_duration_seconds")
            .Help("Time from sending a request to its first answer")
            .Register(*FRegistry),
        counter("zel_sensor_frames_total", "Frames the sensor reported"),
        gauge("zel_sensor_total_pressure", "Sum of all cells of the sensor's last frame"),
    });
    connect(&FPass, &QTimer::timeout, this, Guarded(this, &TGatewayMetrics::Pass));
    FPass.start(250);
}

TGatewayMetrics::~TGatewayMetrics() {
    // The server's threads end first: nothing may read what goes next.
    FExposer.reset();
    TGatewayMetrics* self = this;
    GHealth.compare_exchange_strong(self, nullptr);
}

void TGatewayMetrics::Build(TSeries& S) {
    TFamilies& f = *FFamilies;
    S.Base = {{"device", S.Unit->Name().toStdString()}, {"serial", std::to_string(S.Serial)}};
    S.LinkUp = S.Add(f.LinkUp);
    S.Age = S.Add(f.Age);
    S.Reconnects = S.Add(f.Reconnects);
    S.Duration = S.AddWith(f.Duration, {}, DurationBuckets);
    for (const char* result : {"success", "failure", "timeout"})
        S.Count(f.Exchanges, {{"result", result}});
    for (const char* result : {"success", "exception"})
        S.Count(f.Requests, {{"result", result}});
    if (S.Sensor) {
        S.Frames = S.Add(f.Frames);
        S.Pressure = S.Add(f.Pressure);
        return;
    }
    S.Position = S.Add(f.Position);
    S.Force = S.Add(f.Force);
    S.Temperature = S.Add(f.Temperature);
    S.Grasping = S.Add(f.Grasping);
    // Series from zero, so that a rate sees the first command.
    for (const char* command : {"move", "grasp", "release", "homing"})
        for (const char* result : {"success", "failure"})
            S.Count(f.Motions, {{"command", command}, {"result", result}});
    for (const TSysflagDescr& d : SystemStateFlags)
        S.Flags.emplace_back(d.Mask, S.Add(f.Flag, {{"flag", FlagLabel(d.Text)}}));
}

void TGatewayMetrics::Drop(TSeries& S) {
    for (auto& remove : S.Removers)
        remove();
    S.Removers.clear();
    S.Counted.clear();
    S.Flags.clear();
}

void TGatewayMetrics::AddUnit(TGatewayUnit* Unit) {
    auto series = std::make_unique<TSeries>();
    TSeries& s = *series;
    s.Unit = Unit;
    s.Sensor = Unit->Kinds() == TMapKinds::Sensor;
    Build(s);
    FSeries.push_back(std::move(series));
    TCellDevice* device = Unit->Device();
    connect(device, &TCellDevice::ValuesChanged, this, [this, &s] { RunGuarded([&] { TakeValues(s); }); });
    connect(device, &TCellDevice::LinkChanged, this,
            [this, &s](bool Up) { RunGuarded([&] { TakeLink(s, Up); }); });
    connect(device, &TCellDevice::Exchanged, this, [this, &s](TStat Status, double Seconds) {
        RunGuarded([&] {
            s.Count(FFamilies->Exchanges, {{"result", ExchangeResult(Status)}}).Increment();
            if (Status != E_CMD_FAILED && Status != E_NOT_OPENED)
                s.Duration->Observe(Seconds);
        });
    });
    connect(Unit, &TGatewayUnit::CommandEnded, this, [this, &s](TCellCommand Command, TStat Status) {
        RunGuarded([&] {
            if (const char* name = CommandLabel(Command))
                s.Count(FFamilies->Motions, {{"command", name}, {"result", MotionResult(Status)}})
                    .Increment();
        });
    });
    Pass();
}

void TGatewayMetrics::NoteRequest(int Unit, bool Exception) {
    for (auto& s : FSeries)
        if (s->Unit->Unit() == Unit)
            s->Count(FFamilies->Requests, {{"result", Exception ? "exception" : "success"}}).Increment();
}

void TGatewayMetrics::TakeLink(TSeries& S, bool Up) {
    if (Up) {
        if (S.EverUp)
            S.Reconnects->Increment();
        S.EverUp = true;
        const uint32_t serial = S.Unit->Device()->Serial();
        if (serial != S.Serial) {
            Drop(S);
            S.Serial = serial;
            Build(S);
            TakeValues(S);
        }
    }
    S.LinkUp->Set(Up ? 1 : 0);
    Pass();
}

void TGatewayMetrics::TakeValues(TSeries& S) {
    const TCellValues& v = S.Unit->Device()->Values();
    if (S.Sensor) {
        S.Frames->Increment(double(v.FrameCounter - S.FramesSeen));
        S.FramesSeen = v.FrameCounter;
        S.Pressure->Set(v.FrameTotal);
        return;
    }
    S.Position->Set(v.Position);
    S.Force->Set(v.Force);
    S.Temperature->Set(v.Temperature);
    S.Grasping->Set(v.GraspingState);
    for (auto& [mask, gauge] : S.Flags)
        gauge->Set((v.SystemState & mask) != 0 ? 1 : 0);
}

void TGatewayMetrics::Pass() {
    std::string down;
    for (auto& s : FSeries) {
        const qint64 age = s->Unit->Device()->ValuesAge();
        s->Age->Set(age < 0 ? -1.0 : double(age) / 1000.0);
        if (!s->Unit->Device()->LinkUp())
            down += (down.empty() ? "" : ", ") + s->Unit->Name().toStdString();
    }
    std::lock_guard<std::mutex> lock(FHealthLock);
    FHealthStatus = down.empty() ? 200 : 503;
    FHealthText = down.empty() ? "ok\n" : "not connected: " + down + "\n";
}

std::pair<int, std::string> TGatewayMetrics::Health() const {
    std::lock_guard<std::mutex> lock(FHealthLock);
    return {FHealthStatus, FHealthText};
}

std::string TGatewayMetrics::Text() const {
    return TextSerializer().Serialize(FRegistry->Collect());
}

bool TGatewayMetrics::Listen(const QString& Address, int Port, QString& Error) {
    const QString host =
        Address.contains(QLatin1Char(':')) ? QLatin1Char('[') + Address + QLatin1Char(']') : Address;
    const std::string bind = QStringLiteral("%1:%2").arg(host).arg(Port).toStdString();
    static CivetCallbacks callbacks;
    callbacks.begin_request = HealthRequest;
    try {
        FExposer = std::make_unique<Exposer>(bind, 2, &callbacks);
    } catch (const std::exception& e) {
        Error = QStringLiteral("cannot serve metrics on %1: %2")
                    .arg(QString::fromStdString(bind), QString::fromLocal8Bit(e.what()));
        return false;
    }
    FExposer->RegisterCollectable(FRegistry);
    GHealth.store(this);
    return true;
}

int TGatewayMetrics::Port() const {
    if (!FExposer)
        return 0;
    const std::vector<int> ports = FExposer->GetListeningPorts();
    return ports.empty() ? 0 : ports.front();
}
