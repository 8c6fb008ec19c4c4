#pragma once
// The JUnit XML report of --junit: one test case per command or per pass of a repeat block, as CI
// systems show them.
#include <QSaveFile>
#include <QString>

#include <vector>

class TZelctlJUnit {
public:
    enum TOutcome { Passed, CheckFailed, CommandFailed, Skipped };

    explicit TZelctlJUnit(const QString& Path) : FFile(Path) {
        // Where no file can be made beside the report (/dev/stdout), it is written in place.
        FFile.setDirectWriteFallback(true);
    }
    // Creates the report's temporary file beside it, so that a report that cannot be written stops
    // the run before it starts; an earlier report at the path stays until the new one is whole.
    bool Open(QString& Error);
    void Add(const QString& Name, double Seconds, TOutcome Outcome, const QString& Message = QString());
    // Writes the cases and puts the report in place; false with Error set when it could not be
    // written whole (the path then keeps what it held).
    bool Close(double Seconds, QString& Error);

private:
    struct TCase {
        QString Name;
        double Seconds;
        TOutcome Outcome;
        QString Message;
    };
    QSaveFile FFile;
    std::vector<TCase> FCases;
};
