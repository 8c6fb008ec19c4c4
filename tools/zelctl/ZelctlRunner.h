#pragma once
// Runs zelctl's commands on a connected session and prints each result in the console's words, or
// with --json as one JSON object a line. The run composes the session, its report, the device's
// commands and the checks.
#include "ZelctlArguments.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstddef>
#include <memory>
#include <vector>

class TZelctlChecks;
class TZelctlDeviceCommands;
class TZelctlReport;
class TZelctlSession;

class TZelctlRunner {
public:
    enum TExit {
        ExitOk = 0,
        ExitCommandFailed = 1,
        ExitUsage = 2,
        ExitConnectFailed = 3,
        ExitCheckFailed = 4,
        ExitLogFailed = 5 // the --log-csv file could not be written on (disk full)
    };
    // Ctrl+C and SIGTERM end the run with 128 + the signal's number, as shells report it.
    static int InterruptedExit(int Signal) { return 128 + Signal; }

    explicit TZelctlRunner(TZelctlSession& Session);
    ~TZelctlRunner();

    // Creates the CSV log and the JUnit report if asked for, connects, runs every command
    // (stopping at the first failure unless --keep-going), disconnects; returns the exit status.
    int Run();
    // One command on the connected device; false after printing why it failed.
    bool Execute(const TZelctlCommand& Command);
    // Reports a wrong command line (Words without the program name): on standard error, or as JSON
    // with --json; and, with --junit, as a JUnit report with the error as its one failed case.
    // Returns the exit status.
    static int ReportUsage(const QStringList& Words, const TZelctlArguments& Args, const QString& Error,
                           QTextStream& Out, QTextStream& Err);

private:
    int RunConnected();
    // Runs Commands[From, To); false when a failure ends the run. Depth 0 makes the JUnit cases.
    bool RunBlock(size_t From, size_t To, int Depth);
    bool RunRepeat(size_t At, int Depth);
    // Where each repeat block ends.
    void FindEnds();
    // The JUnit cases of the commands a failure left unrun.
    void SkipRest();
    int Exit() const;

    TZelctlSession& FSession;
    std::unique_ptr<TZelctlReport> FReport;
    std::unique_ptr<TZelctlChecks> FChecks;
    std::unique_ptr<TZelctlDeviceCommands> FCommands;
    std::vector<size_t> FEnds; // per repeat, the index of its end
    size_t FStoppedAt = 0;
};
