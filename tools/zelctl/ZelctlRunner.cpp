#include "ZelctlRunner.h"

#include "cmdtext/PayloadParser.h"
#include "zel/ZEL.h"
#include "zel/ZEL_commands.h"
#include "ZelctlJUnit.h"
#include "ZelctlSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <csignal>

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
// "rig.txt:4: move 10 50"
QString CaseName(const TZelctlCommand& C) {
    return C.Origin + QStringLiteral(": ") + (QStringList{C.Name} + C.Args).join(QLatin1Char(' '));
}

QString FromView(std::string_view Text) {
    return QString::fromUtf8(Text.data(), qsizetype(Text.size()));
}

QJsonArray SystemStateFlagNames(uint32_t State) {
    QJsonArray flags;
    for (const TSysflagDescr& f : SystemStateFlags)
        if (State & f.Mask)
            flags.append(FromView(f.Text));
    return flags;
}

// The float as the device meant it: 20.1f is 20.1, not 20.100000381.
double Shortest(float Value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, Value).ptr;
    return QByteArray(text, int(end - text)).toDouble();
}

QJsonObject Quantity(double Value, const QString& Unit) {
    return {{QStringLiteral("value"), Value}, {QStringLiteral("unit"), Unit}};
}

QJsonObject StatusObject(TStat Status) {
    return {{QStringLiteral("code"), int(Status)},
            {QStringLiteral("name"), QString::fromStdString(StatName(Status))},
            {QStringLiteral("text"), StatText(Status)}};
}

QJsonObject GraspingStateObject(int State) {
    return {{QStringLiteral("code"), State},
            {QStringLiteral("name"), FromView(GraspingStateNames[State & 7])}};
}

QJsonObject SystemStateObject(uint32_t State) {
    return {{QStringLiteral("value"), double(State)}, {QStringLiteral("flags"), SystemStateFlagNames(State)}};
}

const QString Mm = QStringLiteral("mm");
const QString MmPerS = QStringLiteral("mm/s");
const QString MmPerS2 = QStringLiteral("mm/s") + QChar(0xB2);
const QString Newton = QStringLiteral("N");

// Listeners a command adds to the gripper's reports for its own run, taken out again when the
// scope ends; the other listeners of the gripper are left alone.
struct TReportListeners {
    TZEL& G;
    ~TReportListeners() {
        G.OnSystemStateChange.Remove(this);
        G.OnGraspingStateChange.Remove(this);
        G.OnPositionChange.Remove(this);
        G.OnForceChange.Remove(this);
    }
};
} // namespace

TZelctlRunner::TZelctlRunner(TZelctlSession& Session) : FSession(Session) {
    FClock.start();
    if (Json())
        FSession.SetErrorSink([this](const QString& Message) { FRecord.Errors << Message; });
}

TZelctlRunner::~TZelctlRunner() {
    FSession.SetErrorSink(nullptr);
}

bool TZelctlRunner::Json() const {
    return FSession.Arguments().Json;
}

QString TZelctlRunner::Refused() const {
    // The exchange did not take place: the link is gone, or the packet could not be sent.
    return StatText(FSession.Device()->IsConnected() ? E_CMD_FAILED : E_NOT_OPENED);
}

QString TZelctlRunner::Name(int32_t CommandID) const {
    return Text(FSession.Device()->CommandName(CommandID));
}

QString TZelctlRunner::UsageJson(const QString& Error) {
    const QJsonObject o{{QStringLiteral("event"), QStringLiteral("usage")},
                        {QStringLiteral("ok"), false},
                        {QStringLiteral("error"), Error},
                        {QStringLiteral("exit"), int(ExitUsage)},
                        {QStringLiteral("time"), 0}};
    const QJsonObject end{{QStringLiteral("event"), QStringLiteral("end")},
                          {QStringLiteral("exit"), int(ExitUsage)},
                          {QStringLiteral("error"), Error},
                          {QStringLiteral("time"), 0}};
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + QLatin1Char('\n') +
           QString::fromUtf8(QJsonDocument(end).toJson(QJsonDocument::Compact));
}

int TZelctlRunner::ReportUsage(const QStringList& Words, const TZelctlArguments& Args, const QString& Error,
                               QTextStream& Out, QTextStream& Err) {
    if (Words.contains(QStringLiteral("--json")))
        Out << UsageJson(Error) << Qt::endl;
    else
        Err << "zelctl: " << Error << Qt::endl;
    // The parse may have stopped before --junit: a CI job still gets a report naming the error.
    QString junit = Args.JUnitPath;
    for (qsizetype i = 0; junit.isEmpty() && i < Words.size(); ++i) {
        if (Words[i] == QLatin1String("--junit") && i + 1 < Words.size())
            junit = Words[i + 1];
        else if (Words[i].startsWith(QLatin1String("--junit=")))
            junit = Words[i].mid(8);
    }
    if (!junit.isEmpty()) {
        TZelctlJUnit report(junit);
        QString error;
        if (report.Open(error)) {
            report.Add(QStringLiteral("command line"), 0, TZelctlJUnit::CommandFailed, Error);
            report.Close(0, error);
        }
        if (!error.isEmpty())
            Err << "zelctl: " << error << Qt::endl;
    }
    return ExitUsage;
}

