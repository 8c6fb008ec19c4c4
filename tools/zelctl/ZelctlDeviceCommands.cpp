#include "ZelctlDeviceCommands.h"

#include "cmdtext/PayloadParser.h"
#include "zel/ZEL.h"
#include "zel/ZEL_commands.h"
#include "ZelctlChecks.h"
#include "ZelctlReports.h"
#include "ZelctlSession.h"
#include "ZelctlValues.h"

#include <QElapsedTimer>

#include <cmath>

using namespace ZelctlValues;

TZEL& TZelctlDeviceCommands::Gripper() const {
    return *FSession.Gripper();
}

QString TZelctlDeviceCommands::Name(int32_t CommandID) const {
    return CommandName(*FSession.Device(), CommandID);
}

TAsyncResultEvent TZelctlDeviceCommands::FinalHandler() {
    return [this](TKORADevice*, int32_t CommandID, TStat Status, const TByteArray&) {
        TFinalResult& r = FFinals[CommandID];
        ++r.Count;
        r.Status = Status;
        FSession.Wake();
    };
}

bool TZelctlDeviceCommands::WaitForFinal(uint8_t CommandID, int SeenBefore, TStat& Status) {
    TFinalResult& r = FFinals[CommandID];
    TKORADevice* device = FSession.Device();
    const bool done = FSession.WaitFor([&] { return r.Count > SeenBefore || !device->IsConnected(); },
                                       FSession.Arguments().ResultTimeoutMs);
    if (r.Count > SeenBefore) {
        Status = r.Status;
        return true;
    }
    if (!FReport.CheckAsyncErrors() || FReport.Stopped())
        return false;
    if (done)
        return FReport.Fail(QStringLiteral("Connection closed while waiting for the result of command %1")
                                .arg(Name(CommandID)));
    return FReport.Fail(
        QStringLiteral("Timeout while waiting for the result of command %1").arg(Name(CommandID)));
}

bool TZelctlDeviceCommands::RunMotion(uint8_t CommandID, const QString& FailurePrefix,
                                      const std::function<TStat(const TAsyncResultEvent&)>& Start,
                                      const std::function<QString()>& Explain) {
    const int seen = FFinals[CommandID].Count;
    const TStat first = Start(FinalHandler());
    if (first == E_SUCCESS) {
        FReport.Set("status", StatusObject(first));
        FReport.Print(QStringLiteral("Command %1 finished: %2.").arg(Name(CommandID), StatText(first)));
        return true;
    }
    if (first != E_CMD_PENDING) {
        FReport.Set("status", StatusObject(first));
        return FReport.Fail(FailurePrefix + StatText(first));
    }
    TStat final = E_SUCCESS;
    if (!WaitForFinal(CommandID, seen, final))
        return false;
    FReport.Set("status", StatusObject(final));
    const QString line = QStringLiteral("Command %1 finished: %2.").arg(Name(CommandID), StatText(final));
    if (final != E_SUCCESS)
        return FReport.Fail(Explain && FSession.Device()->IsConnected() ? line + Explain() : line);
    FReport.Print(line);
    return true;
}

bool TZelctlDeviceCommands::Synchronous(TStat Status, uint8_t CommandID, const QString& FailurePrefix) {
    FReport.Set("status", StatusObject(Status));
    if (!Accepted(Status))
        return FReport.Fail(FailurePrefix + StatText(Status));
    FReport.Print(QStringLiteral("Command %1 finished: %2.").arg(Name(CommandID), StatText(Status)));
    return true;
}

bool TZelctlDeviceCommands::InLimits(const QString& What, const QString& Value, float Low, float High,
                                     const QString& Unit) {
    const TZEL& g = Gripper();
    // Limits are known once the device check has read them.
    if (g.Stroke <= 0 || g.MaxSpeed <= 0)
        return true;
    const float v = Value.toFloat();
    if (v >= Low && v <= High)
        return true;
    return FReport.Fail(
        QStringLiteral("%1 %2 %3 is outside the gripper's range of %4 to %5 %3; nothing was sent")
            .arg(What, Value, Unit, QString::number(Low), QString::number(High)));
}

bool TZelctlDeviceCommands::MotionInLimits(const TZelctlCommand& C, const QString& First) {
    const TZEL& g = Gripper();
    return InLimits(First, C.Args[0], 0, g.Stroke, Mm) &&
           InLimits(QStringLiteral("Speed"), C.Args[1], g.MinSpeed, g.MaxSpeed, MmPerS);
}

