// Python's headers before Qt's, whose "slots" macro they would meet.
#include <pybind11/pybind11.h>

#include "ZelDevice.h"

#include "device/KORADevice.h"
#include "ZelConnect.h"
#include "ZelErrors.h"
#include "ZelRuntime.h"

#include <QThread>

namespace zelpy {

TDeviceSession::TDeviceSession(TKORADevice* Device) : FDevice(Device), FThread(QThread::currentThread()) {
    FDevice->OnDisconnect.Add(this, [](TKORADevice*) { Wake(); });
}

TDeviceSession::~TDeviceSession() {
    FDevice->AsyncResults().Clear();
    FDevice->OnDisconnect.Remove(this);
    if (QThread::currentThread() != FThread) {
        // The link's sockets belong to the thread that connected; only it may close them.
        FDevice->deleteLater();
        return;
    }
    try {
        if (FDevice->IsConnected())
            FDevice->Disconnect();
    } catch (const std::exception&) {
        // Nobody is left to tell; the link is closed either way.
    }
    delete FDevice;
}

bool TDeviceSession::OnOwnerThread() const {
    return QThread::currentThread() == FThread;
}

void TDeviceSession::CheckThread() const {
    if (!OnOwnerThread())
        throw std::runtime_error("A zel device is used from the thread that created it only");
}

void TDeviceSession::Translate(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const TError&) {
        throw;
    } catch (const pybind11::error_already_set&) {
        throw;
    } catch (const std::exception& e) {
        throw FromDeviceError(e, FDevice->IsConnected());
    }
}

void TDeviceSession::SetCallbackError(std::exception_ptr Error) {
    if (!FCallbackError)
        FCallbackError = Error;
    Wake();
}

void TDeviceSession::RaisePending() {
    if (std::exception_ptr e = FCallbackError) {
        FCallbackError = nullptr;
        std::rethrow_exception(e);
    }
    if (std::exception_ptr e = TakeInterrupt())
        std::rethrow_exception(e);
    if (std::exception_ptr e = TakeReportedError())
        std::rethrow_exception(e);
}

void TDeviceSession::Refused(const std::string& What) const {
    if (!FDevice->IsConnected())
        throw TError(TFailure::LinkLost, What + ": the link is closed", E_NOT_OPENED);
    if (FDevice->Busy())
        throw TError(TFailure::CommandFailed, What + ": another exchange is waiting", E_CMD_FAILED);
    throw TError(TFailure::CommandFailed, What + ": the answer could not be read", E_INCONSISTENT_DATA);
}

void TDeviceSession::Connect(const std::string& Url, double TimeoutSeconds) {
    CheckThread();
    const TLinkAddress link = ParseLink(Url);
    ConnectDevice(*FDevice, link, TimeoutSeconds);
    FLink = link.Description().toStdString();
}

void TDeviceSession::Close() {
    Run([this] {
        FDevice->AsyncResults().Clear();
        FDevice->Disconnect();
    });
}

bool TDeviceSession::Connected() const {
    return FDevice->IsConnected();
}

std::string TDeviceSession::CommandName(int CommandID) const {
    return FDevice->CommandName(CommandID);
}

TInfo TDeviceSession::Info() {
    return Run([this] {
        if (!FDevice->GetSystemInfo())
            Refused("Cannot read the system information");
        TInfo i;
        i.Model = TKORADevice::DeviceTypeToStr(FDevice->DeviceType);
        i.DeviceType = FDevice->DeviceType;
        i.HardwareRevision = FDevice->HardwareRevision;
        i.FirmwareMajor = FDevice->FirmwareMajor;
        i.FirmwareMinor = FDevice->FirmwareMinor;
        i.FirmwarePatch = FDevice->FirmwarePatch;
        i.FirmwareRC = FDevice->FirmwareRC;
        i.SerialNumber = FDevice->SerialNumber;
        return i;
    });
}

double TDeviceSession::Temperature() {
    return Run([this] {
        double t = 0;
        if (!FDevice->ReadTemperature(t))
            Refused("Cannot read the temperature");
        return t;
    });
}

std::string TDeviceSession::Tag() {
    return Run([this] {
        QString tag;
        if (!FDevice->GetDeviceTag(tag))
            Refused("Cannot read the device tag");
        return tag.toLatin1().toStdString();
    });
}

void TDeviceSession::SetTag(const std::string& Tag) {
    Run([&] {
        if (!FDevice->SetDeviceTag(QString::fromLatin1(Tag.data(), qsizetype(Tag.size()))))
            Refused("Cannot write the device tag");
    });
}

TAsyncResultEvent TDeviceSession::Recorder(const std::shared_ptr<TFinal>& Final) {
    return [Final](TKORADevice*, int32_t, TStat Status, const TByteArray& Data) {
        ++Final->Count;
        Final->Status = Status;
        Final->Data = Data;
        Wake();
    };
}

void TDeviceSession::WaitFinal(uint8_t CommandID, const TFinal& Final, int SeenBefore,
                               double TimeoutSeconds) {
    Run([&] {
        const bool arrived =
            PumpUntil([&] { return Final.Count > SeenBefore || !FDevice->IsConnected() || FCallbackError; },
                      TimeoutSeconds);
        RaisePending();
        const std::string name = CommandName(CommandID);
        if (Final.Count <= SeenBefore) {
            if (arrived)
                throw TError(TFailure::LinkLost,
                             "Connection closed while waiting for the result of command " + name,
                             E_NOT_OPENED, name);
            throw TError(TFailure::Timeout, "Timeout while waiting for the result of command " + name,
                         E_TIMEOUT, name);
        }
        if (Final.Status != E_SUCCESS)
            throw TError(TFailure::CommandFailed, "Command " + name + " finished: " + StatToStr(Final.Status),
                         Final.Status, name);
    });
}

TResponse TDeviceSession::Send(uint8_t CommandID, const TByteArray& Payload, bool Wait,
                               double TimeoutSeconds) {
    auto final = std::make_shared<TFinal>();
    TResponse r = Run([&] {
        // As the custom command editor sends, keeping the answer's data.
        FDevice->AsyncResults().Unregister(CommandID);
        TResponse first;
        first.CommandID = CommandID;
        TStat status = E_SUCCESS;
        bool statusOnly = false;
        if (!FDevice->Exchange(CommandID, Payload, first.Data, status, statusOnly,
                               Wait ? Recorder(final) : TAsyncResultEvent{}))
            Refused("Cannot send command " + CommandName(CommandID));
        if (statusOnly)
            first.Data.clear();
        first.Status = status;
        return first;
    });
    if (r.Status != E_CMD_PENDING || !Wait)
        return r;
    WaitFinal(CommandID, *final, 0, TimeoutSeconds);
    r.Status = final->Status;
    r.Data = final->Data;
    return r;
}

void TDeviceSession::ProcessEvents(double Seconds) {
    Run([&] { PumpUntil([this] { return bool(FCallbackError); }, Seconds); });
}

} // namespace zelpy