void TZelctlRunner::Emit(QJsonObject Object) {
    Object.insert(QStringLiteral("time"), double(FClock.elapsed()) / 1000.0);
    FSession.Out() << QString::fromUtf8(QJsonDocument(Object).toJson(QJsonDocument::Compact)) << Qt::endl;
}

void TZelctlRunner::Print(const QString& Line) {
    if (!Json())
        FSession.Out() << Line << Qt::endl;
}

bool TZelctlRunner::Fail(const QString& Message) {
    FRecord.CommandFailed = true;
    FRecord.Errors << Message;
    if (!Json())
        FSession.Error(Message);
    return false;
}

bool TZelctlRunner::CheckFail(const QString& Message) {
    FRecord.CheckFailed = true;
    FRecord.Errors << Message;
    if (!Json())
        FSession.Error(Message);
    return false;
}

bool TZelctlRunner::CheckAsyncErrors() {
    const QStringList errors = FSession.TakeErrors();
    for (const QString& e : errors)
        Fail(e);
    return errors.isEmpty();
}

bool TZelctlRunner::Stopped() const {
    return FSession.LogFailed() || FSession.Interrupted() != 0;
}

bool TZelctlRunner::CheckStopped() {
    const QString log = FSession.TakeLogFailure();
    if (!log.isEmpty()) {
        FLogFailed = true;
        Fail(log);
    }
    if (FSession.Interrupted() != 0 && !FInterruptTold) {
        FInterruptTold = true;
        Fail(FSession.Interrupted() == SIGINT ? QStringLiteral("Interrupted (SIGINT)")
             : FSession.Interrupted() == SIGTERM
                 ? QStringLiteral("Terminated (SIGTERM)")
                 : QStringLiteral("Stopped by signal %1").arg(FSession.Interrupted()));
    }
    return !Stopped();
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
    const TZelctlArguments& args = FSession.Arguments();
    auto finish = [&](int Exit) {
        if (Json()) {
            QJsonObject end{{QStringLiteral("event"), QStringLiteral("end")}, {QStringLiteral("exit"), Exit}};
            if (!FRecord.Errors.isEmpty())
                end.insert(QStringLiteral("error"), FRecord.Errors.join(QLatin1Char('\n')));
            Emit(end);
        }
        return Exit;
    };
    FRecord = TRecord();
    if (!args.JUnitPath.isEmpty()) {
        FJUnit = std::make_unique<TZelctlJUnit>(args.JUnitPath);
        QString error;
        if (!FJUnit->Open(error)) {
            FJUnit.reset();
            Fail(error);
            return finish(ExitUsage);
        }
    }
    if (!FSession.OpenLog())
        return finish(ExitUsage);
    int exit = RunConnected();
    FRecord = TRecord();
    // A record that was asked for and is incomplete fails the run.
    if (!FSession.CloseLog() && exit != ExitUsage && exit != ExitConnectFailed)
        exit = ExitLogFailed;
    if (FSession.Interrupted() != 0)
        exit = InterruptedExit(FSession.Interrupted());
    if (FJUnit) {
        QString error;
        if (!FJUnit->Close(double(FClock.elapsed()) / 1000.0, error)) {
            Fail(error);
            if (exit == ExitOk || exit == ExitCheckFailed)
                exit = ExitCommandFailed;
        }
    }
    return finish(exit);
}

