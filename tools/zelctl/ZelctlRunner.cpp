#include "ZelctlRunner.h"

#include "PayloadParser.h"
#include "ZEL.h"
#include "ZEL_commands.h"
#include "ZelctlSession.h"

#include <QStringList>

namespace {
QString Text(const std::string& S) {
    return QString::fromStdString(S);
}
QString StatText(int Status) {
    return Text(StatToStr(Status));
}
QString Fixed(double Value, int Decimals) {
    return QString::number(Value, 'f', Decimals);
}
QString Hex2(int Value) {
    return QStringLiteral("%1").arg(Value, 2, 16, QLatin1Char('0')).toUpper();
}

bool Accepted(TStat Status) {
    return Status == E_SUCCESS || Status == E_CMD_PENDING;
}

QString HexBytes(const TByteArray& Bytes) {
    QStringList parts;
    for (uint8_t b : Bytes)
        parts << Hex2(b);
    return parts.join(QLatin1Char(' '));
}

QString SystemStateText(uint32_t State) {
    QString text = QStringLiteral("%1").arg(State, 8, 16, QLatin1Char('0')).toUpper() + QLatin1Char('h');
    QStringList flags;
    for (const TSysflagDescr& f : SystemStateFlags)
        if (State & f.Mask)
            flags << QString::fromUtf8(f.Text.data(), qsizetype(f.Text.size()));
    if (!flags.isEmpty())
        text += QStringLiteral(" (") + flags.join(QStringLiteral(", ")) + QLatin1Char(')');
    return text;
}
} // namespace

QString TZelctlRunner::Refused() const {
    // The exchange did not take place: the link is gone, or the packet could not be sent.
    return StatText(FSession.Device()->IsConnected() ? E_CMD_FAILED : E_NOT_OPENED);
}

QString TZelctlRunner::Name(int32_t CommandID) const {
    return Text(FSession.Device()->CommandName(CommandID));
}

bool TZelctlRunner::Fail(const QString& Message) {
    FSession.Error(Message);
    return false;
}

bool TZelctlRunner::CheckAsyncErrors() {
    const QStringList errors = FSession.TakeErrors();
    for (const QString& e : errors)
        FSession.Error(e);
    return errors.isEmpty();
}

QString TZelctlRunner::Printable(const QString& Text) {
    QString out;
    out.reserve(Text.size());
    for (const QChar c : Text) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c.category() == QChar::Other_Control)
            out += QStringLiteral("\\x") +
                   QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

int TZelctlRunner::Run() {
    if (!FSession.OpenLog())
        return ExitUsage;
    int exit = RunConnected();
    // A record that was asked for and is incomplete fails the run.
    if (!FSession.CloseLog() && exit == ExitOk)
        exit = ExitCommandFailed;
    return exit;
}

int TZelctlRunner::RunConnected() {
    if (!FSession.Connect())
        return ExitConnectFailed;
    int exit = ExitOk;
    for (const TZelctlCommand& c : FSession.Arguments().Commands) {
        if (!Execute(c)) {
            exit = ExitCommandFailed;
            if (!FSession.Arguments().KeepGoing)
                break;
        }
    }
    try {
        FSession.Disconnect();
    } catch (const std::exception& e) {
        Fail(QString::fromUtf8(e.what()));
        exit = ExitCommandFailed;
    }
    // The handlers point at this runner; none may outlive it.
    FSession.Device()->AsyncResults().Clear();
    return exit;
}