bool TZelctlDeviceCommands::Home(const TZelctlCommand& C) {
    TZEL& g = Gripper();
    const auto& a = C.Args;
    uint8_t dir = TZEL::HomeDefault;
    if (!a.isEmpty() && a[0].startsWith(QLatin1String("in")))
        dir = TZEL::HomeInwards;
    else if (!a.isEmpty() && a[0].startsWith(QLatin1String("out")))
        dir = TZEL::HomeOutwards;
    return RunMotion(TZEL::HOMING, QStringLiteral("Error while homing: "),
                     [&](const TAsyncResultEvent& h) { return g.Homing(dir, h); });
}

bool TZelctlDeviceCommands::Move(const TZelctlCommand& C) {
    TZEL& g = Gripper();
    if (!MotionInLimits(C, QStringLiteral("Position")))
        return false;
    return RunMotion(
        TZEL::MOVE, QStringLiteral("Error while starting to move: "),
        [&](const TAsyncResultEvent& h) { return g.Move(C.Args[0].toFloat(), C.Args[1].toFloat(), h); });
}

QString TZelctlDeviceCommands::GraspFailure(const TZelctlCommand& C) {
    TZEL& g = Gripper();
    TByteArray data;
    TStat status = E_SUCCESS;
    if (!g.ExecuteCommand(TZEL::GET_GRASPING_STATE, {}, data, status) || status != E_SUCCESS ||
        data.size() != 1)
        return QString();
    const QString state = GraspingStateText(g.GraspingState);
    FReport.Set("grasping_state", GraspingStateObject(g.GraspingState));
    constexpr uint8_t NoPart = 2;
    if (g.GraspingState == NoPart)
        return QStringLiteral(" The device reports \"%1\": the fingers closed towards %2 mm and found no "
                              "part of that width on their travel.")
            .arg(state, C.Args[0]);
    return QStringLiteral(" The device reports the grasping state \"%1\".").arg(state);
}

bool TZelctlDeviceCommands::Grasp(const TZelctlCommand& C) {
    TZEL& g = Gripper();
    if (!MotionInLimits(C, QStringLiteral("Width")))
        return false;
    // A failed grasp's final result carries no reason: the grasping state the device reports
    // afterwards says what happened.
    return RunMotion(
        TZEL::GRASP, QStringLiteral("Error while starting to grasp: "),
        [&](const TAsyncResultEvent& h) { return g.Grasp(C.Args[0].toFloat(), C.Args[1].toFloat(), h); },
        [&] { return GraspFailure(C); });
}

bool TZelctlDeviceCommands::Release(const TZelctlCommand& C) {
    TZEL& g = Gripper();
    if (!MotionInLimits(C, QStringLiteral("Position")))
        return false;
    return RunMotion(
        TZEL::RELEASE, QStringLiteral("Error while starting to release: "),
        [&](const TAsyncResultEvent& h) { return g.Release(C.Args[0].toFloat(), C.Args[1].toFloat(), h); });
}

bool TZelctlDeviceCommands::Stop(const TZelctlCommand&) {
    return Synchronous(Gripper().Stop(), TZEL::STOP, QStringLiteral("Error while stopping: "));
}

bool TZelctlDeviceCommands::FastStop(const TZelctlCommand&) {
    return Synchronous(Gripper().FastStop(), TZEL::FAST_STOP,
                       QStringLiteral("Error while issuing a fast stop: "));
}

bool TZelctlDeviceCommands::Ack(const TZelctlCommand&) {
    return Synchronous(Gripper().FastStopAck(), TZEL::FAST_STOP_ACK,
                       QStringLiteral("Error while acknowledging the fast stop: "));
}

