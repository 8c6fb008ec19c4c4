#include "ZelctlSession.h"

#include "engine/CommandComponent.h"
#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"
#include "taq/TAQ.h"
#include "TrafficPrinter.h"
#include "zel/ZEL.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

TZelctlSession::TZelctlSession(const TZelctlArguments& Args, QTextStream& Out, QTextStream& Err,
                               QObject* Parent)
    : QObject(Parent), FArgs(Args), FOut(Out), FErr(Err) {
    FPreviousHandler = SetApplicationErrorHandler([this](std::exception_ptr Error) {
        FErrors << QString::fromStdString(ExceptionMessage(Error));
        Wake();
    });
    // No message box can be answered here; whatever would be shown goes to the error stream.
    FPreviousHook = SetMessageHook([this](const TMessage& Message) { FErrors << Message.Text; });

    if (Args.Sensor)
        FDevice = new TTAQ(this);
    else
        FDevice = new TZEL(this);
    FTraffic = std::make_unique<TTrafficTee>();
    if (Args.LogTraffic) {
        FPrinter = std::make_unique<TTrafficPrinter>(FErr, *FDevice);
        FTraffic->Sinks.push_back(FPrinter.get());
    }
    if (!Args.LogCsvPath.isEmpty()) {
        FCsv = std::make_unique<TTrafficCsv>(Args.LogCsvPath, *FDevice, Args.Sensor);
        FCsv->OnFailed = [this](const QString&) { Wake(); };
        FTraffic->Sinks.push_back(FCsv.get());
    }
    if (!FTraffic->Sinks.empty())
        FDevice->SetCommLog(FTraffic.get());
    FDevice->OnConnect.Add(this, [this](TKORADevice*) {
        FConnected = true;
        Wake();
    });
    FDevice->OnDisconnect.Add(this, [this](TKORADevice*) {
        FConnected = false;
        Wake();
    });
    // Tells a refused device apart from one that is still connecting.
    FDevice->OnConnectSequenceDone.Add(this, [this](TKORADevice*) {
        FConnectSequenceDone = true;
        Wake();
    });
}

TZelctlSession::~TZelctlSession() {
    if (FDevice != nullptr) {
        FDevice->OnConnect.Remove(this);
        FDevice->OnDisconnect.Remove(this);
        FDevice->OnConnectSequenceDone.Remove(this);
        FDevice->SetCommLog(nullptr);
        delete FDevice;
        FDevice = nullptr;
    }
    SetMessageHook(std::move(FPreviousHook));
    SetApplicationErrorHandler(std::move(FPreviousHandler));
}

TZEL* TZelctlSession::Gripper() const {
    return dynamic_cast<TZEL*>(FDevice);
}

bool TZelctlSession::OpenLog() {
    if (!FCsv || FCsv->Open())
        return true;
    Error(FCsv->Error());
    return false;
}

bool TZelctlSession::CloseLog() {
    if (!FCsv || FCsv->Close())
        return true;
    if (!FLogFailureTaken)
        Error(FCsv->Error());
    FLogFailureTaken = true;
    return false;
}

bool TZelctlSession::LogFailed() const {
    return FCsv && !FCsv->Error().isEmpty();
}

QString TZelctlSession::TakeLogFailure() {
    if (!LogFailed() || FLogFailureTaken)
        return QString();
    FLogFailureTaken = true;
    return FCsv->Error();
}

void TZelctlSession::Interrupt(int Signal) {
    if (FInterrupted == 0)
        FInterrupted = Signal;
    Wake();
}

void TZelctlSession::Error(const QString& Message) {
    if (FErrorSink) {
        FErrorSink(Message);
        return;
    }
    PrintError(Message);
}

void TZelctlSession::PrintError(const QString& Message) {
    FErr << "zelctl: " << Message << Qt::endl;
}

void TZelctlSession::Wake() {
    if (FLoop != nullptr)
        FLoop->quit();
}

QStringList TZelctlSession::TakeErrors() {
    QStringList errors;
    errors.swap(FErrors);
    return errors;
}

bool TZelctlSession::WaitFor(const std::function<bool()>& Done, int TimeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!Done()) {
        const qint64 left = TimeoutMs - clock.elapsed();
        if (left <= 0 || !FErrors.isEmpty() || FInterrupted != 0 || LogFailed())
            return false;
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(int(left));
        QEventLoop* outer = FLoop;
        FLoop = &loop;
        loop.exec();
        FLoop = outer;
    }
    return true;
}

bool TZelctlSession::Connect() {
    FConnected = false;
    FConnectSequenceDone = false;
    TStat result = E_SUCCESS;
    try {
        result = FDevice->ConnectLink(FArgs.Link.Target);
    } catch (const std::exception& e) {
        Error(QStringLiteral("Cannot connect to target: ") + QString::fromUtf8(e.what()));
        return false;
    }
    if (result != E_SUCCESS) {
        Error(QStringLiteral("Cannot connect to target: ") + QString::fromStdString(StatToStr(result)));
        return false;
    }
    WaitFor([this] { return FConnected || FConnectSequenceDone; }, FArgs.ConnectTimeoutMs);
    const QStringList errors = TakeErrors();
    for (const QString& e : errors)
        Error(e);
    if (FConnected)
        return true;
    if (errors.isEmpty() && FInterrupted == 0 && !LogFailed()) {
        // The connect sequence forgets the system information first, so a device type tells that
        // its answer came and the device check's requests did not get theirs.
        if (!FConnectSequenceDone)
            Error(QStringLiteral("Timeout while connecting over ") + FArgs.Link.Description);
        else if (FDevice->DeviceType == 0)
            Error(QStringLiteral("The device did not answer the system information request"));
        else if (!FDevice->IsConnected())
            Error(FArgs.Sensor ? QStringLiteral("The device did not answer the sensor configuration requests")
                               : QStringLiteral("The device did not answer the system limits request"));
        else
            Error(QStringLiteral("The device check failed"));
    }
    try {
        Disconnect();
    } catch (const std::exception&) {
        // Already failing; the link is closed either way.
    }
    return false;
}

void TZelctlSession::Disconnect() {
    FConnected = false;
    FDevice->Disconnect();
}