bool TZelctlRunner::Execute(const TZelctlCommand& C) {
    if (!CheckAsyncErrors())
        return false;
    bool ok = false;
    try {
        const QString& n = C.Name;
        if (n == QLatin1String("info"))
            ok = Info();
        else if (n == QLatin1String("temperature"))
            ok = Temperature();
        else if (n == QLatin1String("tag"))
            ok = Tag(C);
        else if (n == QLatin1String("send"))
            ok = Send(C);
        else if (TZEL* g = NeedGripper(C)) {
            const auto& a = C.Args;
            auto f = [&a](int i) { return a[i].toFloat(); };
            if (n == QLatin1String("home")) {
                uint8_t dir = TZEL::HomeDefault;
                if (!a.isEmpty() && a[0].startsWith(QLatin1String("in")))
                    dir = TZEL::HomeInwards;
                else if (!a.isEmpty() && a[0].startsWith(QLatin1String("out")))
                    dir = TZEL::HomeOutwards;
                ok = RunMotion(TZEL::HOMING, QStringLiteral("Error while homing: "),
                               [&](const TAsyncResultEvent& h) { return g->Homing(dir, h); });
            } else if (n == QLatin1String("move")) {
                ok = RunMotion(TZEL::MOVE, QStringLiteral("Error while starting to move: "),
                               [&](const TAsyncResultEvent& h) { return g->Move(f(0), f(1), h); });
            } else if (n == QLatin1String("grasp")) {
                ok = RunMotion(TZEL::GRASP, QStringLiteral("Error while starting to grasp: "),
                               [&](const TAsyncResultEvent& h) { return g->Grasp(f(0), f(1), h); });
            } else if (n == QLatin1String("release")) {
                ok = RunMotion(TZEL::RELEASE, QStringLiteral("Error while starting to release: "),
                               [&](const TAsyncResultEvent& h) { return g->Release(f(0), f(1), h); });
            } else if (n == QLatin1String("stop")) {
                ok = Synchronous(g->Stop(), TZEL::STOP, QStringLiteral("Error while stopping: "));
            } else if (n == QLatin1String("fast-stop")) {
                ok = Synchronous(g->FastStop(), TZEL::FAST_STOP,
                                 QStringLiteral("Error while issuing a fast stop: "));
            } else if (n == QLatin1String("ack")) {
                ok = Synchronous(g->FastStopAck(), TZEL::FAST_STOP_ACK,
                                 QStringLiteral("Error while acknowledging the fast stop: "));
            } else if (n == QLatin1String("acc") || n == QLatin1String("force")) {
                ok = Value(*g, C, n == QLatin1String("acc"));
            } else if (n == QLatin1String("stats")) {
                ok = Stats(*g, C);
            } else if (n == QLatin1String("limits")) {
                ok = Limits(*g);
            } else if (n == QLatin1String("watch")) {
                ok = Watch(*g, C);
            } else {
                ok = Fail(QStringLiteral("Unknown command '%1'").arg(n));
            }
        }
    } catch (const std::exception& e) {
        ok = Fail(QString::fromUtf8(e.what()));
    }
    // An error raised while the command ran (a report that cannot be decoded, a lost link) fails it.
    return CheckAsyncErrors() && ok;
}

TZEL* TZelctlRunner::NeedGripper(const TZelctlCommand& Command) {
    TZEL* g = FSession.Gripper();
    if (g == nullptr)
        Fail(QStringLiteral("'%1' needs a gripper; the connected device is a sensor").arg(Command.Name));
    return g;
}

TAsyncResultEvent TZelctlRunner::FinalHandler() {
    return [this](TKORADevice*, int32_t CommandID, TStat Status, const TByteArray&) {
        TFinalResult& r = FFinals[CommandID];
        ++r.Count;
        r.Status = Status;
        FSession.Wake();
    };
}

bool TZelctlRunner::WaitForFinal(uint8_t CommandID, int SeenBefore, TStat& Status) {
    TFinalResult& r = FFinals[CommandID];
    TKORADevice* device = FSession.Device();
    const bool done = FSession.WaitFor([&] { return r.Count > SeenBefore || !device->IsConnected(); },
                                       FSession.Arguments().ResultTimeoutMs);
    if (r.Count > SeenBefore) {
        Status = r.Status;
        return true;
    }
    if (!CheckAsyncErrors())
        return false;
    if (done)
        return Fail(QStringLiteral("Connection closed while waiting for the result of command %1")
                        .arg(Name(CommandID)));
    return Fail(QStringLiteral("Timeout while waiting for the result of command %1").arg(Name(CommandID)));
}

