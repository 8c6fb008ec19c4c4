#include "Options.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <functional>

namespace zelsim {

namespace {

struct TOptionDef {
    const char* Name;
    const char* Value; // nullptr: a switch
    const char* Help;
};

const TOptionDef Defs[] = {
    {"tcp", "port", "TCP server port (0: any free port). Default when no link is given: 1000."},
    {"udp", "port", "UDP port; answers go to each datagram's sender. Default when no link is given: 1500."},
    {"pty", "path", "Open a pseudo-terminal and link it at path (\"-\": no link)."},
    {"can", "plugin:iface:id", "CAN link, e.g. virtualcan:can0:100 (answers with id + 1)."},
    {"bind", "address", "Address the TCP and UDP links bind to (default 127.0.0.1)."},
    {"device", "kind", "gripper (default) or sensor."},
    {"device-type", "n", "Device type byte in the system information (default 1, sensor 4)."},
    {"hw-rev", "n", "Hardware revision (default 1)."},
    {"firmware", "x.y.z[-rcN]", "Firmware version (default 1.2.3)."},
    {"serial", "n", "Serial number (default 12345678)."},
    {"tag", "text", "Initial device tag, up to 64 bytes."},
    {"temperature", "celsius", "Device temperature (default 31.2)."},
    {"temp-warning", "celsius", "Temperature warning flag at or above this (default 60)."},
    {"temp-fault", "celsius", "Temperature fault flag at or above this (default 75)."},
    {"stroke", "mm", "Stroke (default 110)."},
    {"min-speed", "mm/s", "Minimum speed (default 5)."},
    {"max-speed", "mm/s", "Maximum speed (default 420)."},
    {"min-accel", "mm/s2", "Minimum acceleration (default 100)."},
    {"max-accel", "mm/s2", "Maximum acceleration (default 5000)."},
    {"min-force", "N", "Minimum grasping force (default 5)."},
    {"nominal-force", "N", "Nominal grasping force (default 80)."},
    {"overdrive-force", "N", "Overdrive grasping force (default 120)."},
    {"accel", "mm/s2", "Initial acceleration (default 1000)."},
    {"force-limit", "N", "Initial grasping force limit (default: nominal force)."},
    {"start-pos", "mm", "Finger position at start (default: half the stroke)."},
    {"homing-speed", "mm/s", "Speed of the homing motion (default 100)."},
    {"referenced", nullptr, "Start referenced (no homing needed)."},
    {"part", "mm|none", "Width of the part between the fingers (default 20)."},
    {"part-tolerance", "mm", "A grasp finds the part within this of its nominal width (default 2)."},
    {"force-rate", "N/s", "How fast the grip tightens after contact (default 800)."},
    {"lose-part-after", "ms", "Every held part is lost this long after the grip closed."},
    {"matrix", "WxH", "Sensor matrix size in cells (default 6x14)."},
    {"cell-size", "WxH", "Sensor cell size in mm (default 3.4x3.4)."},
    {"transducer", "text", "Sensor transducer type text."},
    {"gain", "n", "Sensor gain byte (default 128)."},
    {"threshold", "n", "Sensor threshold (default 20)."},
    {"frame-period", "ms", "Period of periodic frames when the request names none (default 50)."},
    {"rle", nullptr, "Run-length coded frames when the request names no coding."},
    {"fault", "items",
     "Link faults, comma-separated, option repeatable: drop=share, corrupt=share, wrong-length=share, "
     "pause=share[:ms], delay=ms, split, garbage=bytes, burst=count, close-after=packets, seed=n. "
     "A share is 0..1."},
};

bool ToDouble(const QString& s, double& v) {
    bool ok = false;
    v = s.toDouble(&ok);
    return ok && std::isfinite(v);
}

bool ToInt(const QString& s, long long Low, long long High, long long& v) {
    bool ok = false;
    v = s.toLongLong(&ok, 0);
    return ok && v >= Low && v <= High;
}

bool ParsePair(const QString& s, double& a, double& b) {
    const QStringList parts = s.split('x');
    return parts.size() == 2 && ToDouble(parts[0], a) && ToDouble(parts[1], b);
}

int16_t Tenths(double Celsius) {
    return int16_t(std::lround(Celsius * 10));
}

} // namespace

bool ParseFirmware(const std::string& Text, uint16_t& Firmware) {
    static const QRegularExpression re(R"(^(\d+)\.(\d+)\.(\d+)(?:-rc(\d+))?$)",
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(QString::fromStdString(Text));
    if (!m.hasMatch())
        return false;
    uint16_t v = 0;
    for (int i = 1; i <= 4; ++i) {
        const int d = m.captured(i).isEmpty() ? 0 : m.captured(i).toInt();
        if (d > 15)
            return false;
        v = uint16_t(v << 4 | d);
    }
    Firmware = v;
    return true;
}

bool ParseFaults(const std::string& Text, TFaultConfig& F, std::string& Error) {
    for (const QString& item : QString::fromStdString(Text).split(',', Qt::SkipEmptyParts)) {
        const QString key = item.section('=', 0, 0).trimmed();
        const QString value = item.section('=', 1);
        auto bad = [&] {
            Error = "bad fault \"" + item.toStdString() + "\"";
            return false;
        };
        double d = 0;
        long long n = 0;
        auto share = [&](double& out) {
            if (!ToDouble(value, d) || d < 0 || d > 1)
                return false;
            out = d;
            return true;
        };
        if (key == "drop") {
            if (!share(F.DropShare))
                return bad();
        } else if (key == "corrupt") {
            if (!share(F.CorruptShare))
                return bad();
        } else if (key == "wrong-length") {
            if (!share(F.WrongLengthShare))
                return bad();
        } else if (key == "pause") {
            const QString s = value.section(':', 0, 0), ms = value.section(':', 1);
            if (!ToDouble(s, d) || d < 0 || d > 1)
                return bad();
            F.PauseShare = d;
            if (!ms.isEmpty()) {
                if (!ToInt(ms, 1, 60000, n))
                    return bad();
                F.PauseMs = int(n);
            }
        } else if (key == "delay") {
            if (!ToInt(value, 0, 60000, n))
                return bad();
            F.DelayMs = int(n);
        } else if (key == "split") {
            if (!value.isEmpty() && value != "1")
                return bad();
            F.SplitWrites = true;
        } else if (key == "garbage") {
            if (!ToInt(value, 0, 65535, n))
                return bad();
            F.GarbageBytes = int(n);
        } else if (key == "burst") {
            if (!ToInt(value, 0, 100000, n))
                return bad();
            F.BurstCount = int(n);
        } else if (key == "close-after") {
            if (!ToInt(value, 0, 1LL << 30, n))
                return bad();
            F.CloseAfter = int(n);
        } else if (key == "seed") {
            if (!ToInt(value, 0, 0xFFFFFFFFLL, n))
                return bad();
            F.Seed = uint32_t(n);
        } else {
            return bad();
        }
    }
    return true;
}

std::string UsageText() {
    std::string s =
        "Usage: zel-sim [options]\n"
        "Simulates a ZEL gripper or TAQ matrix sensor for the console. Prints one line per open\n"
        "link (\"tcp 127.0.0.1:1000\", \"udp ...\", \"pty /dev/pts/N\", \"can ...\"), then \"ready\",\n"
        "and runs until SIGINT or SIGTERM. SIGUSR1 makes a held part drop.\n\nOptions:\n";
    s += "  -h, --help                 This text.\n";
    s += "  --version                  The version, the same as the console's.\n";
    s += "  -v, --verbose              Log every command and its answer.\n";
    for (const auto& d : Defs) {
        std::string left = std::string("  --") + d.Name + (d.Value ? std::string(" <") + d.Value + ">" : "");
        if (left.size() < 29)
            left.resize(29, ' ');
        else
            left += "\n" + std::string(29, ' ');
        s += left + d.Help + "\n";
    }
    return s;
}

namespace {
// Reads the options given on the command line. A reader returns "" when every value it read was
// good, else the message for the user.
class TOptionReader {
public:
    explicit TOptionReader(const QCommandLineParser& Parser) : p(Parser) {}

    bool IsSet(const char* Name) const { return p.isSet(Name); }
    QString Value(const char* Name) const { return p.value(Name); }
    // Each reads an option when it is given and reports whether its value was good.
    template <class F> bool Number(const char* Name, double Low, double High, F&& Set) const {
        if (!p.isSet(Name))
            return true;
        double d = 0;
        if (!ToDouble(p.value(Name), d) || d < Low || d > High)
            return false;
        Set(d);
        return true;
    }
    template <class F> bool Integer(const char* Name, long long Low, long long High, F&& Set) const {
        if (!p.isSet(Name))
            return true;
        long long n = 0;
        if (!ToInt(p.value(Name), Low, High, n))
            return false;
        Set(n);
        return true;
    }

private:
    const QCommandLineParser& p;
};

std::string Bad(const char* Name) {
    return std::string("bad value for --") + Name;
}

std::string ReadDeviceAndLinks(const TOptionReader& o, TSimConfig& c) {
    c.Verbose = o.IsSet("verbose");
    if (o.IsSet("device")) {
        const QString kind = o.Value("device");
        if (kind == "gripper")
            c.Device = EDeviceKind::Gripper;
        else if (kind == "sensor")
            c.Device = EDeviceKind::Sensor;
        else
            return Bad("device");
    }
    if (!o.Integer("tcp", 0, 65535, [&](long long n) { c.TcpPort = int(n); }))
        return Bad("tcp");
    if (!o.Integer("udp", 0, 65535, [&](long long n) { c.UdpPort = int(n); }))
        return Bad("udp");
    if (o.IsSet("pty")) {
        c.Pty = true;
        c.PtyLink = o.Value("pty") == "-" ? std::string() : o.Value("pty").toStdString();
    }
    if (o.IsSet("can"))
        c.Can = o.Value("can").toStdString();
    if (o.IsSet("bind"))
        c.BindAddress = o.Value("bind").toStdString();
    if (c.TcpPort < 0 && c.UdpPort < 0 && !c.Pty && c.Can.empty()) {
        c.TcpPort = 1000;
        c.UdpPort = 1500;
    }
    return {};
}

std::string ReadSystemInformation(const TOptionReader& o, TSimConfig& c) {
    if (!o.Integer("device-type", 0, 255, [&](long long n) { c.SysInfo.DeviceType = int(n); }))
        return Bad("device-type");
    if (!o.Integer("hw-rev", 0, 255, [&](long long n) { c.SysInfo.HardwareRevision = uint8_t(n); }))
        return Bad("hw-rev");
    if (!o.Integer("serial", 0, 0xFFFFFFFFLL, [&](long long n) { c.SysInfo.SerialNumber = uint32_t(n); }))
        return Bad("serial");
    if (o.IsSet("firmware") && !ParseFirmware(o.Value("firmware").toStdString(), c.SysInfo.Firmware))
        return Bad("firmware");
    if (o.IsSet("tag")) {
        c.Tag = o.Value("tag").toStdString();
        if (c.Tag.size() > 64)
            return "--tag is longer than 64 bytes";
    }
    if (!o.Number("temperature", -3276.8, 3276.7, [&](double d) { c.Temperature = Tenths(d); }))
        return Bad("temperature");
    auto& g = c.Gripper;
    if (!o.Number("temp-warning", -3276.8, 3276.7, [&](double d) { g.TemperatureWarning = Tenths(d); }))
        return Bad("temp-warning");
    if (!o.Number("temp-fault", -3276.8, 3276.7, [&](double d) { g.TemperatureFault = Tenths(d); }))
        return Bad("temp-fault");
    return {};
}

// The limits must be in order, and the initial values within them.
std::string CheckGripperLimits(const TOptionReader& o, TGripperConfig& g) {
    const auto& l = g.Limits;
    if (l.Stroke <= 0 || l.MinSpeed <= 0 || l.MinSpeed > l.MaxSpeed || l.MinAcceleration <= 0 ||
        l.MinAcceleration > l.MaxAcceleration || l.MinForce > l.NominalForce ||
        l.NominalForce > l.OverdriveForce)
        return "inconsistent gripper limits";
    if (g.HomingSpeed <= 0)
        return Bad("homing-speed");
    if (!o.IsSet("accel"))
        g.Acceleration = std::clamp(g.Acceleration, l.MinAcceleration, l.MaxAcceleration);
    else if (g.Acceleration < l.MinAcceleration || g.Acceleration > l.MaxAcceleration)
        return "--accel is outside the acceleration limits";
    if (o.IsSet("force-limit") && (g.ForceLimit < l.MinForce || g.ForceLimit > l.NominalForce))
        return "--force-limit is outside the force limits";
    if (o.IsSet("start-pos") && g.StartPosition > l.Stroke)
        return "--start-pos is beyond the stroke";
    return {};
}

std::string ReadGripper(const TOptionReader& o, TGripperConfig& g) {
    auto& l = g.Limits;
    const double big = 1e6;
    struct {
        const char* Name;
        float* Target;
    } limits[] = {{"stroke", &l.Stroke},
                  {"min-speed", &l.MinSpeed},
                  {"max-speed", &l.MaxSpeed},
                  {"min-accel", &l.MinAcceleration},
                  {"max-accel", &l.MaxAcceleration},
                  {"min-force", &l.MinForce},
                  {"nominal-force", &l.NominalForce},
                  {"overdrive-force", &l.OverdriveForce},
                  {"accel", &g.Acceleration},
                  {"force-limit", &g.ForceLimit},
                  {"start-pos", &g.StartPosition},
                  {"homing-speed", &g.HomingSpeed},
                  {"part-tolerance", &g.PartTolerance},
                  {"force-rate", &g.ForceRate}};
    for (auto& v : limits)
        if (!o.Number(v.Name, 0, big, [&](double d) { *v.Target = float(d); }))
            return Bad(v.Name);
    g.StartReferenced = o.IsSet("referenced");
    if (o.IsSet("part")) {
        if (o.Value("part") == "none")
            g.HasPart = false;
        else if (!o.Number("part", 0, big, [&](double d) { g.PartWidth = float(d); }))
            return Bad("part");
    }
    if (!o.Integer("lose-part-after", 0, 3600000, [&](long long n) { g.LosePartAfterMs = int(n); }))
        return Bad("lose-part-after");
    return CheckGripperLimits(o, g);
}

std::string ReadSensor(const TOptionReader& o, TSensorConfig& s) {
    if (o.IsSet("matrix")) {
        double w = 0, h = 0;
        // A plain frame must fit in one packet: 5 + 2 bytes per cell after the status.
        if (!ParsePair(o.Value("matrix"), w, h) || w < 1 || h < 1 || w != std::floor(w) ||
            h != std::floor(h) || w * h > 32000)
            return Bad("matrix");
        s.MatrixWidth = uint16_t(w);
        s.MatrixHeight = uint16_t(h);
    }
    if (o.IsSet("cell-size")) {
        double w = 0, h = 0;
        if (!ParsePair(o.Value("cell-size"), w, h) || w <= 0 || h <= 0 || w > 655 || h > 655)
            return Bad("cell-size");
        s.CellWidth = uint16_t(std::lround(w * 100));
        s.CellHeight = uint16_t(std::lround(h * 100));
    }
    if (o.IsSet("transducer"))
        s.TransducerType = o.Value("transducer").toStdString();
    if (!o.Integer("gain", 0, 255, [&](long long n) { s.Gain = uint8_t(n); }))
        return Bad("gain");
    if (!o.Integer("threshold", 0, 65535, [&](long long n) { s.Threshold = uint16_t(n); }))
        return Bad("threshold");
    if (!o.Integer("frame-period", 1, 65535, [&](long long n) { s.FramePeriodMs = int(n); }))
        return Bad("frame-period");
    s.RunLength = o.IsSet("rle");
    return {};
}

void AddOptions(QCommandLineParser& p) {
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.addOption(QCommandLineOption(QStringList{"h", "help"}));
    p.addOption(QCommandLineOption(QStringList{"v", "verbose"}));
    p.addOption(QCommandLineOption(QStringList{"version"}));
    for (const auto& d : Defs) {
        if (d.Value)
            p.addOption(QCommandLineOption(d.Name, d.Help, d.Value));
        else
            p.addOption(QCommandLineOption(d.Name, d.Help));
    }
}
} // namespace

TOptions ParseOptions(const std::vector<std::string>& Args) {
    TOptions r;
    QCommandLineParser p;
    AddOptions(p);
    QStringList args;
    for (const auto& a : Args)
        args << QString::fromStdString(a);
    if (args.isEmpty())
        args << "zel-sim";
    if (!p.parse(args)) {
        r.Message = p.errorText().toStdString();
        return r;
    }
    if (!p.positionalArguments().isEmpty()) {
        r.Message = "unexpected argument \"" + p.positionalArguments().first().toStdString() + "\"";
        return r;
    }
    if (p.isSet("help")) {
        r.Help = r.Ok = true;
        return r;
    }
    if (p.isSet("version")) {
        r.Version = r.Ok = true;
        return r;
    }

    TSimConfig& c = r.Config;
    const TOptionReader o(p);
    // In this order, so that the first bad option is the one reported.
    r.Message = ReadDeviceAndLinks(o, c);
    if (r.Message.empty())
        r.Message = ReadSystemInformation(o, c);
    if (r.Message.empty())
        r.Message = ReadGripper(o, c.Gripper);
    if (r.Message.empty())
        r.Message = ReadSensor(o, c.Sensor);
    if (!r.Message.empty())
        return r;
    std::string error;
    for (const QString& f : p.values("fault"))
        if (!ParseFaults(f.toStdString(), c.Faults, error)) {
            r.Message = error;
            return r;
        }
    r.Ok = true;
    return r;
}

} // namespace zelsim
