#pragma once
// Runs zelctl's commands on a connected session and prints each result in the console's words.
#include "ZelctlArguments.h"

#include "AsyncResultEventList.h"
#include "Types.h"
#include "stat.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>

class TKORADevice;
class TZelctlSession;
class TZEL;

class TZelctlRunner {
public:
    enum TExit { ExitOk = 0, ExitCommandFailed = 1, ExitUsage = 2, ExitConnectFailed = 3 };

    explicit TZelctlRunner(TZelctlSession& Session) : FSession(Session) {}

    // Creates the CSV log if asked for, connects, runs every command (stopping at the first
    // failure unless --keep-going), disconnects; returns the exit status.
    int Run();
    // One command on the connected device; false after printing why it failed.
    bool Execute(const TZelctlCommand& Command);
    // Text from the device (or for it) as it may go to a terminal: control characters as \xHH,
    // backslashes doubled.
    static QString Printable(const QString& Text);

private:
    struct TFinalResult {
        int Count = 0;
        TStat Status = E_SUCCESS;
    };

    int RunConnected();
    bool Fail(const QString& Message);
    TZEL* NeedGripper(const TZelctlCommand& Command);
    // A motion command: the first answer, then its final result.
    bool RunMotion(uint8_t CommandID, const QString& FailurePrefix,
                   const std::function<TStat(const TAsyncResultEvent&)>& Start);
    bool WaitForFinal(uint8_t CommandID, int SeenBefore, TStat& Status);
    TAsyncResultEvent FinalHandler();
    bool Synchronous(TStat Status, uint8_t CommandID, const QString& FailurePrefix);
    bool CheckAsyncErrors();

    bool Info();
    bool Temperature();
    bool Tag(const TZelctlCommand& Command);
    bool Value(TZEL& Gripper, const TZelctlCommand& Command, bool Acceleration);
    bool Stats(TZEL& Gripper, const TZelctlCommand& Command);
    bool Limits(TZEL& Gripper);
    bool Send(const TZelctlCommand& Command);
    bool Watch(TZEL& Gripper, const TZelctlCommand& Command);

    QString Name(int32_t CommandID) const;
    QString Refused() const;

    TZelctlSession& FSession;
    std::map<int32_t, TFinalResult> FFinals; // per identifier, results delivered so far
};