bool TZelctlRunner::RunMotion(uint8_t CommandID, const QString& FailurePrefix,
                              const std::function<TStat(const TAsyncResultEvent&)>& Start) {
    const int seen = FFinals[CommandID].Count;
    const TStat first = Start(FinalHandler());
    if (first == E_SUCCESS) {
        FSession.Out() << "Command " << Name(CommandID) << " finished: " << StatText(first) << "."
                       << Qt::endl;
        return true;
    }
    if (first != E_CMD_PENDING)
        return Fail(FailurePrefix + StatText(first));
    TStat final = E_SUCCESS;
    if (!WaitForFinal(CommandID, seen, final))
        return false;
    const QString line = QStringLiteral("Command %1 finished: %2.").arg(Name(CommandID), StatText(final));
    if (final != E_SUCCESS)
        return Fail(line);
    FSession.Out() << line << Qt::endl;
    return true;
}

bool TZelctlRunner::Synchronous(TStat Status, uint8_t CommandID, const QString& FailurePrefix) {
    if (!Accepted(Status))
        return Fail(FailurePrefix + StatText(Status));
    FSession.Out() << "Command " << Name(CommandID) << " finished: " << StatText(Status) << "." << Qt::endl;
    return true;
}

bool TZelctlRunner::Info() {
    const TKORADevice& d = *FSession.Device();
    QTextStream& out = FSession.Out();
    out << "Device type: " << Text(TKORADevice::DeviceTypeToStr(d.DeviceType)) << Qt::endl;
    out << "Serial number: " << QStringLiteral("%1").arg(d.SerialNumber, 8, 10, QLatin1Char('0')) << Qt::endl;
    out << "Hardware rev.: " << d.HardwareRevision << Qt::endl;
    const QString firmware =
        QStringLiteral("%1.%2.%3").arg(d.FirmwareMajor).arg(d.FirmwareMinor).arg(d.FirmwarePatch);
    if (d.FirmwareRC != 0)
        out << "Firmware version: " << firmware << "-RC" << d.FirmwareRC << Qt::endl;
    else
        out << "Firmware rev.: " << firmware << Qt::endl;
    return true;
}

bool TZelctlRunner::Temperature() {
    double t = 0;
    try {
        if (!FSession.Device()->ReadTemperature(t))
            return Fail(QStringLiteral("Error while reading temperature: %1").arg(Refused()));
    } catch (const std::exception& e) {
        return Fail(QStringLiteral("Error while reading temperature: %1").arg(QString::fromUtf8(e.what())));
    }
    FSession.Out() << "Current device temperature is " << Fixed(t, 1) << QChar(0xB0) << "C" << Qt::endl;
    return true;
}

bool TZelctlRunner::Tag(const TZelctlCommand& C) {
    TKORADevice& d = *FSession.Device();
    if (C.Args.isEmpty()) {
        QString tag;
        if (!d.GetDeviceTag(tag))
            return Fail(QStringLiteral("Error while reading the device tag: %1").arg(Refused()));
        FSession.Out() << "Device tag: \"" << Printable(tag) << "\"" << Qt::endl;
        return true;
    }
    const QString tag = C.Args[0].left(TKORADevice::MaxTagLength);
    if (!d.SetDeviceTag(tag))
        return Fail(QStringLiteral("Error while writing the device tag: %1").arg(Refused()));
    FSession.Out() << "Device tag set to \"" << Printable(tag) << "\"." << Qt::endl;
    return true;
}

