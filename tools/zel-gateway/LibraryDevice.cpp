#include "LibraryDevice.h"

#include "engine/CommandComponent.h"
#include "platform/ErrorGuard.h"
#include "GatewayLog.h"
#include "taq/TAQ.h"
#include "protocol/convert.h"
#include "zel/ZEL.h"

#include <algorithm>
#include <cmath>

namespace {

// The library reports a failure status of a first answer as an exception whose text ends in the
// status's message; the controller needs the code.
TStat FailureStatus(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const EResponseTimeout&) {
        return E_TIMEOUT;
    } catch (const EDuruzadUdror& e) {
        const std::string text = e.what();
        for (int code = E_SUCCESS + 1; code < E_HIGHEST_ERRORCODE; ++code) {
            const std::string message = ": " + StatToStr(code);
            if (text.size() >= message.size() &&
                text.compare(text.size() - message.size(), message.size(), message) == 0)
                return TStat(code);
        }
        return E_CMD_FAILED;
    } catch (...) {
        return E_CMD_FAILED;
    }
}

// The transport names the address in its reasons; the log line names it once.
QString Plain(const TLinkAddress& Link, const QString& Reason) {
    const QString address = QStringLiteral("%1:%2: ").arg(Link.Tcp.Host).arg(Link.Tcp.Port);
    return Reason.startsWith(address) ? Reason.mid(address.size()) : Reason;
}

} // namespace

TLibraryDevice::TLibraryDevice(const QString& Name, const TLinkAddress& Link, int ReportPeriod,
                               QObject* Parent)
    : TCellDevice(Parent), FName(Name), FLink(Link), FReportPeriod(ReportPeriod) {
    FRetry.setSingleShot(true);
    FLimit.setSingleShot(true);
    connect(&FRetry, &QTimer::timeout, this, Guarded(this, &TLibraryDevice::Attempt));
    connect(&FLimit, &QTimer::timeout, this, [this] {
        RunGuarded([this] {
            FDevice->Command()->Disconnect();
            Failed(QStringLiteral("no working link within %1 s").arg(ConnectLimit / 1000));
        });
    });
    connect(&FPoll, &QTimer::timeout, this, Guarded(this, &TLibraryDevice::Check));
    connect(&FAttemptCheck, &QTimer::timeout, this, [this] {
        RunGuarded([this] {
            // The transport has given the attempt up and said why.
            const QString why = FDevice->LinkError();
            if (FAttempting && !FDevice->IsConnected() && !why.isEmpty())
                Failed(why);
        });
    });
}

TLibraryDevice::~TLibraryDevice() {
    if (FDevice == nullptr)
        return;
    FDevice->OnConnect = nullptr;
    FDevice->OnDisconnect = nullptr;
    FDevice->OnConnectFailed = nullptr;
    FDevice->Command()->SetOnConnected(nullptr);
}

void TLibraryDevice::Attach(TKORADevice* Device) {
    FDevice = Device;
    // The device's connect sequence waits on exchanges: it starts once no other wait runs.
    FDevice->Command()->SetOnConnected(
        [this](TDevice* Sender) { Later([this, Sender] { Connected(Sender); }); });
    FDevice->OnConnect = [this](TKORADevice*) { Later([this] { Serve(); }); };
    FDevice->OnConnectFailed = [this](TKORADevice* D) {
        Failed(QString::fromStdString(D->ConnectFailure()));
    };
    FDevice->OnDisconnect = [this](TKORADevice*) { Lost(); };
}

void TLibraryDevice::Later(std::function<void()> Step) {
    QTimer::singleShot(FDevice->Busy() ? 1 : 0, this, [this, Step = std::move(Step)]() mutable {
        if (FDevice->Busy())
            Later(std::move(Step));
        else
            RunGuarded(Step);
    });
}

uint32_t TLibraryDevice::Serial() const {
    return FEverUp ? uint32_t(FDevice->SerialNumber) : 0;
}

void TLibraryDevice::Start() {
    Attempt();
}

void TLibraryDevice::Attempt() {
    FAttempting = true;
    FLimit.start(ConnectLimit);
    FAttemptCheck.start(100);
    if (FDevice->ConnectLink(FLink) != E_SUCCESS)
        Failed(FDevice->LinkError());
}

void TLibraryDevice::Connected(TDevice* Sender) {
    if (!FAttempting || !FDevice->IsConnected())
        return;
    FDevice->DoConnected(Sender);
}