int TZelctlRunner::RunConnected() {
    FRecord = TRecord();
    QElapsedTimer connecting;
    connecting.start();
    // What the connect prints also goes into the report.
    if (!Json())
        FSession.SetErrorSink([this](const QString& Message) {
            FRecord.Errors << Message;
            FSession.PrintError(Message);
        });
    const bool connected = FSession.Connect();
    if (!connected)
        CheckStopped();
    if (!Json())
        FSession.SetErrorSink(nullptr);
    const TKORADevice& d = *FSession.Device();
    const QString type = Text(TKORADevice::DeviceTypeToStr(d.DeviceType));
    const QString serial = QStringLiteral("%1").arg(d.SerialNumber, 8, 10, QLatin1Char('0'));
    if (Json()) {
        QJsonObject o{{QStringLiteral("event"), QStringLiteral("connect")},
                      {QStringLiteral("ok"), connected},
                      {QStringLiteral("link"), FSession.Arguments().Link.Description}};
        if (connected) {
            o.insert(QStringLiteral("device_type"), QJsonObject{{QStringLiteral("code"), int(d.DeviceType)},
                                                                {QStringLiteral("name"), type}});
            o.insert(QStringLiteral("serial_number"), double(uint32_t(d.SerialNumber)));
        } else {
            o.insert(QStringLiteral("error"), FRecord.Errors.join(QLatin1Char('\n')));
        }
        Emit(o);
    } else if (connected) {
        Print(QStringLiteral("Connected to %1 (serial number %2) over %3.")
                  .arg(type, serial, FSession.Arguments().Link.Description));
    }
    if (!connected) {
        if (FJUnit)
            FJUnit->Add(QStringLiteral("connect over ") + FSession.Arguments().Link.Description,
                        double(connecting.elapsed()) / 1000.0, TZelctlJUnit::CommandFailed,
                        FRecord.Errors.join(QLatin1Char('\n')));
        FRecord = TRecord();
        return FLogFailed ? ExitLogFailed : ExitConnectFailed;
    }

    const std::vector<TZelctlCommand>& commands = FSession.Arguments().Commands;
    // Blocks were checked when parsed: every repeat has its end.
    FEnds.assign(commands.size(), 0);
    std::vector<size_t> open;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].Name == QLatin1String("repeat"))
            open.push_back(i);
        else if (commands[i].Name == QLatin1String("end") && !open.empty()) {
            FEnds[open.back()] = i;
            open.pop_back();
        }
    }
    FStoppedAt = commands.size();
    // An interrupted run reports what it ran, not what it would have run.
    if (!RunBlock(0, commands.size(), 0) && FJUnit && FSession.Interrupted() == 0) {
        for (size_t i = FStoppedAt + 1; i < commands.size(); ++i) {
            const TZelctlCommand& c = commands[i];
            FJUnit->Add(CaseName(c), 0, TZelctlJUnit::Skipped);
            if (c.Name == QLatin1String("repeat"))
                i = FEnds[i];
        }
    }

    FRecord = TRecord();
    try {
        FSession.Disconnect();
    } catch (const std::exception& e) {
        Fail(QString::fromUtf8(e.what()));
        FCommandFailed = true;
    }
    if (Json() && !FRecord.Errors.isEmpty())
        Emit({{QStringLiteral("event"), QStringLiteral("disconnect")},
              {QStringLiteral("ok"), false},
              {QStringLiteral("error"), FRecord.Errors.join(QLatin1Char('\n'))}});
    FRecord = TRecord();
    // The handlers point at this runner; none may outlive it.
    FSession.Device()->AsyncResults().Clear();
    return FLogFailed       ? ExitLogFailed
           : FCommandFailed ? ExitCommandFailed
           : FCheckFailed   ? ExitCheckFailed
                            : ExitOk;
}

void TZelctlRunner::AddCase(const QString& Name, const QElapsedTimer& Clock, const TRecord& Sum) {
    if (!FJUnit)
        return;
    const auto outcome = Sum.CommandFailed ? TZelctlJUnit::CommandFailed
                         : Sum.CheckFailed ? TZelctlJUnit::CheckFailed
                                           : TZelctlJUnit::Passed;
    FJUnit->Add(Name, double(Clock.elapsed()) / 1000.0, outcome, Sum.Errors.join(QLatin1Char('\n')));
}

bool TZelctlRunner::RunBlock(size_t From, size_t To, int Depth) {
    const std::vector<TZelctlCommand>& commands = FSession.Arguments().Commands;
    const bool keepGoing = FSession.Arguments().KeepGoing;
    for (size_t i = From; i < To; ++i) {
        const TZelctlCommand& c = commands[i];
        QElapsedTimer clock;
        if (Stopped()) {
            FStoppedAt = i - 1;
            return false;
        }
        if (c.Name == QLatin1String("repeat")) {
            const int count = c.Args[0].toInt();
            for (int pass = 1; pass <= count; ++pass) {
                clock.start();
                if (Depth == 0)
                    FCase = TRecord();
                if (Json())
                    Emit({{QStringLiteral("command"), c.Name},
                          {QStringLiteral("origin"), c.Origin},
                          {QStringLiteral("pass"), pass},
                          {QStringLiteral("count"), count},
                          {QStringLiteral("ok"), true}});
                const bool go = RunBlock(i + 1, FEnds[i], Depth + 1);
                if (Depth == 0)
                    AddCase(QStringLiteral("%1: repeat %2, pass %3").arg(c.Origin).arg(count).arg(pass),
                            clock, FCase);
                if (!go) {
                    FStoppedAt = FEnds[i];
                    return false;
                }
            }
            i = FEnds[i];
            continue;
        }
        clock.start();
        if (Depth == 0)
            FCase = TRecord();
        const bool ok = Execute(c);
        if (Depth == 0)
            AddCase(CaseName(c), clock, FCase);
        if (!ok && (!keepGoing || Stopped())) {
            FStoppedAt = i;
            return false;
        }
    }
    return true;
}