bool TZelctlDeviceCommands::Info(const TZelctlCommand&) {
    const TKORADevice& d = *FSession.Device();
    const QString type = Text(TKORADevice::DeviceTypeToStr(d.DeviceType));
    const QString serial = QStringLiteral("%1").arg(d.SerialNumber, 8, 10, QLatin1Char('0'));
    QString firmware =
        QStringLiteral("%1.%2.%3").arg(d.FirmwareMajor).arg(d.FirmwareMinor).arg(d.FirmwarePatch);
    FReport.Set("device_type",
                QJsonObject{{QStringLiteral("code"), int(d.DeviceType)}, {QStringLiteral("name"), type}});
    FReport.Set("serial_number", double(uint32_t(d.SerialNumber)));
    FReport.Set("hardware_revision", d.HardwareRevision);
    FReport.Print(QStringLiteral("Device type: ") + type);
    FReport.Print(QStringLiteral("Serial number: ") + serial);
    FReport.Print(QStringLiteral("Hardware rev.: %1").arg(d.HardwareRevision));
    if (d.FirmwareRC != 0) {
        firmware += QStringLiteral("-RC%1").arg(d.FirmwareRC);
        FReport.Print(QStringLiteral("Firmware version: ") + firmware);
    } else {
        FReport.Print(QStringLiteral("Firmware rev.: ") + firmware);
    }
    FReport.Set("firmware", firmware);
    return true;
}

bool TZelctlDeviceCommands::Temperature(const TZelctlCommand&) {
    double t = 0;
    try {
        if (!FSession.Device()->ReadTemperature(t))
            return FReport.Fail(
                QStringLiteral("Error while reading temperature: %1").arg(Refused(*FSession.Device())));
    } catch (const std::exception& e) {
        return FReport.Fail(
            QStringLiteral("Error while reading temperature: %1").arg(QString::fromUtf8(e.what())));
    }
    FReport.Set("temperature", Quantity(std::round(t * 10) / 10, QChar(0xB0) + QStringLiteral("C")));
    FReport.Print(QStringLiteral("Current device temperature is ") + Fixed(t, 1) + QChar(0xB0) +
                  QLatin1Char('C'));
    return true;
}

bool TZelctlDeviceCommands::Tag(const TZelctlCommand& C) {
    TKORADevice& d = *FSession.Device();
    if (C.Args.isEmpty()) {
        QString tag;
        if (!d.GetDeviceTag(tag))
            return FReport.Fail(
                QStringLiteral("Error while reading the device tag: %1").arg(Refused(*FSession.Device())));
        FReport.Set("tag", tag);
        FReport.Print(QStringLiteral("Device tag: \"") + TZelctlReport::Printable(tag) + QLatin1Char('"'));
        return true;
    }
    // Checked when parsed: it fits and every character has its byte.
    const QString tag = C.Args[0];
    if (!d.SetDeviceTag(tag))
        return FReport.Fail(
            QStringLiteral("Error while writing the device tag: %1").arg(Refused(*FSession.Device())));
    FReport.Set("tag", tag);
    FReport.Print(QStringLiteral("Device tag set to \"") + TZelctlReport::Printable(tag) +
                  QStringLiteral("\"."));
    return true;
}

bool TZelctlDeviceCommands::Acceleration(const TZelctlCommand& C) {
    return Value(C, true);
}

bool TZelctlDeviceCommands::ForceLimit(const TZelctlCommand& C) {
    return Value(C, false);
}

bool TZelctlDeviceCommands::Value(const TZelctlCommand& C, bool Acceleration) {
    TZEL& g = Gripper();
    const QString what = Acceleration ? QStringLiteral("acceleration") : QStringLiteral("force limit");
    const char* key = Acceleration ? "acceleration" : "force_limit";
    const QString unit = Acceleration ? MmPerS2 : Newton;
    auto show = [&](float V) { return Fixed(V, Acceleration ? 0 : 1) + QLatin1Char(' ') + unit; };
    if (C.Args.isEmpty()) {
        float v = 0;
        const TStat s = Acceleration ? g.GetAcceleration(v) : g.GetForceLimit(v);
        if (s != E_SUCCESS)
            return FReport.Fail(QStringLiteral("Cannot read %1: %2").arg(what, StatText(s)));
        FReport.Set(key, Quantity(Shortest(v), unit));
        FReport.Print(
            (Acceleration ? QStringLiteral("Acceleration: ") : QStringLiteral("Grasping force limit: ")) +
            show(v));
        return true;
    }
    const bool fits =
        Acceleration
            ? InLimits(QStringLiteral("Acceleration"), C.Args[0], g.MinAcceleration, g.MaxAcceleration, unit)
            : InLimits(QStringLiteral("Force limit"), C.Args[0], g.MinForce, g.NominalForce, unit);
    if (!fits)
        return false;
    const float v = C.Args[0].toFloat();
    const TStat s = Acceleration ? g.SetAcceleration(v) : g.SetForceLimit(v);
    FReport.Set("status", StatusObject(s));
    if (!Accepted(s))
        return FReport.Fail(QStringLiteral("Error while setting %1: %2").arg(what, StatText(s)));
    FReport.Set(key, Quantity(Shortest(v), unit));
    FReport.Print((Acceleration ? QStringLiteral("Acceleration set to ")
                                : QStringLiteral("Grasping force limit set to ")) +
                  show(v) + QLatin1Char('.'));
    return true;
}

