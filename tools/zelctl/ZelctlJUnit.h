#pragma once
// The JUnit XML report of --junit: one test case per command or per pass of a repeat block, as CI
// systems show them.
#include <QFile>
#include <QString>

#include <vector>

class TZelctlJUnit {
public:
    enum TOutcome { Passed, CheckFailed, CommandFailed, Skipped };

    explicit TZelctlJUnit(const QString& Path) : FFile(Path) {}
    // Creates the file, so that a report that cannot be written stops the run before it starts.
    bool Open(QString& Error);
    void Add(const QString& Name, double Seconds, TOutcome Outcome, const QString& Message = QString());
    // Writes the cases; false with Error set when the file could not be written whole.
    bool Close(double Seconds, QString& Error);

private:
    struct TCase {
        QString Name;
        double Seconds;
        TOutcome Outcome;
        QString Message;
    };
    QFile FFile;
    std::vector<TCase> FCases;
};
