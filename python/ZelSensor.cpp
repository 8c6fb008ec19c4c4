#include "ZelSensor.h"

#include "taq/TAQ.h"
#include "ZelErrors.h"
#include "ZelRuntime.h"

namespace zelpy {

TSensor::TSensor() : TDeviceSession(new TTAQ(nullptr)) {
    Taq().OnFrame.Add(this, [this](TKORADevice*) {
        if (!FCollecting)
            return;
        if (FFrames.size() >= Capacity) {
            FFrames.pop_front();
            ++FDropped;
        }
        FFrames.push_back(Copy());
        Wake();
    });
}

TSensor::~TSensor() {
    Taq().OnFrame.Remove(this);
}

TTAQ& TSensor::Taq() const {
    return static_cast<TTAQ&>(*FDevice);
}

TFrame TSensor::Copy() const {
    const TFrameData& d = Taq().FrameData;
    return {d.Timestamp, d.Width(), d.Height(), d.Cells()};
}

TMatrix TSensor::Matrix() const {
    const TTAQ& t = Taq();
    return {t.MatrixWidth,
            t.MatrixHeight,
            t.CellWidth,
            t.CellHeight,
            t.SensorWidth,
            t.SensorHeight,
            t.TransducerType.toStdString(),
            t.Gain,
            t.Threshold};
}

TFrame TSensor::Frame(bool RunLength) {
    return Run([&] {
        TByteArray data;
        TStat status = E_SUCCESS;
        const TByteArray coding = RunLength ? TByteArray{TTAQ::CodingRunLength} : TByteArray{};
        // The answer is decoded into the frame store on its way through the device.
        if (!FDevice->ExecuteCommand(TTAQ::CMD_ID_READ_SINGLE_FRAME, coding, data, status))
            Refused("Cannot read a frame");
        return Copy();
    });
}

void TSensor::StartFrames(int Period, bool RunLength) {
    Run([&] {
        FFrames.clear();
        FCollecting = true;
        const TByteArray payload{RunLength ? TTAQ::CodingRunLength : uint8_t(0), uint8_t(Period & 0xFF),
                                 uint8_t(Period >> 8)};
        TByteArray data;
        TStat status = E_SUCCESS;
        if (!FDevice->ExecuteCommand(TTAQ::CMD_ID_START_PERIODIC_ACQ, payload, data, status)) {
            FCollecting = false;
            Refused("Cannot start the periodic acquisition");
        }
    });
}

void TSensor::StopFrames() {
    FCollecting = false;
    FFrames.clear();
    if (!FDevice->IsConnected())
        return;
    Run([&] {
        TByteArray data;
        TStat status = E_SUCCESS;
        if (!FDevice->ExecuteCommand(TTAQ::CMD_ID_STOP_PERIODIC_ACQ, {}, data, status))
            Refused("Cannot stop the periodic acquisition");
    });
}

bool TSensor::NextFrame(double TimeoutSeconds, TFrame& Frame) {
    return Run([&] {
        if (FFrames.empty() && FCollecting) {
            PumpUntil([&] { return !FFrames.empty() || !FDevice->IsConnected(); }, TimeoutSeconds);
            RaisePending();
        }
        if (FFrames.empty()) {
            if (FCollecting && !FDevice->IsConnected())
                throw TError(TFailure::LinkLost, "Connection closed while waiting for frames", E_NOT_OPENED);
            return false;
        }
        Frame = std::move(FFrames.front());
        FFrames.pop_front();
        return true;
    });
}

} // namespace zelpy