bool TZelctlRunner::Execute(const TZelctlCommand& C) {
    FRecord = TRecord();
    const TZelctlCommandRow* row = FindZelctlCommand(C.Name);
    bool ok = false;
    if (CheckAsyncErrors()) {
        try {
            if (row == nullptr || row->Run == nullptr)
                ok = Fail(QStringLiteral("Unknown command '%1'").arg(C.Name));
            else if (row->Kind == TZelctlCommandRow::Gripper && FSession.Gripper() == nullptr)
                ok = Fail(
                    QStringLiteral("'%1' needs a gripper; the connected device is a sensor").arg(C.Name));
            else
                ok = (this->*row->Run)(C);
        } catch (const std::exception& e) {
            ok = Fail(QString::fromUtf8(e.what()));
        }
        // An error raised while the command ran (a report that cannot be decoded, a lost link) fails it.
        ok = CheckAsyncErrors() && ok;
    }
    ok = CheckStopped() && ok;
    if (!ok) {
        // A failed check is told apart only when nothing else went wrong.
        if (!FRecord.CheckFailed)
            FRecord.CommandFailed = true;
        (FRecord.CommandFailed ? FCommandFailed : FCheckFailed) = true;
    }
    FCase.Errors << FRecord.Errors;
    FCase.CommandFailed = FCase.CommandFailed || FRecord.CommandFailed;
    FCase.CheckFailed = FCase.CheckFailed || FRecord.CheckFailed;
    if (Json()) {
        QJsonObject o = FRecord.Values;
        o.insert(QStringLiteral("command"), C.Name);
        o.insert(QStringLiteral("args"), QJsonArray::fromStringList(C.Args));
        o.insert(QStringLiteral("origin"), C.Origin);
        o.insert(QStringLiteral("ok"), ok);
        if (!ok) {
            o.insert(QStringLiteral("error"), FRecord.Errors.join(QLatin1Char('\n')));
            o.insert(QStringLiteral("failure"),
                     FRecord.CommandFailed ? QStringLiteral("command") : QStringLiteral("check"));
        }
        Emit(o);
    }
    return ok;
}

TZEL& TZelctlRunner::Gripper() const {
    return *FSession.Gripper();
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
    if (!CheckAsyncErrors() || Stopped())
        return false;
    if (done)
        return Fail(QStringLiteral("Connection closed while waiting for the result of command %1")
                        .arg(Name(CommandID)));
    return Fail(QStringLiteral("Timeout while waiting for the result of command %1").arg(Name(CommandID)));
}

bool TZelctlRunner::RunMotion(uint8_t CommandID, const QString& FailurePrefix,
                              const std::function<TStat(const TAsyncResultEvent&)>& Start,
                              const std::function<QString()>& Explain) {
    const int seen = FFinals[CommandID].Count;
    const TStat first = Start(FinalHandler());
    if (first == E_SUCCESS) {
        Set("status", StatusObject(first));
        Print(QStringLiteral("Command %1 finished: %2.").arg(Name(CommandID), StatText(first)));
        return true;
    }
    if (first != E_CMD_PENDING) {
        Set("status", StatusObject(first));
        return Fail(FailurePrefix + StatText(first));
    }
    TStat final = E_SUCCESS;
    if (!WaitForFinal(CommandID, seen, final))
        return false;
    Set("status", StatusObject(final));
    const QString line = QStringLiteral("Command %1 finished: %2.").arg(Name(CommandID), StatText(final));
    if (final != E_SUCCESS)
        return Fail(Explain && FSession.Device()->IsConnected() ? line + Explain() : line);
    Print(line);
    return true;
}

bool TZelctlRunner::Synchronous(TStat Status, uint8_t CommandID, const QString& FailurePrefix) {
    Set("status", StatusObject(Status));
    if (!Accepted(Status))
        return Fail(FailurePrefix + StatText(Status));
    Print(QStringLiteral("Command %1 finished: %2.").arg(Name(CommandID), StatText(Status)));
    return true;
}

bool TZelctlRunner::InLimits(const QString& What, const QString& Value, float Low, float High,
                             const QString& Unit) {
    const TZEL& g = Gripper();
    // Limits are known once the device check has read them.
    if (g.Stroke <= 0 || g.MaxSpeed <= 0)
        return true;
    const float v = Value.toFloat();
    if (v >= Low && v <= High)
        return true;
    return Fail(QStringLiteral("%1 %2 %3 is outside the gripper's range of %4 to %5 %3; nothing was sent")
                    .arg(What, Value, Unit, QString::number(Low), QString::number(High)));
}

bool TZelctlRunner::MotionInLimits(const TZelctlCommand& C, const QString& First) {
    const TZEL& g = Gripper();
    return InLimits(First, C.Args[0], 0, g.Stroke, Mm) &&
           InLimits(QStringLiteral("Speed"), C.Args[1], g.MinSpeed, g.MaxSpeed, MmPerS);
}