bool TZelctlRunner::Value(TZEL& G, const TZelctlCommand& C, bool Acceleration) {
    const QString what = Acceleration ? QStringLiteral("acceleration") : QStringLiteral("force limit");
    auto show = [Acceleration](float V) {
        return Acceleration ? Fixed(V, 0) + QStringLiteral(" mm/s") + QChar(0xB2)
                            : Fixed(V, 1) + QStringLiteral(" N");
    };
    if (C.Args.isEmpty()) {
        float v = 0;
        const TStat s = Acceleration ? G.GetAcceleration(v) : G.GetForceLimit(v);
        if (s != E_SUCCESS)
            return Fail(QStringLiteral("Cannot read %1: %2").arg(what, StatText(s)));
        FSession.Out() << (Acceleration ? "Acceleration: " : "Grasping force limit: ") << show(v) << Qt::endl;
        return true;
    }
    const float v = C.Args[0].toFloat();
    const TStat s = Acceleration ? G.SetAcceleration(v) : G.SetForceLimit(v);
    if (!Accepted(s))
        return Fail(QStringLiteral("Error while setting %1: %2").arg(what, StatText(s)));
    FSession.Out() << (Acceleration ? "Acceleration set to " : "Grasping force limit set to ") << show(v)
                   << "." << Qt::endl;
    return true;
}

bool TZelctlRunner::Stats(TZEL& G, const TZelctlCommand& C) {
    TGraspingStats stats;
    const TStat s = G.GetGraspingStats(stats, !C.Args.isEmpty());
    if (s != E_SUCCESS)
        return Fail(QStringLiteral("Cannot read grasping statistics: %1").arg(StatText(s)));
    QTextStream& out = FSession.Out();
    out << "Number of grasps: " << stats.Grasps << Qt::endl;
    out << "Number of not found parts: " << stats.PartsNotFound << Qt::endl;
    out << "Number of parts lost: " << stats.PartsLost << Qt::endl;
    return true;
}

bool TZelctlRunner::Limits(TZEL& G) {
    const QString acc = QStringLiteral(" mm/s") + QChar(0xB2);
    const struct {
        const char* Row;
        float Value;
        QString Unit;
    } rows[] = {
        {"Stroke", G.Stroke, QStringLiteral(" mm")},
        {"Minimum speed", G.MinSpeed, QStringLiteral(" mm/s")},
        {"Maximum speed", G.MaxSpeed, QStringLiteral(" mm/s")},
        {"Minimum acceleration", G.MinAcceleration, acc},
        {"Maximum acceleration", G.MaxAcceleration, acc},
        {"Minimum force", G.MinForce, QStringLiteral(" N")},
        {"Nominal force", G.NominalForce, QStringLiteral(" N")},
        {"Overdrive force", G.OverdriveForce, QStringLiteral(" N")},
    };
    for (const auto& r : rows)
        FSession.Out() << r.Row << ": " << Fixed(r.Value, 0) << r.Unit << Qt::endl;
    return true;
}

bool TZelctlRunner::Send(const TZelctlCommand& C) {
    uint8_t id = 0;
    TByteArray payload;
    TPayloadParser::ParseByte(C.Args[0], id);
    if (C.Args.size() > 1)
        TPayloadParser::Parse(C.Args[1], payload);
    TKORADevice& d = *FSession.Device();
    const QString label = QStringLiteral("%1h (%2)").arg(Hex2(id), Name(id));
    if (!d.IsConnected())
        return Fail(QStringLiteral("Error while sending command %1: %2").arg(label, StatText(E_NOT_OPENED)));
    // As the custom command editor does it, but keeping the response data to print it.
    d.AsyncResults().Unregister(id);
    const int seen = FFinals[id].Count;
    TByteArray data;
    TStat status = E_SUCCESS;
    bool statusOnly = false;
    if (!d.Exchange(id, payload, data, status, statusOnly))
        return Fail(QStringLiteral("Error while sending command %1: %2").arg(label, StatText(E_CMD_FAILED)));
    FSession.Out() << "Response to command " << label << ": " << StatText(status);
    if (!statusOnly)
        FSession.Out() << ", data: " << HexBytes(data);
    FSession.Out() << Qt::endl;
    if (status != E_CMD_PENDING)
        return true;
    d.AsyncResults().Register(id, FinalHandler());
    TStat final = E_SUCCESS;
    if (!WaitForFinal(id, seen, final))
        return false;
    const QString line = QStringLiteral("Async result from command %1h: %2.").arg(Hex2(id), StatText(final));
    if (final != E_SUCCESS)
        return Fail(line);
    FSession.Out() << line << Qt::endl;
    return true;
}

