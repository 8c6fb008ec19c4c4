#pragma once
// One connection of zelctl: the device, its link opened from the arguments without any dialog,
// the connect sequence of the console, and bounded waiting in the event loop. Errors that reach
// the application-wide handler while the session lives are collected here.
#include "platform/MessageSeam.h"
#include "ZelctlArguments.h"

#include <QObject>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>

class QEventLoop;
class TKORADevice;
class TTrafficCsv;
class TTrafficPrinter;
class TTrafficTee;
class TZEL;

class TZelctlSession : public QObject {
    Q_OBJECT
public:
    TZelctlSession(const TZelctlArguments& Args, QTextStream& Out, QTextStream& Err,
                   QObject* Parent = nullptr);
    ~TZelctlSession() override;

    // Creates the --log-csv file (true when none was asked for); prints why it cannot.
    bool OpenLog();
    // Closes it; false when any row could not be written, after printing why unless
    // TakeLogFailure() already handed it on.
    bool CloseLog();
    // Why the log stopped, once (empty: it did not, or it was taken before). A failed row wakes
    // any wait at once, so the run can end when it happens, not at its end.
    QString TakeLogFailure();
    bool LogFailed() const;

    // Ctrl+C or SIGTERM arrived: every wait ends at once and the run stops. 0: none.
    void Interrupt(int Signal);
    int Interrupted() const { return FInterrupted; }
    // Opens the link and waits for the device to be accepted; prints why when it is not, naming
    // the step of the connect sequence that got no answer.
    bool Connect();
    // Announces the disconnect and closes the link (nothing when not connected).
    void Disconnect();

    TKORADevice* Device() const { return FDevice; }
    TZEL* Gripper() const;
    bool Connected() const { return FConnected; }

    // Runs the event loop until Done holds, TimeoutMs passed, an error was reported or the
    // link closed. True when Done held.
    bool WaitFor(const std::function<bool()>& Done, int TimeoutMs);
    void Wake();
    // Errors reported to the application-wide handler since the last call.
    QStringList TakeErrors();

    QTextStream& Out() { return FOut; }
    QTextStream& Err() { return FErr; }
    // One message on standard error, marked as zelctl's; to the sink instead when one is set.
    void Error(const QString& Message);
    // The same, always on standard error.
    void PrintError(const QString& Message);
    void SetErrorSink(std::function<void(const QString&)> Sink) { FErrorSink = std::move(Sink); }
    const TZelctlArguments& Arguments() const { return FArgs; }

private:
    const TZelctlArguments& FArgs;
    QTextStream& FOut;
    QTextStream& FErr;
    TKORADevice* FDevice = nullptr;
    std::unique_ptr<TTrafficPrinter> FPrinter;
    std::unique_ptr<TTrafficCsv> FCsv;
    std::unique_ptr<TTrafficTee> FTraffic;
    QEventLoop* FLoop = nullptr;
    QStringList FErrors;
    bool FConnected = false;
    bool FLogFailureTaken = false;
    int FInterrupted = 0;
    bool FConnectSequenceDone = false;
    std::function<void(const QString&)> FErrorSink;
    std::function<void(std::exception_ptr)> FPreviousHandler;
    TMessageHook FPreviousHook;
};