bool TZelctlRunner::Home(const TZelctlCommand& C) {
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

bool TZelctlRunner::Move(const TZelctlCommand& C) {
    TZEL& g = Gripper();
    if (!MotionInLimits(C, QStringLiteral("Position")))
        return false;
    return RunMotion(
        TZEL::MOVE, QStringLiteral("Error while starting to move: "),
        [&](const TAsyncResultEvent& h) { return g.Move(C.Args[0].toFloat(), C.Args[1].toFloat(), h); });
}

bool TZelctlRunner::Grasp(const TZelctlCommand& C) {
    TZEL& g = Gripper();
    if (!MotionInLimits(C, QStringLiteral("Width")))
        return false;
    // A failed grasp's final result carries no reason: the grasping state the device reports
    // afterwards says what happened.
    const auto explain = [&]() -> QString {
        TByteArray data;
        TStat status = E_SUCCESS;
        if (!g.ExecuteCommand(TZEL::GET_GRASPING_STATE, {}, data, status) || status != E_SUCCESS ||
            data.size() != 1)
            return QString();
        const QString state = FromView(GraspingStateNames[g.GraspingState & 7]);
        Set("grasping_state", GraspingStateObject(g.GraspingState));
        constexpr uint8_t NoPart = 2;
        if (g.GraspingState == NoPart)
            return QStringLiteral(" The device reports \"%1\": the fingers closed towards %2 mm and found no "
                                  "part of that width on their travel.")
                .arg(state, C.Args[0]);
        return QStringLiteral(" The device reports the grasping state \"%1\".").arg(state);
    };
    return RunMotion(
        TZEL::GRASP, QStringLiteral("Error while starting to grasp: "),
        [&](const TAsyncResultEvent& h) { return g.Grasp(C.Args[0].toFloat(), C.Args[1].toFloat(), h); },
        explain);
}

bool TZelctlRunner::Release(const TZelctlCommand& C) {
    TZEL& g = Gripper();
    if (!MotionInLimits(C, QStringLiteral("Position")))
        return false;
    return RunMotion(
        TZEL::RELEASE, QStringLiteral("Error while starting to release: "),
        [&](const TAsyncResultEvent& h) { return g.Release(C.Args[0].toFloat(), C.Args[1].toFloat(), h); });
}

bool TZelctlRunner::Stop(const TZelctlCommand&) {
    return Synchronous(Gripper().Stop(), TZEL::STOP, QStringLiteral("Error while stopping: "));
}

bool TZelctlRunner::FastStop(const TZelctlCommand&) {
    return Synchronous(Gripper().FastStop(), TZEL::FAST_STOP,
                       QStringLiteral("Error while issuing a fast stop: "));
}

bool TZelctlRunner::Ack(const TZelctlCommand&) {
    return Synchronous(Gripper().FastStopAck(), TZEL::FAST_STOP_ACK,
                       QStringLiteral("Error while acknowledging the fast stop: "));
}

bool TZelctlRunner::Info(const TZelctlCommand&) {
    const TKORADevice& d = *FSession.Device();
    const QString type = Text(TKORADevice::DeviceTypeToStr(d.DeviceType));
    const QString serial = QStringLiteral("%1").arg(d.SerialNumber, 8, 10, QLatin1Char('0'));
    QString firmware =
        QStringLiteral("%1.%2.%3").arg(d.FirmwareMajor).arg(d.FirmwareMinor).arg(d.FirmwarePatch);
    Set("device_type",
        QJsonObject{{QStringLiteral("code"), int(d.DeviceType)}, {QStringLiteral("name"), type}});
    Set("serial_number", double(uint32_t(d.SerialNumber)));
    Set("hardware_revision", d.HardwareRevision);
    Print(QStringLiteral("Device type: ") + type);
    Print(QStringLiteral("Serial number: ") + serial);
    Print(QStringLiteral("Hardware rev.: %1").arg(d.HardwareRevision));
    if (d.FirmwareRC != 0) {
        firmware += QStringLiteral("-RC%1").arg(d.FirmwareRC);
        Print(QStringLiteral("Firmware version: ") + firmware);
    } else {
        Print(QStringLiteral("Firmware rev.: ") + firmware);
    }
    Set("firmware", firmware);
    return true;
}

bool TZelctlRunner::Temperature(const TZelctlCommand&) {
    double t = 0;
    try {
        if (!FSession.Device()->ReadTemperature(t))
            return Fail(QStringLiteral("Error while reading temperature: %1").arg(Refused()));
    } catch (const std::exception& e) {
        return Fail(QStringLiteral("Error while reading temperature: %1").arg(QString::fromUtf8(e.what())));
    }
    Set("temperature", Quantity(std::round(t * 10) / 10, QChar(0xB0) + QStringLiteral("C")));
    Print(QStringLiteral("Current device temperature is ") + Fixed(t, 1) + QChar(0xB0) + QLatin1Char('C'));
    return true;
}

bool TZelctlRunner::Tag(const TZelctlCommand& C) {
    TKORADevice& d = *FSession.Device();
    if (C.Args.isEmpty()) {
        QString tag;
        if (!d.GetDeviceTag(tag))
            return Fail(QStringLiteral("Error while reading the device tag: %1").arg(Refused()));
        Set("tag", tag);
        Print(QStringLiteral("Device tag: \"") + Printable(tag) + QLatin1Char('"'));
        return true;
    }
    // Checked when parsed: it fits and every character has its byte.
    const QString tag = C.Args[0];
    if (!d.SetDeviceTag(tag))
        return Fail(QStringLiteral("Error while writing the device tag: %1").arg(Refused()));
    Set("tag", tag);
    Print(QStringLiteral("Device tag set to \"") + Printable(tag) + QStringLiteral("\"."));
    return true;
}

bool TZelctlRunner::Acceleration(const TZelctlCommand& C) {
    return Value(C, true);
}

bool TZelctlRunner::ForceLimit(const TZelctlCommand& C) {
    return Value(C, false);
}

bool TZelctlRunner::Value(const TZelctlCommand& C, bool Acceleration) {
    TZEL& g = Gripper();
    const QString what = Acceleration ? QStringLiteral("acceleration") : QStringLiteral("force limit");
    const char* key = Acceleration ? "acceleration" : "force_limit";
    const QString unit = Acceleration ? MmPerS2 : Newton;
    auto show = [&](float V) { return Fixed(V, Acceleration ? 0 : 1) + QLatin1Char(' ') + unit; };
    if (C.Args.isEmpty()) {
        float v = 0;
        const TStat s = Acceleration ? g.GetAcceleration(v) : g.GetForceLimit(v);
        if (s != E_SUCCESS)
            return Fail(QStringLiteral("Cannot read %1: %2").arg(what, StatText(s)));
        Set(key, Quantity(Shortest(v), unit));
        Print((Acceleration ? QStringLiteral("Acceleration: ") : QStringLiteral("Grasping force limit: ")) +
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
    Set("status", StatusObject(s));
    if (!Accepted(s))
        return Fail(QStringLiteral("Error while setting %1: %2").arg(what, StatText(s)));
    Set(key, Quantity(Shortest(v), unit));
    Print((Acceleration ? QStringLiteral("Acceleration set to ")
                        : QStringLiteral("Grasping force limit set to ")) +
          show(v) + QLatin1Char('.'));
    return true;
}

bool TZelctlRunner::Stats(const TZelctlCommand& C) {
    TGraspingStats stats;
    const TStat s = Gripper().GetGraspingStats(stats, !C.Args.isEmpty());
    if (s != E_SUCCESS)
        return Fail(QStringLiteral("Cannot read grasping statistics: %1").arg(StatText(s)));
    Set("grasps", double(stats.Grasps));
    Set("parts_not_found", double(stats.PartsNotFound));
    Set("parts_lost", double(stats.PartsLost));
    Print(QStringLiteral("Number of grasps: %1").arg(stats.Grasps));
    Print(QStringLiteral("Number of not found parts: %1").arg(stats.PartsNotFound));
    Print(QStringLiteral("Number of parts lost: %1").arg(stats.PartsLost));
    return true;
}

bool TZelctlRunner::Limits(const TZelctlCommand&) {
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
        Print(QLatin1String(r.Row) + QStringLiteral(": ") + Fixed(r.Value, 0) + QLatin1Char(' ') + r.Unit);
    }
    Set("limits", limits);
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
    Set("id", int(id));
    Set("name", Name(id));
    if (!d.IsConnected())
        return Fail(QStringLiteral("Error while sending command %1: %2").arg(label, StatText(E_NOT_OPENED)));
    // As the custom command editor does it, but keeping the response data to print it.
    d.AsyncResults().Unregister(id);
    const int seen = FFinals[id].Count;
    TByteArray data;
    TStat status = E_SUCCESS;
    bool statusOnly = false;
    if (!d.Exchange(id, payload, data, status, statusOnly, FinalHandler()))
        return Fail(QStringLiteral("Error while sending command %1: %2").arg(label, StatText(E_CMD_FAILED)));
    Set("status", StatusObject(status));
    QString line = QStringLiteral("Response to command ") + label + QStringLiteral(": ") + StatText(status);
    if (!statusOnly) {
        Set("data", HexBytes(data));
        line += QStringLiteral(", data: ") + HexBytes(data);
    }
    Print(line);
    if (status != E_CMD_PENDING)
        return true;
    TStat final = E_SUCCESS;
    if (!WaitForFinal(id, seen, final))
        return false;
    Set("final_status", StatusObject(final));
    const QString result =
        QStringLiteral("Async result from command %1h: %2.").arg(Hex2(id), StatText(final));
    if (final != E_SUCCESS)
        return Fail(result);
    Print(result);
    return true;
}

bool TZelctlRunner::Watch(const TZelctlCommand& C) {
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
        if (Json())
            Emit({{QStringLiteral("command"), C.Name},
                  {QStringLiteral("origin"), C.Origin},
                  {QStringLiteral("report"), QLatin1String(Key)},
                  {QLatin1String(Key), Value}});
        else
            FSession.Out() << QStringLiteral("%1 ").arg(clock.elapsed() / 1000.0, 9, 'f', 3) << Text
                           << Qt::endl;
    };
    TReportListeners listeners{g};
    g.OnSystemStateChange.Add(&listeners, [&](TKORADevice*) {
        report(QStringLiteral("System state: ") + SystemStateText(g.SystemState), "system_state",
               SystemStateObject(g.SystemState));
    });
    g.OnGraspingStateChange.Add(&listeners, [&](TKORADevice*) {
        report(QStringLiteral("Grasping state: ") + FromView(GraspingStateNames[g.GraspingState & 7]),
               "grasping_state", GraspingStateObject(g.GraspingState));
    });
    g.OnPositionChange.Add(&listeners, [&](TKORADevice*) {
        report(QStringLiteral("Position: %1 mm").arg(Fixed(g.Position, 2)), "position",
               Quantity(Shortest(g.Position), Mm));
    });
    g.OnForceChange.Add(&listeners, [&](TKORADevice*) {
        report(QStringLiteral("Force: %1 N").arg(Fixed(g.Force, 1)), "force",
               Quantity(Shortest(g.Force), Newton));
    });

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
        return Fail(QStringLiteral("Error while switching on automatic updates: %1").arg(StatText(on)));
    }
    const bool closed = FSession.WaitFor([&g] { return !g.IsConnected(); }, durationMs);
    if (closed)
        return Fail(QStringLiteral("Connection closed while watching"));
    if (!CheckAsyncErrors() || Stopped()) {
        switchAll(false);
        return false;
    }
    const TStat off = switchAll(false);
    if (off != E_SUCCESS)
        return Fail(QStringLiteral("Error while switching off automatic updates: %1").arg(StatText(off)));
    Set("reports", reports);
    Print(QStringLiteral("Watch ended after %1 s: %2 state reports.")
              .arg(Fixed(clock.elapsed() / 1000.0, 1))
              .arg(reports));
    return true;
}

