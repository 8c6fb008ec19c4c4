#pragma once
// A cell device on the device library: TZEL for grippers, TTAQ for sensors. Keeps its link up
// (a growing pause between attempts, at most 10 s) and turns the device's reports into values.
//
// The library's calls wait for their answer in a nested event loop, and a device refuses a second
// wait while one runs (today: while any device of the process waits); every call therefore goes
// out from a fresh timer pass once the device is free. Stops are the exception: they go out at once.
#include "CellDevice.h"
#include "LinkText.h"

#include <QTimer>

#include <functional>

class TDevice;
class TKORADevice;
class TZEL;
class TTAQ;

class TLibraryDevice : public TCellDevice {
    Q_OBJECT
public:
    static constexpr int FirstPause = 500; // ms before the first retry
    static constexpr int LongestPause = 10000;
    static constexpr int ConnectLimit = 5000; // ms from opening the link to serving it
    static constexpr int SilenceLimit = 3000; // ms without a report before the link is taken down

    TLibraryDevice(const QString& Name, const TLinkAddress& Link, int ReportPeriod, QObject* Parent);
    ~TLibraryDevice() override;

    void Start() override;
    bool LinkUp() const override { return FUp; }

protected:
    // Switches on the device's reports once connected; false (or an exception) drops the link.
    virtual bool Prepare() = 0;
    // Once a second while the link is up.
    virtual void Poll() {}
    // Runs Step from a timer pass once no exchange of the process waits; never inline.
    void Later(std::function<void()> Step);
    // Wires the device's link notifications; the subclass calls it once it has made the device.
    void Attach(TKORADevice* Device);
    TKORADevice* Library() const { return FDevice; }
    const QString& Name() const { return FName; }
    int ReportPeriod() const { return FReportPeriod; }

private:
    void Attempt();
    void Connected(TDevice* Sender);
    void Serve();
    void Failed(const QString& Reason);
    QString Plain(const QString& Reason) const;
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
    int FPause = FirstPause;
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
    bool Prepare() override;
    void Poll() override;

private:
    void RunNow(TCellCommand Command, const TCellArguments& Arguments, const TOutcome& Outcome);
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
    bool Prepare() override;

private:
    void Summarise();
    TTAQ* FTaq;
};
