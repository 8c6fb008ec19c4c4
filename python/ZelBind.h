#pragma once
// What the binding files of zel._zel share: the helpers every class's bindings use, the members
// that Gripper and Sensor have in common, and the functions that bind each part.
// Python's headers before Qt's, whose "slots" macro they would meet.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "ZelDocs.h"
#include "ZelErrors.h"
#include "ZelRuntime.h"

#include "protocol/Types.h"

#include <memory>
#include <optional>
#include <string>

namespace zelpy::bindings {
namespace py = pybind11;

using Release = py::call_guard<py::gil_scoped_release>;

// Classes defined in the package's Python part, looked up once it has been imported.
py::object PackageAttr(const char* Name);
const py::object& GraspingStateClass();
const py::object& SystemStateClass();
// A timeout in seconds as the device layer takes it: None waits without end (-1).
double Timeout(std::optional<double> Seconds);
// The status's name, None for no status.
py::object NameOrNone(int Status);
// A period of automatic updates or frames, in ms; ValueError outside 1 to 65535.
int CheckPeriod(int Period);
// The tag as the device stores it; ValueError when it does not fit.
std::string Latin1Tag(const std::string& Utf8);
// A device layer error as the package's exception.
void RaiseTranslated(const TError& E);

// In this order: a class is bound before the signatures that name it.
void BindResults(py::module_& m);
void BindGripper(py::module_& m);
void BindSensor(py::module_& m);

template <class T> std::shared_ptr<T> Connect(const std::string& Url, double Seconds) {
    EnsureApplication();
    auto d = std::make_shared<T>();
    py::gil_scoped_release release;
    d->Connect(Url, Seconds);
    return d;
}

// Members that Gripper and Sensor share.
template <class T, class C> void BindDevice(C& Class) {
    Class.def_static("connect", &Connect<T>, py::arg("url"), py::arg("timeout") = 5.0, docs::Connect)
        .def("close", &T::Close, Release(), docs::Close)
        .def("__enter__", [](py::object Self) { return Self; })
        .def("__exit__",
             [](T& D, py::object Type, py::object, py::object) {
                 try {
                     py::gil_scoped_release release;
                     D.Close();
                 } catch (...) {
                     // The error that left the block matters more than one while closing after it.
                     if (Type.is_none())
                         throw;
                 }
             })
        .def_property_readonly("connected", &T::Connected, docs::Connected)
        .def_property_readonly("link", &T::Link, docs::Link)
        .def("info", &T::Info, Release(), docs::InfoMethod)
        .def("temperature", &T::Temperature, Release(), docs::Temperature)
        .def(
            "tag",
            [](T& D, std::optional<std::string> Text) -> py::str {
                if (Text) {
                    const std::string tag = Latin1Tag(*Text);
                    py::gil_scoped_release release;
                    D.SetTag(tag);
                }
                std::string tag;
                {
                    py::gil_scoped_release release;
                    tag = D.Tag();
                }
                return py::reinterpret_steal<py::str>(
                    PyUnicode_DecodeLatin1(tag.data(), Py_ssize_t(tag.size()), nullptr));
            },
            py::arg("text") = py::none(), docs::Tag)
        .def(
            "send",
            [](T& D, int Command, py::bytes Payload, bool Wait, std::optional<double> Seconds) {
                if (Command < 0 || Command > 255)
                    throw py::value_error("command must be 0 to 255");
                const std::string p = Payload;
                TByteArray payload(p.begin(), p.end());
                py::gil_scoped_release release;
                return D.Send(uint8_t(Command), payload, Wait, Timeout(Seconds));
            },
            py::arg("command"), py::arg("payload") = py::bytes(), py::kw_only(), py::arg("wait") = true,
            py::arg("timeout") = 60.0, docs::Send)
        .def("process_events", &T::ProcessEvents, py::arg("seconds"), Release(), docs::ProcessEvents);
}

} // namespace zelpy::bindings
