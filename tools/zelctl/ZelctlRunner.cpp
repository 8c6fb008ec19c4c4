#include "ZelctlRunner.h"

#include "device/KORADevice.h"
#include "ZelctlChecks.h"
#include "ZelctlCommands.h"
#include "ZelctlDeviceCommands.h"
#include "ZelctlReports.h"
#include "ZelctlSession.h"

#include <QElapsedTimer>

namespace {
// "rig.txt:4: move 10 50"
QString CaseName(const TZelctlCommand& C) {
    return C.Origin + QStringLiteral(": ") + (QStringList{C.Name} + C.Args).join(QLatin1Char(' '));
}
} // namespace

TZelctlRunner::TZelctlRunner(TZelctlSession& Session)
    : FSession(Session), FReport(std::make_unique<TZelctlReport>(Session)),
      FChecks(std::make_unique<TZelctlChecks>(Session, *FReport)),
      FCommands(std::make_unique<TZelctlDeviceCommands>(Session, *FReport, *FChecks)) {}

TZelctlRunner::~TZelctlRunner() = default;

int TZelctlRunner::ReportUsage(const QStringList& Words, const TZelctlArguments& Args, const QString& Error,
                               QTextStream& Out, QTextStream& Err) {
    TZelctlReport::Usage(Words, Args, Error, ExitUsage, Out, Err);
    return ExitUsage;
}

int TZelctlRunner::Run() {
    FReport->Clear();
    if (!FReport->OpenJUnit() || !FSession.OpenLog())
        return FReport->Finish(ExitUsage);
    int exit = RunConnected();
    FReport->Clear();
    // A record that was asked for and is incomplete fails the run.
    if (!FSession.CloseLog() && exit != ExitUsage && exit != ExitConnectFailed)
        exit = ExitLogFailed;
    if (FSession.Interrupted() != 0)
        exit = InterruptedExit(FSession.Interrupted());
    if (!FReport->CloseJUnit() && (exit == ExitOk || exit == ExitCheckFailed))
        exit = ExitCommandFailed;
    return FReport->Finish(exit);
}

int TZelctlRunner::RunConnected() {
    FReport->Clear();
    QElapsedTimer connecting;
    connecting.start();
    // What the connect prints also goes into the report.
    FReport->RecordErrors(true);
    const bool connected = FSession.Connect();
    if (!connected)
        FReport->CheckStopped();
    FReport->RecordErrors(false);
    FReport->Connected(connected, connecting);
    if (!connected)
        return FReport->LogFailed() ? ExitLogFailed : ExitConnectFailed;

    FindEnds();
    const size_t count = FSession.Arguments().Commands.size();
    FStoppedAt = count;
    // An interrupted run reports what it ran, not what it would have run.
    if (!RunBlock(0, count, 0) && FSession.Interrupted() == 0)
        SkipRest();

    FReport->Clear();
    QString error;
    try {
        FSession.Disconnect();
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    FReport->Disconnected(error);
    FReport->Clear();
    // The handlers point at the device's commands; none may outlive them.
    FSession.Device()->AsyncResults().Clear();
    return Exit();
}

int TZelctlRunner::Exit() const {
    return FReport->LogFailed()       ? ExitLogFailed
           : FReport->CommandFailed() ? ExitCommandFailed
           : FReport->CheckFailed()   ? ExitCheckFailed
                                      : ExitOk;
}

void TZelctlRunner::FindEnds() {
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
}

void TZelctlRunner::SkipRest() {
    const std::vector<TZelctlCommand>& commands = FSession.Arguments().Commands;
    for (size_t i = FStoppedAt + 1; i < commands.size(); ++i) {
        const TZelctlCommand& c = commands[i];
        FReport->Skipped(CaseName(c));
        if (c.Name == QLatin1String("repeat"))
            i = FEnds[i];
    }
}

bool TZelctlRunner::RunRepeat(size_t At, int Depth) {
    const TZelctlCommand& c = FSession.Arguments().Commands[At];
    const int count = c.Args[0].toInt();
    for (int pass = 1; pass <= count; ++pass) {
        QElapsedTimer clock;
        clock.start();
        if (Depth == 0)
            FReport->StartCase();
        FReport->Pass(c, pass, count);
        const bool go = RunBlock(At + 1, FEnds[At], Depth + 1);
        if (Depth == 0)
            FReport->EndCase(QStringLiteral("%1: repeat %2, pass %3").arg(c.Origin).arg(count).arg(pass),
                             clock);
        if (!go) {
            FStoppedAt = FEnds[At];
            return false;
        }
    }
    return true;
}

bool TZelctlRunner::RunBlock(size_t From, size_t To, int Depth) {
    const std::vector<TZelctlCommand>& commands = FSession.Arguments().Commands;
    const bool keepGoing = FSession.Arguments().KeepGoing;
    for (size_t i = From; i < To; ++i) {
        const TZelctlCommand& c = commands[i];
        if (FReport->Stopped()) {
            FStoppedAt = i - 1;
            return false;
        }
        if (c.Name == QLatin1String("repeat")) {
            if (!RunRepeat(i, Depth))
                return false;
            i = FEnds[i];
            continue;
        }
        QElapsedTimer clock;
        clock.start();
        if (Depth == 0)
            FReport->StartCase();
        const bool ok = Execute(c);
        if (Depth == 0)
            FReport->EndCase(CaseName(c), clock);
        if (!ok && (!keepGoing || FReport->Stopped())) {
            FStoppedAt = i;
            return false;
        }
    }
    return true;
}

bool TZelctlRunner::Execute(const TZelctlCommand& C) {
    FReport->Clear();
    const TZelctlCommandRow* row = FindZelctlCommand(C.Name);
    bool ok = false;
    if (FReport->CheckAsyncErrors()) {
        try {
            if (row == nullptr || row->Run == nullptr)
                ok = FReport->Fail(QStringLiteral("Unknown command '%1'").arg(C.Name));
            else if (row->Kind == TZelctlCommandRow::Gripper && FSession.Gripper() == nullptr)
                ok = FReport->Fail(
                    QStringLiteral("'%1' needs a gripper; the connected device is a sensor").arg(C.Name));
            else
                ok = ((*FCommands).*row->Run)(C);
        } catch (const std::exception& e) {
            ok = FReport->Fail(QString::fromUtf8(e.what()));
        }
        // An error raised while the command ran (a report that cannot be decoded, a lost link) fails it.
        ok = FReport->CheckAsyncErrors() && ok;
    }
    ok = FReport->CheckStopped() && ok;
    return FReport->Done(C, ok);
}