namespace {
uint8_t QueryID(TZelctlExpectation::TQuantity Q) {
    static const uint8_t ids[] = {TZEL::GET_POS, TZEL::GET_FORCE, TZEL::GET_GRASPING_STATE,
                                  TZEL::GET_SYSTEM_STATE};
    return ids[Q];
}

QString Shown(const TZelctlExpectation& E, double Value) {
    switch (E.Quantity) {
    case TZelctlExpectation::Position:
        return Fixed(Value, 2) + QStringLiteral(" mm");
    case TZelctlExpectation::Force:
        return Fixed(Value, 1) + QStringLiteral(" N");
    case TZelctlExpectation::State:
        return FromView(GraspingStateNames[int(Value) & 7]);
    case TZelctlExpectation::Flag:
        break;
    }
    // "Fast stop on": the flag's name is the expectation's text without its last word.
    return E.Text.section(QLatin1Char(' '), 0, -2) +
           ((uint32_t(Value) & E.Mask) ? QStringLiteral(" on") : QStringLiteral(" off")) +
           QStringLiteral(" (system state ") + SystemStateText(uint32_t(Value)) + QLatin1Char(')');
}

QJsonValue Found(const TZelctlExpectation& E, double Value) {
    switch (E.Quantity) {
    case TZelctlExpectation::Position:
        return Quantity(Shortest(float(Value)), Mm);
    case TZelctlExpectation::Force:
        return Quantity(Shortest(float(Value)), Newton);
    case TZelctlExpectation::State:
        return GraspingStateObject(int(Value));
    case TZelctlExpectation::Flag:
        break;
    }
    return SystemStateObject(uint32_t(Value));
}

QJsonObject Expected(const TZelctlExpectation& E) {
    switch (E.Quantity) {
    case TZelctlExpectation::Position:
    case TZelctlExpectation::Force:
        return {{QStringLiteral("low"), E.Low},
                {QStringLiteral("high"), E.High},
                {QStringLiteral("unit"), E.Quantity == TZelctlExpectation::Position ? Mm : Newton}};
    case TZelctlExpectation::State:
        return GraspingStateObject(E.GraspingState);
    case TZelctlExpectation::Flag:
        break;
    }
    return {{QStringLiteral("flag"), E.Text.section(QLatin1Char(' '), 0, -2)}, {QStringLiteral("on"), E.On}};
}
} // namespace

