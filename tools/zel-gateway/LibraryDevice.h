#pragma once
// A cell device on the device library: TZEL for grippers, TTAQ for sensors. Keeps its link up
// (a growing pause between attempts, at most 10 s) and turns the device's reports into values.
//
// Every call is an asynchronous exchange: many devices are served from one thread and none waits
// for another. A device takes one exchange at a time, so a call waits until its device is free;
// stops go out at once, also while another exchange of the device waits.
#include "protocol/AsyncResultEventList.h"
#include "CellDevice.h"
#include "engine/LinkAddress.h"
#include "protocol/Types.h"

#include <QTimer>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

class TDevice;
class TKORADevice;
class TZEL;
class TTAQ;

// The growing pause between attempts to connect: FirstPause after the first failure, doubled after
// each further one, at most LongestPause; the first again once the link is up.
class TRetryPause {
public:
    static constexpr int FirstPause = 500; // ms before the first retry
    static constexpr int LongestPause = 10000;

    // The pause the next Start waits, in seconds.
    double Seconds() const { return FPause / 1000.0; }
    // Starts Timer for the next attempt; the pause after it is longer.
    void Start(QTimer& Timer) {
        Timer.start(FPause);
        FPause = std::min(FPause * 2, LongestPause);
    }
    void Reset() { FPause = FirstPause; }

private:
    int FPause = FirstPause;
};

class TLibraryDevice : public TCellDevice {
    Q_OBJECT
public:
    static constexpr int ConnectLimit = 5000; // ms from opening the link to serving it
    static constexpr int SilenceLimit = 3000; // ms without a report before the link is taken down

    TLibraryDevice(const QString& Name, const TLinkAddress& Link, int ReportPeriod, QObject* Parent);
    ~TLibraryDevice() override;

    void Start() override;
    bool LinkUp() const override { return FUp; }
    uint32_t Serial() const override;

protected:
    // Switches on the device's reports once connected; Done(false) drops the link.
    virtual void Prepare(std::function<void(bool Ready)> Done) = 0;
    // Once a second while the link is up.
    virtual void Poll() {}
    // Runs Step from a timer pass once no exchange of the process waits; never inline.
    void Later(std::function<void()> Step);
    // One exchange; Done gets the first status (E_TIMEOUT without an answer, E_NOT_OPENED when
    // the link went, E_CMD_FAILED when it could not be sent) and the answer's data.
    using TAnswer = std::function<void(TStat Status, const TByteArray& Data)>;
    void Send(uint8_t CommandID, const TByteArray& Payload, TAnswer Done, TAsyncResultEvent OnPending = {},
              bool Urgent = false);
    // Exchanges one after the other while each succeeds; Done(true) when all did.
    void SendAll(std::vector<std::pair<uint8_t, TByteArray>> Requests, std::function<void(bool Ready)> Done);
    // Wires the device's link notifications; the subclass calls it once it has made the device.
    void Attach(TKORADevice* Device);
    TKORADevice* Library() const { return FDevice; }
    const QString& Name() const { return FName; }
    int ReportPeriod() const { return FReportPeriod; }

private:
    void Attempt();
    void Connected(TDevice* Sender);
    void Serve();
    void Ready(bool Prepared);
    void Failed(const QString& Reason);
    void Lost();
    void Check();

    QString FName;
    TLinkAddress FLink;
    int FReportPeriod;
    TKORADevice* FDevice = nullptr;
    bool FUp = false;
    bool FEverUp = false;
    bool FAttempting = false;
    bool FSilent = false; // the link is taken down for want of reports
    QElapsedTimer FUpSince;
    TRetryPause FPause;
    QTimer FRetry;
    QTimer FLimit;
    QTimer FAttemptCheck; // notices a refused attempt without waiting for the limit
    QTimer FPoll;
};

class TLibraryGripper : public TLibraryDevice {
    Q_OBJECT
public:
    TLibraryGripper(const QString& Name, const TLinkAddress& Link, int ReportPeriod, QObject* Parent);
    void Run(TCellCommand Command, const TCellArguments& Arguments, TOutcome Outcome) override;
    void Stop(bool Fast) override;

protected:
    void Prepare(std::function<void(bool Ready)> Done) override;
    void Poll() override;

private:
    void RunNow(TCellCommand Command, const TCellArguments& Arguments, const TOutcome& Outcome);
    void Motion(uint8_t CommandID, const TByteArray& Payload, const TOutcome& Outcome);
    TZEL* FZel;
    uint32_t FStops = 0; // stops sent so far
};

class TLibrarySensor : public TLibraryDevice {
    Q_OBJECT
public:
    TLibrarySensor(const QString& Name, const TLinkAddress& Link, int ReportPeriod, QObject* Parent);
    void Run(TCellCommand, const TCellArguments&, TOutcome Outcome) override;
    void Stop(bool) override {}

protected:
    void Prepare(std::function<void(bool Ready)> Done) override;

private:
    void Summarise();
    TTAQ* FTaq;
};
