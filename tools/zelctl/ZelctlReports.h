#pragma once
// What zelctl tells of a run: the text lines, the JSON lines of --json and the JUnit report of
// --junit, with the record of the command being run and of the JUnit case it belongs to.
#include "ZelctlArguments.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <memory>

class TZelctlJUnit;
class TZelctlSession;

class TZelctlReport {
public:
    explicit TZelctlReport(TZelctlSession& Session);
    ~TZelctlReport();

    // Text from the device (or for it) as it may go to a terminal: control characters as \xHH,
    // backslashes doubled.
    static QString Printable(const QString& Text);
    // The lines --json prints for a wrong command line: the usage error, then the end line every
    // run ends with.
    static QString UsageJson(const QString& Error, int Exit);
    // A wrong command line (Words without the program name): on standard error, or as JSON with
    // --json; and, with --junit, as a JUnit report with the error as its one failed case.
    static void Usage(const QStringList& Words, const TZelctlArguments& Args, const QString& Error, int Exit,
                      QTextStream& Out, QTextStream& Err);

    bool Json() const;
    // A line of text output (nothing with --json).
    void Print(const QString& Line);
    // With --json: one object on standard output, with the time since the start.
    void Emit(QJsonObject Object);
    // A value of the command's JSON line.
    void Set(const char* Key, const QJsonValue& Value) { FRecord.Values.insert(QLatin1String(Key), Value); }
    // The command failed (or its check did); false.
    bool Fail(const QString& Message);
    bool CheckFail(const QString& Message);
    // Fails the command for every error reported since; true when there was none.
    bool CheckAsyncErrors();
    // False once the log failed or the run was interrupted, after failing the command once for it.
    bool CheckStopped();
    bool Stopped() const;

    // A new command: nothing recorded yet.
    void Clear();
    // Its errors, one a line.
    QString Errors() const { return FRecord.Errors.join(QLatin1Char('\n')); }
    // While connecting in text mode: the session's errors are printed and recorded.
    void RecordErrors(bool On);
    // Sums the command up into its case and, with --json, prints its line; returns Ok.
    bool Done(const TZelctlCommand& C, bool Ok);
    // With --json, the line starting a pass of a repeat block.
    void Pass(const TZelctlCommand& C, int Pass, int Count);
    void Connected(bool Ok, const QElapsedTimer& Connecting);
    // Error: why the disconnect failed (empty: it did not).
    void Disconnected(const QString& Error);
    // Exit as the run ends: with --json, the end line.
    int Finish(int Exit);

    // The --junit report: false after failing when it cannot be made.
    bool OpenJUnit();
    // False after failing when it could not be written whole.
    bool CloseJUnit();
    // A JUnit case starts with the command (or pass) run at the top level.
    void StartCase() { FCase = TRecord(); }
    void EndCase(const QString& Name, const QElapsedTimer& Clock);
    void Skipped(const QString& Name);

    bool LogFailed() const { return FLogFailed; }
    bool CommandFailed() const { return FCommandFailed; }
    bool CheckFailed() const { return FCheckFailed; }

private:
    // What the command being run (or the case) has produced so far.
    struct TRecord {
        QJsonObject Values;
        QStringList Errors;
        bool CommandFailed = false;
        bool CheckFailed = false;
    };

    TZelctlSession& FSession;
    QElapsedTimer FClock;
    TRecord FRecord;
    TRecord FCase; // everything the current JUnit case has run
    std::unique_ptr<TZelctlJUnit> FJUnit;
    bool FCommandFailed = false;
    bool FCheckFailed = false;
    bool FLogFailed = false;
    bool FInterruptTold = false;
};