double TZelctlRunner::Present(const TZelctlExpectation& E) const {
    const TZEL& g = Gripper();
    switch (E.Quantity) {
    case TZelctlExpectation::Position:
        return g.Position;
    case TZelctlExpectation::Force:
        return g.Force;
    case TZelctlExpectation::State:
        return g.GraspingState;
    case TZelctlExpectation::Flag:
        break;
    }
    return g.SystemState;
}

bool TZelctlRunner::Query(const TZelctlExpectation& E, double& Value) {
    TZEL& g = Gripper();
    const uint8_t id = QueryID(E.Quantity);
    TByteArray data;
    TStat status = E_SUCCESS;
    // The answer is decoded into the gripper's properties like any report.
    bool done = false;
    try {
        done = g.ExecuteCommand(id, {}, data, status);
    } catch (const std::exception&) {
        // An answer that never came because the link went is told as the link's end.
        if (g.IsConnected())
            throw;
    }
    if (!g.IsConnected())
        return Fail(QStringLiteral("Connection closed while reading the %1").arg(E.QuantityName()));
    if (!done)
        return Fail(QStringLiteral("Error while reading the %1: %2").arg(E.QuantityName(), Refused()));
    const size_t size = E.Quantity == TZelctlExpectation::State ? 1 : 4;
    if (status != E_SUCCESS || data.size() != size)
        return Fail(QStringLiteral("The answer to %1 is not a %2: %3, %4 data bytes")
                        .arg(Name(id), E.QuantityName(), StatText(status))
                        .arg(data.size()));
    Value = Present(E);
    return true;
}