void TLibraryDevice::Serve() {
    if (!FAttempting || !FDevice->IsConnected())
        return;
    Prepare([this](bool Prepared) { Ready(Prepared); });
}

void TLibraryDevice::Ready(bool Prepared) {
    if (!FAttempting || !FDevice->IsConnected())
        return;
    if (!Prepared) {
        FDevice->Command()->Disconnect();
        Failed(QStringLiteral("its reports could not be switched on"));
        return;
    }
    FAttempting = false;
    FLimit.stop();
    FAttemptCheck.stop();
    FUp = true;
    FUpSince.start();
    FPause.Reset();
    qCInfo(lcGateway).noquote() << QStringLiteral("%1: %2 %3")
                                       .arg(FName,
                                            FEverUp ? QStringLiteral("reconnected to")
                                                    : QStringLiteral("connected to"),
                                            FLink.Text());
    FEverUp = true;
    FPoll.start(1000);
    emit LinkChanged(true);
}

void TLibraryDevice::Send(uint8_t CommandID, const TByteArray& Payload, TAnswer Done,
                          TAsyncResultEvent OnPending, bool Urgent) {
    QElapsedTimer took;
    took.start();
    auto answered = [this, Done, took](TKORADevice*, const TExchangeResult& Result) {
        TStat status = Result.Status;
        if (Result.Kind == TExchangeResult::TKind::Failed)
            status = FailureStatus(Result.Error);
        else if (Result.Kind == TExchangeResult::TKind::Timeout)
            status = E_TIMEOUT;
        else if (Result.Kind == TExchangeResult::TKind::LinkLost)
            status = E_NOT_OPENED;
        emit Exchanged(status, double(took.nsecsElapsed()) / 1e9);
        Done(status, Result.Data);
    };
    bool started = false;
    try {
        started = FDevice->StartExchange(CommandID, Payload, answered, OnPending, Urgent);
    } catch (...) {
        HandleException(std::current_exception());
    }
    if (!started) {
        emit Exchanged(E_CMD_FAILED, 0);
        Done(FDevice->IsConnected() ? E_CMD_FAILED : E_NOT_OPENED, {});
    }
}

void TLibraryDevice::SendAll(std::vector<std::pair<uint8_t, TByteArray>> Requests,
                             std::function<void(bool)> Done) {
    if (Requests.empty()) {
        Done(true);
        return;
    }
    // Named copies, not structured bindings: clang before 16 cannot capture those.
    const auto id = Requests.front().first;
    const auto payload = Requests.front().second;
    Requests.erase(Requests.begin());
    Later([this, id, payload, Requests = std::move(Requests), Done = std::move(Done)]() mutable {
        Send(id, payload,
             [this, Requests = std::move(Requests), Done = std::move(Done)](TStat Status,
                                                                            const TByteArray&) mutable {
                 if (Status != E_SUCCESS)
                     Done(false);
                 else
                     SendAll(std::move(Requests), std::move(Done));
             });
    });
}

void TLibraryDevice::Failed(const QString& Reason) {
    if (!FAttempting)
        return;
    const QString why = Plain(FLink, Reason);
    FAttempting = false;
    FLimit.stop();
    FAttemptCheck.stop();
    qCWarning(lcGateway).noquote() << QStringLiteral("%1: cannot connect to %2: %3; next try in %4 s")
                                          .arg(FName, FLink.Text(), why)
                                          .arg(FPause.Seconds());
    FPause.Start(FRetry);
}

void TLibraryDevice::Lost() {
    if (FAttempting) {
        // A failed connect sequence closes the link before it says why; its reason comes first.
        QTimer::singleShot(0, this, [this] {
            RunGuarded([this] { Failed(QStringLiteral("the link closed during the connect sequence")); });
        });
        return;
    }
    if (!FUp)
        return;
    FUp = false;
    FPoll.stop();
    const QString reason = FSilent ? QStringLiteral("no report for %1 s").arg(SilenceLimit / 1000)
                                   : Plain(FLink, FDevice->LinkError());
    FSilent = false;
    qCWarning(lcGateway).noquote() << QStringLiteral("%1: lost the link to %2%3; next try in %4 s")
                                          .arg(FName, FLink.Text())
                                          .arg(reason.isEmpty()
                                                   ? QString()
                                                   : QStringLiteral(" (") + reason + QLatin1Char(')'))
                                          .arg(FPause.Seconds());
    emit LinkChanged(false);
    FPause.Start(FRetry);
}