bool TZelctlDeviceCommands::Stats(const TZelctlCommand& C) {
    TGraspingStats stats;
    const TStat s = Gripper().GetGraspingStats(stats, !C.Args.isEmpty());
    if (s != E_SUCCESS)
        return FReport.Fail(QStringLiteral("Cannot read grasping statistics: %1").arg(StatText(s)));
    FReport.Set("grasps", double(stats.Grasps));
    FReport.Set("parts_not_found", double(stats.PartsNotFound));
    FReport.Set("parts_lost", double(stats.PartsLost));
    FReport.Print(QStringLiteral("Number of grasps: %1").arg(stats.Grasps));
    FReport.Print(QStringLiteral("Number of not found parts: %1").arg(stats.PartsNotFound));
    FReport.Print(QStringLiteral("Number of parts lost: %1").arg(stats.PartsLost));
    return true;
}

bool TZelctlDeviceCommands::Limits(const TZelctlCommand&) {
    const TZEL& g = Gripper();
    const struct {
        const char* Row;
        const char* Key;
        float Value;
        QString Unit;
    } rows[] = {
        {"Stroke", "stroke", g.Stroke, Mm},
        {"Minimum speed", "min_speed", g.MinSpeed, MmPerS},
        {"Maximum speed", "max_speed", g.MaxSpeed, MmPerS},
        {"Minimum acceleration", "min_acceleration", g.MinAcceleration, MmPerS2},
        {"Maximum acceleration", "max_acceleration", g.MaxAcceleration, MmPerS2},
        {"Minimum force", "min_force", g.MinForce, Newton},
        {"Nominal force", "nominal_force", g.NominalForce, Newton},
        {"Overdrive force", "overdrive_force", g.OverdriveForce, Newton},
    };
    QJsonObject limits;
    for (const auto& r : rows) {
        limits.insert(QLatin1String(r.Key), Quantity(Shortest(r.Value), r.Unit));
        FReport.Print(QLatin1String(r.Row) + QStringLiteral(": ") + Fixed(r.Value, 0) + QLatin1Char(' ') +
                      r.Unit);
    }
    FReport.Set("limits", limits);
    return true;
}

bool TZelctlDeviceCommands::Send(const TZelctlCommand& C) {
    uint8_t id = 0;
    TByteArray payload;
    TPayloadParser::ParseByte(C.Args[0], id);
    if (C.Args.size() > 1)
        TPayloadParser::Parse(C.Args[1], payload);
    TKORADevice& d = *FSession.Device();
    const QString label = QStringLiteral("%1h (%2)").arg(Hex2(id), Name(id));
    FReport.Set("id", int(id));
    FReport.Set("name", Name(id));
    if (!d.IsConnected())
        return FReport.Fail(
            QStringLiteral("Error while sending command %1: %2").arg(label, StatText(E_NOT_OPENED)));
    // As the custom command editor does it, but keeping the response data to print it.
    d.AsyncResults().Unregister(id);
    const int seen = FFinals[id].Count;
    TByteArray data;
    TStat status = E_SUCCESS;
    bool statusOnly = false;
    if (!d.Exchange(id, payload, data, status, statusOnly, FinalHandler()))
        return FReport.Fail(
            QStringLiteral("Error while sending command %1: %2").arg(label, StatText(E_CMD_FAILED)));
    FReport.Set("status", StatusObject(status));
    QString line = QStringLiteral("Response to command ") + label + QStringLiteral(": ") + StatText(status);
    if (!statusOnly) {
        FReport.Set("data", HexBytes(data));
        line += QStringLiteral(", data: ") + HexBytes(data);
    }
    FReport.Print(line);
    if (status != E_CMD_PENDING)
        return true;
    TStat final = E_SUCCESS;
    if (!WaitForFinal(id, seen, final))
        return false;
    FReport.Set("final_status", StatusObject(final));
    const QString result =
        QStringLiteral("Async result from command %1h: %2.").arg(Hex2(id), StatText(final));
    if (final != E_SUCCESS)
        return FReport.Fail(result);
    FReport.Print(result);
    return true;
}