bool TZelctlRunner::Judge(const TZelctlCommand& C, const TZelctlExpectation& E, double Value,
                          const QString& Failure) {
    Set("check", E.QuantityName());
    Set("expected", Expected(E));
    Set("found", Found(E, Value));
    if (E.Holds(Value)) {
        Print(QStringLiteral("Check passed: %1 %2 (expected %3)")
                  .arg(E.QuantityName(), Shown(E, Value), E.Text));
        return true;
    }
    const QString where = C.Origin.isEmpty() ? QString() : C.Origin + QStringLiteral(": ");
    return CheckFail(
        where + Failure +
        QStringLiteral("expected %1 %2, found %3").arg(E.QuantityName(), E.Text, Shown(E, Value)));
}

bool TZelctlRunner::Expect(const TZelctlCommand& C) {
    TZelctlExpectation e;
    QString error;
    if (!TZelctlExpectation::Parse(C.Args, false, e, error))
        return Fail(error);
    double value = 0;
    if (!Query(e, value))
        return false;
    return Judge(C, e, value, QStringLiteral("Check failed: "));
}

bool TZelctlRunner::WaitFor(const TZelctlCommand& C) {
    TZelctlExpectation e;
    QString error;
    if (!TZelctlExpectation::Parse(C.Args, true, e, error))
        return Fail(error);
    TZEL& g = Gripper();
    bool seen = false;
    double value = 0;
    TReportListeners listeners{g};
    const TDeviceNotifyEvent note = [&](TKORADevice*) {
        seen = true;
        value = Present(e);
        FSession.Wake();
    };
    switch (e.Quantity) {
    case TZelctlExpectation::Position:
        g.OnPositionChange.Add(&listeners, note);
        break;
    case TZelctlExpectation::Force:
        g.OnForceChange.Add(&listeners, note);
        break;
    case TZelctlExpectation::State:
        g.OnGraspingStateChange.Add(&listeners, note);
        break;
    case TZelctlExpectation::Flag:
        g.OnSystemStateChange.Add(&listeners, note);
        break;
    }
    const uint8_t id = QueryID(e.Quantity);
    QElapsedTimer clock;
    clock.start();
    // The answer to switching on carries the present value; later reports come with every change.
    const TStat on = g.SetAutoUpdate(id, true, 50, true);
    if (!Accepted(on))
        return Fail(QStringLiteral("Error while switching on automatic updates: %1").arg(StatText(on)));
    FSession.WaitFor([&] { return (seen && e.Holds(value)) || !g.IsConnected(); },
                     int(std::max<qint64>(0, e.TimeoutMs - clock.elapsed())));
    // The answer to switching off carries a value of its own, later than the one that was judged.
    const bool seenInTime = seen;
    const double found = value;
    if (!g.IsConnected())
        return Fail(QStringLiteral("Connection closed while waiting for the %1").arg(e.QuantityName()));
    const QString limit = QString::number(e.TimeoutMs / 1000.0);
    if (!(seenInTime && e.Holds(found)) || Stopped()) {
        // The check ends at its own limit: a device that has stopped answering must not hold it
        // for another response timeout, so the reports are switched off without waiting.
        try {
            g.PostCommand(id, TZEL::AutoUpdatePayload(false, 0, false));
        } catch (const std::exception&) {
            // The link is failing; the check's outcome is what is reported.
        }
        if (!CheckAsyncErrors() || Stopped())
            return false;
        if (!seenInTime)
            return CheckFail(QStringLiteral("%1No report of the %2 within %3 s")
                                 .arg(C.Origin.isEmpty() ? QString() : C.Origin + QStringLiteral(": "),
                                      e.QuantityName(), limit));
        return Judge(C, e, found, QStringLiteral("Not reached within %1 s: ").arg(limit));
    }
    const TStat off = g.SetAutoUpdate(id, false, 0, false);
    if (!CheckAsyncErrors())
        return false;
    if (!Accepted(off))
        return Fail(QStringLiteral("Error while switching off automatic updates: %1").arg(StatText(off)));
    return Judge(C, e, found, QStringLiteral("Not reached within %1 s: ").arg(limit));
}

bool TZelctlRunner::Sleep(const TZelctlCommand& C) {
    const int ms = C.Args[0].toInt();
    TKORADevice* d = FSession.Device();
    FSession.WaitFor([d] { return !d->IsConnected(); }, ms);
    if (!d->IsConnected())
        return Fail(QStringLiteral("Connection closed while sleeping"));
    if (Stopped())
        return false;
    Set("ms", ms);
    return true;
}
