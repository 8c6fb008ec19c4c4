// The bindings' shared helpers and the plain results of zel._zel: system information, limits and a
// command's response.
#include "ZelBind.h"

#include "ZelGripper.h"

#include "protocol/stat.h"

#include <algorithm>

namespace zelpy::bindings {
py::object PackageAttr(const char* Name) {
    return py::module_::import("zel").attr(Name);
}

const py::object& GraspingStateClass() {
    static const py::object* cls = new py::object(PackageAttr("GraspingState"));
    return *cls;
}

const py::object& SystemStateClass() {
    static const py::object* cls = new py::object(PackageAttr("SystemState"));
    return *cls;
}

double Timeout(std::optional<double> Seconds) {
    return Seconds ? std::max(*Seconds, 0.0) : -1.0;
}

py::object NameOrNone(int Status) {
    return Status < 0 ? py::object(py::none()) : py::object(py::str(StatName(Status)));
}

int CheckPeriod(int Period) {
    if (Period < 1 || Period > 65535)
        throw py::value_error("period must be 1 to 65535 ms");
    return Period;
}

std::string Latin1Tag(const std::string& Utf8) {
    const py::str s(Utf8);
    std::string tag;
    try {
        tag = s.attr("encode")("latin-1").cast<std::string>();
    } catch (const py::error_already_set&) {
        throw py::value_error("the tag takes Latin-1 characters only");
    }
    if (tag.size() > 64)
        throw py::value_error("the tag holds at most 64 characters");
    return tag;
}

void RaiseTranslated(const TError& E) {
    static const char* const classes[] = {"LinkLost", "CommandFailed", "Timeout", "ConnectFailed"};
    const py::object cls = PackageAttr(classes[int(E.Kind)]);
    const py::object status = E.Status < 0 ? py::object(py::none()) : py::object(py::int_(E.Status));
    const py::object command = E.Command.empty() ? py::object(py::none()) : py::object(py::str(E.Command));
    const py::object error = cls(E.what(), status, NameOrNone(E.Status), command);
    PyErr_SetObject(cls.ptr(), error.ptr());
}

// The plain results: system information, limits, a command's response.
void BindResults(py::module_& m) {
    py::class_<TInfo>(m, "Info", docs::Info)
        .def_readonly("model", &TInfo::Model, docs::InfoModel)
        .def_readonly("device_type", &TInfo::DeviceType, docs::InfoDeviceType)
        .def_readonly("serial_number", &TInfo::SerialNumber, docs::InfoSerial)
        .def_readonly("hardware_revision", &TInfo::HardwareRevision, docs::InfoHardware)
        .def_property_readonly(
            "firmware",
            [](const TInfo& I) {
                std::string v = std::to_string(I.FirmwareMajor) + "." + std::to_string(I.FirmwareMinor) +
                                "." + std::to_string(I.FirmwarePatch);
                return I.FirmwareRC ? v + "-RC" + std::to_string(I.FirmwareRC) : v;
            },
            docs::InfoFirmware)
        .def("__repr__", [](const TInfo& I) {
            return "<zel.Info " + I.Model + " serial " + std::to_string(I.SerialNumber) + ">";
        });

    py::class_<TLimits>(m, "Limits", docs::Limits)
        .def_readonly("stroke", &TLimits::Stroke, docs::LimitsStroke)
        .def_readonly("min_speed", &TLimits::MinSpeed, docs::LimitsMinSpeed)
        .def_readonly("max_speed", &TLimits::MaxSpeed, docs::LimitsMaxSpeed)
        .def_readonly("min_acceleration", &TLimits::MinAcceleration, docs::LimitsMinAcc)
        .def_readonly("max_acceleration", &TLimits::MaxAcceleration, docs::LimitsMaxAcc)
        .def_readonly("min_force", &TLimits::MinForce, docs::LimitsMinForce)
        .def_readonly("nominal_force", &TLimits::NominalForce, docs::LimitsNominalForce)
        .def_readonly("overdrive_force", &TLimits::OverdriveForce, docs::LimitsOverdriveForce)
        .def("__repr__",
             [](const TLimits& L) { return "<zel.Limits stroke " + std::to_string(L.Stroke) + " mm>"; });

    py::class_<TResponse>(m, "Response", docs::Response)
        .def_readonly("command", &TResponse::CommandID, docs::ResponseCommand)
        .def_readonly("status", &TResponse::Status, docs::ResponseStatus)
        .def_property_readonly(
            "status_name", [](const TResponse& R) { return StatName(R.Status); }, docs::ResponseStatusName)
        .def_property_readonly(
            "data",
            [](const TResponse& R) {
                return py::bytes(reinterpret_cast<const char*>(R.Data.data()), R.Data.size());
            },
            docs::ResponseData)
        .def("__repr__", [](const TResponse& R) {
            return "<zel.Response " + std::to_string(R.CommandID) + " " + StatName(R.Status) + ">";
        });
}

} // namespace zelpy::bindings