void TLibraryDevice::Check() {
    if (!FUp)
        return;
    if (!FDevice->IsConnected()) {
        Lost();
        return;
    }
    // A device that hangs keeps its socket open but stops reporting: take the link down and
    // build it up again.
    const qint64 age = ValuesAge();
    if ((age < 0 && FUpSince.elapsed() > SilenceLimit) || age > SilenceLimit) {
        FSilent = true;
        FDevice->Command()->Disconnect();
        Lost(); // in case closing did not report it
        return;
    }
    Later([this] {
        if (FUp)
            Poll();
    });
}

// Gripper

TLibraryGripper::TLibraryGripper(const QString& Name, const TLinkAddress& Link, int ReportPeriod,
                                 QObject* Parent)
    : TLibraryDevice(Name, Link, ReportPeriod, Parent), FZel(new TZEL(this)) {
    Attach(FZel);
    FZel->OnSystemStateChange = [this](TKORADevice*) {
        FValues.SystemState = FZel->SystemState;
        NoteReport();
    };
    FZel->OnGraspingStateChange = [this](TKORADevice*) {
        FValues.GraspingState = FZel->GraspingState;
        NoteReport();
    };
    FZel->OnPositionChange = [this](TKORADevice*) {
        FValues.Position = FZel->Position;
        NoteReport();
    };
    FZel->OnForceChange = [this](TKORADevice*) {
        FValues.Force = FZel->Force;
        NoteReport();
    };
}

void TLibraryGripper::Prepare(std::function<void(bool)> Done) {
    // Every report on its period, not only on change: an old value then shows as stale.
    const auto period = uint16_t(ReportPeriod());
    SendAll({{TZEL::GET_SYSTEM_STATE, TZEL::AutoUpdatePayload(true, period, false)},
             {TZEL::GET_GRASPING_STATE, TZEL::AutoUpdatePayload(true, period, false)},
             {TZEL::GET_POS, TZEL::AutoUpdatePayload(true, period, false)},
             {TZEL::GET_FORCE, TZEL::AutoUpdatePayload(true, period, false)}},
            [this, Done = std::move(Done)](bool Ready) {
                if (Ready)
                    Poll();
                Done(Ready);
            });
}

void TLibraryGripper::Poll() {
    Send(CMD_ID_GET_TEMPERATURE, {}, [this](TStat Status, const TByteArray& Data) {
        if (Status == E_SUCCESS && Data.size() >= 2)
            FValues.Temperature = float(BytesToSmallInt(Data[0], Data[1]) / 10.0);
    });
}

void TLibraryGripper::Run(TCellCommand Command, const TCellArguments& Arguments, TOutcome Outcome) {
    // A stop that overtakes a command still waiting for its turn ends that command unsent.
    Later([this, Command, Arguments, Outcome = std::move(Outcome), stops = FStops] {
        if (stops != FStops)
            Outcome(E_CMD_ABORTED, true);
        else
            RunNow(Command, Arguments, Outcome);
    });
}

void TLibraryGripper::RunNow(TCellCommand Command, const TCellArguments& A, const TOutcome& Outcome) {
    if (!LinkUp()) {
        Outcome(E_NOT_OPENED, true);
        return;
    }
    switch (Command) {
    case TCellCommand::Move:
        Motion(TZEL::MOVE, TZEL::MovePayload(A.Position, A.Speed), Outcome);
        break;
    case TCellCommand::Grasp:
        if (A.Force <= 0) {
            Motion(TZEL::GRASP, TZEL::TwoFloatPayload(A.Position, A.Speed), Outcome);
            break;
        }
        Send(TZEL::SET_FORCE_LIMIT, TZEL::FloatPayload(A.Force),
             [this, A, Outcome, stops = FStops](TStat Status, const TByteArray&) {
                 if (Status != E_SUCCESS)
                     Outcome(Status, true);
                 else
                     Later([this, A, Outcome, stops] {
                         if (stops != FStops)
                             Outcome(E_CMD_ABORTED, true);
                         else
                             Motion(TZEL::GRASP, TZEL::TwoFloatPayload(A.Position, A.Speed), Outcome);
                     });
             });
        break;
    case TCellCommand::Release:
        Motion(TZEL::RELEASE, TZEL::TwoFloatPayload(A.Position, A.Speed), Outcome);
        break;
    case TCellCommand::Homing:
        Motion(TZEL::HOMING, {A.HomingDirection}, Outcome);
        break;
    case TCellCommand::FastStopAck:
        Send(TZEL::FAST_STOP_ACK, TZEL::FastStopAckPayload,
             [Outcome](TStat Status, const TByteArray&) { Outcome(Status, true); });
        break;
    }
}