bool TZelctlRunner::Watch(TZEL& G, const TZelctlCommand& C) {
    const int durationMs = int(C.Args[0].toDouble() * 1000.0 + 0.5);
    int period = 0;
    bool always = false;
    for (qsizetype i = 1; i < C.Args.size(); ++i) {
        if (C.Args[i] == QLatin1String("--always"))
            always = true;
        else if (C.Args[i] == QLatin1String("--period"))
            period = C.Args[++i].toInt();
    }
    // Without a period, the console's: states every 50, position and force every 100.
    const uint16_t statePeriod = uint16_t(period > 0 ? period : 50);
    const uint16_t motionPeriod = uint16_t(period > 0 ? period : 100);

    QElapsedTimer clock;
    clock.start();
    int reports = 0;
    QTextStream& out = FSession.Out();
    auto line = [&](const QString& Text) {
        ++reports;
        out << QStringLiteral("%1 ").arg(clock.elapsed() / 1000.0, 9, 'f', 3) << Text << Qt::endl;
    };
    struct TSaved {
        TZEL& G;
        TDeviceNotifyEvent S, R, P, F;
        ~TSaved() {
            G.OnSystemStateChange = std::move(S);
            G.OnGraspingStateChange = std::move(R);
            G.OnPositionChange = std::move(P);
            G.OnForceChange = std::move(F);
        }
    } saved{G, G.OnSystemStateChange, G.OnGraspingStateChange, G.OnPositionChange, G.OnForceChange};
    G.OnSystemStateChange = [&](TKORADevice*) {
        line(QStringLiteral("System state: ") + SystemStateText(G.SystemState));
    };
    G.OnGraspingStateChange = [&](TKORADevice*) {
        const std::string_view name = GraspingStateNames[G.GraspingState & 7];
        line(QStringLiteral("Grasping state: ") + QString::fromUtf8(name.data(), qsizetype(name.size())));
    };
    G.OnPositionChange = [&](TKORADevice*) {
        line(QStringLiteral("Position: %1 mm").arg(Fixed(G.Position, 2)));
    };
    G.OnForceChange = [&](TKORADevice*) { line(QStringLiteral("Force: %1 N").arg(Fixed(G.Force, 1))); };

    auto switchAll = [&](bool Enable) {
        const TStat results[] = {G.AutoUpdateSystemState(Enable, statePeriod, !always),
                                 G.AutoUpdateGraspingState(Enable, statePeriod, !always),
                                 G.AutoUpdatePosition(Enable, motionPeriod, !always),
                                 G.AutoUpdateForce(Enable, motionPeriod, !always)};
        for (TStat s : results)
            if (!Accepted(s))
                return s;
        return E_SUCCESS;
    };
    const TStat on = switchAll(true);
    if (on != E_SUCCESS) {
        switchAll(false);
        return Fail(QStringLiteral("Error while switching on automatic updates: %1").arg(StatText(on)));
    }
    const bool closed = FSession.WaitFor([&G] { return !G.IsConnected(); }, durationMs);
    if (closed)
        return Fail(QStringLiteral("Connection closed while watching"));
    if (!CheckAsyncErrors()) {
        switchAll(false);
        return false;
    }
    const TStat off = switchAll(false);
    if (off != E_SUCCESS)
        return Fail(QStringLiteral("Error while switching off automatic updates: %1").arg(StatText(off)));
    out << QStringLiteral("Watch ended after %1 s: %2 state reports.")
               .arg(Fixed(clock.elapsed() / 1000.0, 1))
               .arg(reports)
        << Qt::endl;
    return true;
}
