#pragma once
// Runs zelctl's commands on a connected session and prints each result in the console's words, or
// with --json as one JSON object a line.
#include "ZelctlArguments.h"
#include "ZelctlCommands.h"

#include "protocol/AsyncResultEventList.h"
#include "protocol/Types.h"
#include "protocol/stat.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>
#include <QTextStream>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class TKORADevice;
class TZelctlJUnit;
class TZelctlSession;
class TZEL;

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
    // Text from the device (or for it) as it may go to a terminal: control characters as \xHH,
    // backslashes doubled.
    static QString Printable(const QString& Text);
    // The lines --json prints for a wrong command line: the usage error, then the end line every
    // run ends with.
    static QString UsageJson(const QString& Error);
    // Reports a wrong command line (Words without the program name): on standard error, or as JSON
    // with --json; and, with --junit, as a JUnit report with the error as its one failed case.
    // Returns the exit status.
    static int ReportUsage(const QStringList& Words, const TZelctlArguments& Args, const QString& Error,
                           QTextStream& Out, QTextStream& Err);
    // With --json: one object on standard output, with the time since the start.
    void Emit(QJsonObject Object);

    // The handlers of the command table's rows. Gripper rows are called only with a gripper.
    bool Info(const TZelctlCommand& C);
    bool Temperature(const TZelctlCommand& C);
    bool Tag(const TZelctlCommand& C);
    bool Home(const TZelctlCommand& C);
    bool Move(const TZelctlCommand& C);
    bool Grasp(const TZelctlCommand& C);
    bool Release(const TZelctlCommand& C);
    bool Stop(const TZelctlCommand& C);
    bool FastStop(const TZelctlCommand& C);
    bool Ack(const TZelctlCommand& C);
    bool Acceleration(const TZelctlCommand& C);
    bool ForceLimit(const TZelctlCommand& C);
    bool Stats(const TZelctlCommand& C);
    bool Limits(const TZelctlCommand& C);
    bool Send(const TZelctlCommand& C);
    bool Watch(const TZelctlCommand& C);
    bool Expect(const TZelctlCommand& C);
    bool WaitFor(const TZelctlCommand& C);
    bool Sleep(const TZelctlCommand& C);

private:
    struct TFinalResult {
        int Count = 0;
        TStat Status = E_SUCCESS;
    };
    // What the command being run has produced so far.
    struct TRecord {
        QJsonObject Values;
        QStringList Errors;
        bool CommandFailed = false;
        bool CheckFailed = false;
    };

    int RunConnected();
    // Runs Commands[From, To); false when a failure ends the run. Depth 0 makes the JUnit cases.
    bool RunBlock(size_t From, size_t To, int Depth);
    void AddCase(const QString& Name, const QElapsedTimer& Clock, const TRecord& Sum);
    bool Json() const;
    void Print(const QString& Line);
    bool Fail(const QString& Message);
    bool CheckFail(const QString& Message);
    void Set(const char* Key, const QJsonValue& Value) { FRecord.Values.insert(QLatin1String(Key), Value); }
    TZEL& Gripper() const;
    // A motion command: the first answer, then its final result.
    // A failed final result gets Explain's words, when given, after the status.
    bool RunMotion(uint8_t CommandID, const QString& FailurePrefix,
                   const std::function<TStat(const TAsyncResultEvent&)>& Start,
                   const std::function<QString()>& Explain = nullptr);
    bool WaitForFinal(uint8_t CommandID, int SeenBefore, TStat& Status);
    TAsyncResultEvent FinalHandler();
    bool Synchronous(TStat Status, uint8_t CommandID, const QString& FailurePrefix);
    bool CheckAsyncErrors();
    // False once the log failed or the run was interrupted, after failing the command once for it.
    bool CheckStopped();
    bool Stopped() const;
    // Refuses a value outside the system limits before anything is sent.
    bool InLimits(const QString& What, const QString& Value, float Low, float High, const QString& Unit);
    bool MotionInLimits(const TZelctlCommand& C, const QString& First);
    bool Value(const TZelctlCommand& C, bool Acceleration);
    // The present value of what an expectation checks, asked of the device.
    bool Query(const TZelctlExpectation& E, double& Found);
    double Present(const TZelctlExpectation& E) const;
    bool Judge(const TZelctlCommand& C, const TZelctlExpectation& E, double Found, const QString& Failure);

    QString Name(int32_t CommandID) const;
    QString Refused() const;

    TZelctlSession& FSession;
    std::map<int32_t, TFinalResult> FFinals; // per identifier, results delivered so far
    QElapsedTimer FClock;
    TRecord FRecord;
    TRecord FCase;             // everything the current JUnit case has run
    std::vector<size_t> FEnds; // per repeat, the index of its end
    size_t FStoppedAt = 0;
    bool FCommandFailed = false;
    bool FCheckFailed = false;
    bool FLogFailed = false;
    bool FInterruptTold = false;
    std::unique_ptr<TZelctlJUnit> FJUnit;
};