// A motion answers pending at once and sends its final result when it ends.
void TLibraryGripper::Motion(uint8_t CommandID, const TByteArray& Payload, const TOutcome& Outcome) {
    auto final = [Outcome](TKORADevice*, int32_t, TStat Status, const TByteArray&) { Outcome(Status, true); };
    Send(
        CommandID, Payload,
        [Outcome](TStat Status, const TByteArray&) { Outcome(Status, Status != E_CMD_PENDING); }, final);
}

void TLibraryGripper::Stop(bool Fast) {
    // Never held back: urgent, also while another exchange of the device waits.
    ++FStops;
    const uint8_t id = Fast ? TZEL::FAST_STOP : TZEL::STOP;
    Send(
        id, {},
        [this, Fast](TStat Status, const TByteArray&) {
            if (Status != E_SUCCESS)
                qCWarning(lcGateway).noquote()
                    << QStringLiteral("%1: %2 answered %3")
                           .arg(Name(), Fast ? QStringLiteral("fast stop") : QStringLiteral("stop"),
                                QString::fromStdString(StatToStr(Status)));
        },
        {}, true);
}

// Sensor

TLibrarySensor::TLibrarySensor(const QString& Name, const TLinkAddress& Link, int ReportPeriod,
                               QObject* Parent)
    : TLibraryDevice(Name, Link, ReportPeriod, Parent), FTaq(new TTAQ(this)) {
    Attach(FTaq);
    FTaq->OnFrame = [this](TKORADevice*) { Summarise(); };
}

void TLibrarySensor::Prepare(std::function<void(bool)> Done) {
    FValues.MatrixWidth = uint16_t(FTaq->MatrixWidth);
    FValues.MatrixHeight = uint16_t(FTaq->MatrixHeight);
    const auto period = uint16_t(ReportPeriod());
    const TByteArray payload{TTAQ::CodingRunLength, uint8_t(period & 0xFF), uint8_t(period >> 8)};
    Later([this, payload, Done = std::move(Done)] {
        Send(TTAQ::CMD_ID_START_PERIODIC_ACQ, payload, [this, Done](TStat Status, const TByteArray&) {
            // Marked in the device too, so that a disconnect stops the sensor first.
            FTaq->PeriodicAcquisition = Status == E_SUCCESS;
            Done(Status == E_SUCCESS);
        });
    });
}

void TLibrarySensor::Run(TCellCommand, const TCellArguments&, TOutcome Outcome) {
    Outcome(E_CMD_UNKNOWN, true);
}

void TLibrarySensor::Summarise() {
    const TFrameData& frame = FTaq->FrameData;
    const int width = frame.Width();
    uint64_t total = 0;
    int32_t maximum = 0;
    int active = 0;
    double sumX = 0;
    double sumY = 0;
    const std::vector<int32_t>& cells = frame.Cells();
    for (size_t i = 0; i < cells.size(); ++i) {
        const int32_t v = std::max(cells[i], 0);
        if (v == 0)
            continue;
        ++active;
        total += uint64_t(v);
        maximum = std::max(maximum, v);
        // Cell centres, measured from the matrix's edge.
        sumX += v * ((double(i % size_t(std::max(width, 1))) + 0.5) * FTaq->CellWidth);
        sumY += v * ((double(i / size_t(std::max(width, 1))) + 0.5) * FTaq->CellHeight);
    }
    ++FValues.FrameCounter;
    FValues.FrameTotal = uint32_t(std::min<uint64_t>(total, UINT32_MAX));
    FValues.FrameMaximum = uint16_t(std::min<int32_t>(maximum, UINT16_MAX));
    FValues.ActiveCells = uint16_t(std::min(active, int(UINT16_MAX)));
    FValues.CentreX = total == 0 ? 0.0f : float(sumX / double(total));
    FValues.CentreY = total == 0 ? 0.0f : float(sumY / double(total));
    FValues.MatrixWidth = uint16_t(FTaq->MatrixWidth);
    FValues.MatrixHeight = uint16_t(FTaq->MatrixHeight);
    NoteReport();
}