namespace {
using TReport = std::function<void(const QString& Text, const char* Key, const QJsonValue& Value)>;

// Every state report of the gripper goes to Report, in words and as its JSON value.
void ListenToAll(TZelctlReportListeners& Listeners, const TReport& Report) {
    TZEL& g = Listeners.G;
    g.OnSystemStateChange.Add(&Listeners, [&g, Report](TKORADevice*) {
        Report(QStringLiteral("System state: ") + SystemStateText(g.SystemState), "system_state",
               SystemStateObject(g.SystemState));
    });
    g.OnGraspingStateChange.Add(&Listeners, [&g, Report](TKORADevice*) {
        Report(QStringLiteral("Grasping state: ") + GraspingStateText(g.GraspingState), "grasping_state",
               GraspingStateObject(g.GraspingState));
    });
    g.OnPositionChange.Add(&Listeners, [&g, Report](TKORADevice*) {
        Report(QStringLiteral("Position: %1 mm").arg(Fixed(g.Position, 2)), "position",
               Quantity(Shortest(g.Position), Mm));
    });
    g.OnForceChange.Add(&Listeners, [&g, Report](TKORADevice*) {
        Report(QStringLiteral("Force: %1 N").arg(Fixed(g.Force, 1)), "force",
               Quantity(Shortest(g.Force), Newton));
    });
}
} // namespace

bool TZelctlDeviceCommands::Watch(const TZelctlCommand& C) {
    TZEL& g = Gripper();
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
    auto report = [&](const QString& Text, const char* Key, const QJsonValue& Value) {
        ++reports;
        if (FReport.Json())
            FReport.Emit({{QStringLiteral("command"), C.Name},
                          {QStringLiteral("origin"), C.Origin},
                          {QStringLiteral("report"), QLatin1String(Key)},
                          {QLatin1String(Key), Value}});
        else
            FSession.Out() << QStringLiteral("%1 ").arg(clock.elapsed() / 1000.0, 9, 'f', 3) << Text
                           << Qt::endl;
    };
    TZelctlReportListeners listeners{g};
    ListenToAll(listeners, report);

    auto switchAll = [&](bool Enable) {
        const TStat results[] = {g.AutoUpdateSystemState(Enable, statePeriod, !always),
                                 g.AutoUpdateGraspingState(Enable, statePeriod, !always),
                                 g.AutoUpdatePosition(Enable, motionPeriod, !always),
                                 g.AutoUpdateForce(Enable, motionPeriod, !always)};
        for (TStat s : results)
            if (!Accepted(s))
                return s;
        return E_SUCCESS;
    };
    const TStat on = switchAll(true);
    if (on != E_SUCCESS) {
        switchAll(false);
        return FReport.Fail(
            QStringLiteral("Error while switching on automatic updates: %1").arg(StatText(on)));
    }
    const bool closed = FSession.WaitFor([&g] { return !g.IsConnected(); }, durationMs);
    if (closed)
        return FReport.Fail(QStringLiteral("Connection closed while watching"));
    if (!FReport.CheckAsyncErrors() || FReport.Stopped()) {
        switchAll(false);
        return false;
    }
    const TStat off = switchAll(false);
    if (off != E_SUCCESS)
        return FReport.Fail(
            QStringLiteral("Error while switching off automatic updates: %1").arg(StatText(off)));
    FReport.Set("reports", reports);
    FReport.Print(QStringLiteral("Watch ended after %1 s: %2 state reports.")
                      .arg(Fixed(clock.elapsed() / 1000.0, 1))
                      .arg(reports));
    return true;
}

bool TZelctlDeviceCommands::Expect(const TZelctlCommand& C) {
    return FChecks.Expect(C);
}

bool TZelctlDeviceCommands::WaitFor(const TZelctlCommand& C) {
    return FChecks.WaitFor(C);
}

bool TZelctlDeviceCommands::Sleep(const TZelctlCommand& C) {
    const int ms = C.Args[0].toInt();
    TKORADevice* d = FSession.Device();
    FSession.WaitFor([d] { return !d->IsConnected(); }, ms);
    if (!d->IsConnected())
        return FReport.Fail(QStringLiteral("Connection closed while sleeping"));
    if (FReport.Stopped())
        return false;
    FReport.Set("ms", ms);
    return true;
}
