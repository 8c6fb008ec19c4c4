// The Python module zel._zel: bindings of the gripper and the sensor. Every call that may wait in
// the device layer gives up the interpreter lock; callbacks take it back.
// Python's headers before Qt's, whose "slots" macro they would meet.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "ZelDocs.h"
#include "ZelErrors.h"
#include "ZelGripper.h"
#include "ZelRuntime.h"
#include "ZelSensor.h"

#include "zel/ZEL.h"
#include "ZelVersion.h"
#include "protocol/stat.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>

namespace py = pybind11;
using namespace zelpy;

namespace {
using Release = py::call_guard<py::gil_scoped_release>;

const char* const KindNames[UpdateKinds] = {"system_state", "grasping_state", "position", "force"};

// Classes defined in the package's Python part, looked up once it has been imported.
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

struct TPyUpdate {
    std::string Kind;
    py::object Value;
    double Time;
};

TPyUpdate ToPython(const TUpdate& U) {
    py::object value;
    switch (U.Kind) {
    case SystemStateUpdate:
        value = SystemStateClass()(uint32_t(U.Value));
        break;
    case GraspingStateUpdate:
        value = GraspingStateClass()(int(U.Value));
        break;
    default:
        value = py::float_(U.Value);
    }
    return {KindNames[U.Kind], value, U.Time};
}

// A subscription as Python holds it: the gripper stays alive while it is held. One that is let
// go without close() (a for loop left with break) is closed on the way out.
struct TPyUpdates {
    std::shared_ptr<TGripper> Gripper;
    std::shared_ptr<TUpdates> Updates;

    TPyUpdates(std::shared_ptr<TGripper> G, std::shared_ptr<TUpdates> U)
        : Gripper(std::move(G)), Updates(std::move(U)) {}
    TPyUpdates(TPyUpdates&&) = default;
    ~TPyUpdates() {
        if (!Updates || !Updates->Open || _Py_IsFinalizing())
            return;
        if (!Gripper->OnOwnerThread()) {
            Updates->Open = false;
            return;
        }
        try {
            py::gil_scoped_release release;
            Gripper->Unsubscribe(*Updates);
        } catch (...) {
            // Another thread or a closed link: nothing more can be switched off from here.
            Updates->Open = false;
        }
    }
};

struct TPyFrames {
    std::shared_ptr<TSensor> Sensor;
    bool Open = true;
};

unsigned KindMask(const std::vector<std::string>& Kinds) {
    unsigned mask = 0;
    for (const std::string& k : Kinds) {
        const auto it = std::find(std::begin(KindNames), std::end(KindNames), k);
        if (it == std::end(KindNames))
            throw py::value_error("unknown update kind '" + k +
                                  "': expected system_state, grasping_state, position or force");
        mask |= 1u << (it - std::begin(KindNames));
    }
    if (mask == 0)
        throw py::value_error("no update kind given");
    return mask;
}

int CheckPeriod(int Period) {
    if (Period < 1 || Period > 65535)
        throw py::value_error("period must be 1 to 65535 ms");
    return Period;
}

// Frames as NumPy arrays (height x width) when NumPy is there, as lists of rows otherwise.
py::object Cells(const TFrame& F) {
    static const py::object* numpy = [] {
        try {
            return new py::object(py::module_::import("numpy"));
        } catch (const py::error_already_set&) {
            return new py::object(py::none());
        }
    }();
    if (!numpy->is_none() && F.Width > 0 && F.Height > 0 &&
        F.Cells.size() == size_t(F.Width) * size_t(F.Height)) {
        py::object array = numpy->attr("array")(py::cast(F.Cells), "int32");
        return array.attr("reshape")(F.Height, F.Width);
    }
    py::list rows;
    for (int y = 0; y < F.Height; ++y) {
        py::list row;
        for (int x = 0; x < F.Width && size_t(y * F.Width + x) < F.Cells.size(); ++x)
            row.append(F.Cells[size_t(y * F.Width + x)]);
        rows.append(row);
    }
    return rows;
}

struct TPyFrame {
    uint32_t Timestamp;
    int Width, Height;
    py::object Cells;
};

TPyFrame ToPython(const TFrame& F) {
    return {F.Timestamp, F.Width, F.Height, Cells(F)};
}

uint8_t HomingDirection(const std::string& Direction) {
    if (Direction == "default")
        return TZEL::HomeDefault;
    if (Direction == "outwards")
        return TZEL::HomeOutwards;
    if (Direction == "inwards")
        return TZEL::HomeInwards;
    throw py::value_error("direction must be 'default', 'inwards' or 'outwards'");
}

// A position (or width) and a speed outside the system limits read when connecting are refused
// before anything is sent, as zelctl refuses them; what the limits cannot tell stays the device's.
void CheckMotionLimits(const TGripper& G, const char* What, float Value, float Speed) {
    const TLimits l = G.Limits();
    if (l.Stroke <= 0 || l.MaxSpeed <= 0)
        return;
    const auto check = [](const char* Name, float V, float Low, float High, const char* Unit) {
        if (V >= Low && V <= High)
            return;
        // The shortest text that reads back as the same float: 500, 0.5, not 0.5000000.
        const auto text = [](float F) {
            char buffer[32];
            return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, F).ptr);
        };
        throw py::value_error(std::string(Name) + " " + text(V) + " " + Unit +
                              " is outside the gripper's range of " + text(Low) + " to " + text(High) + " " +
                              Unit + "; nothing was sent");
    };
    check(What, Value, 0, l.Stroke, "mm");
    check("speed", Speed, l.MinSpeed, l.MaxSpeed, "mm/s");
}

std::shared_ptr<TMotion> Motion(TGripper& G, uint8_t CommandID, float A, float B, bool Wait,
                                std::optional<double> Seconds) {
    std::shared_ptr<TMotion> m;
    py::gil_scoped_release release;
    m = G.Start(CommandID, A, B);
    if (Wait)
        m->Wait(Timeout(Seconds));
    return m;
}

template <class T> std::shared_ptr<T> Connect(const std::string& Url, double Seconds) {
    EnsureApplication();
    auto d = std::make_shared<T>();
    py::gil_scoped_release release;
    d->Connect(Url, Seconds);
    return d;
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

// One update and a motion under way.
void BindUpdateAndMotion(py::module_& m) {
    py::class_<TPyUpdate>(m, "Update", docs::Update)
        .def_readonly("kind", &TPyUpdate::Kind, docs::UpdateKind)
        .def_readonly("value", &TPyUpdate::Value, docs::UpdateValue)
        .def_readonly("time", &TPyUpdate::Time, docs::UpdateTime)
        .def("__repr__", [](const TPyUpdate& U) {
            const py::object shown =
                py::isinstance<py::float_>(U.Value) ? py::str("{:.3f}").format(U.Value) : py::repr(U.Value);
            return "<zel.Update " + U.Kind + " " + shown.cast<std::string>() + ">";
        });

    py::class_<TMotion, std::shared_ptr<TMotion>>(m, "Motion", docs::Motion)
        .def_property_readonly("command", &TMotion::Command, docs::MotionCommand)
        .def_property_readonly("done", &TMotion::Done, docs::MotionDone)
        .def_property_readonly(
            "status",
            [](const TMotion& M) -> py::object {
                return M.Status() < 0 ? py::object(py::none()) : py::object(py::int_(M.Status()));
            },
            docs::MotionStatus)
        .def(
            "wait", [](TMotion& M, std::optional<double> Seconds) { M.Wait(Timeout(Seconds)); },
            py::arg("timeout") = 60.0, Release(), docs::MotionWait)
        .def("__repr__", [](const TMotion& M) {
            return "<zel.Motion " + M.Command() + (M.Done() ? " done>" : " running>");
        });
}

// A subscription to the gripper's updates: an iterator, a queue or a callback.
void BindUpdates(py::module_& m) {
    py::class_<TPyUpdates>(m, "Updates", docs::Updates)
        .def("__iter__", [](py::object Self) { return Self; })
        .def(
            "__next__",
            [](TPyUpdates& U) {
                if (U.Updates->Callback)
                    throw py::type_error("these updates go to their callback");
                if (!U.Updates->Open)
                    throw py::stop_iteration();
                TUpdate u;
                {
                    py::gil_scoped_release release;
                    U.Gripper->NextUpdate(*U.Updates, -1, u);
                }
                return ToPython(u);
            },
            docs::UpdatesNext)
        .def(
            "get",
            [](TPyUpdates& U, std::optional<double> Seconds) -> std::optional<TPyUpdate> {
                if (U.Updates->Callback)
                    throw py::type_error("these updates go to their callback");
                TUpdate u;
                bool got = false;
                {
                    py::gil_scoped_release release;
                    got = U.Gripper->NextUpdate(*U.Updates, Timeout(Seconds), u);
                }
                if (!got)
                    return std::nullopt;
                return ToPython(u);
            },
            py::arg("timeout") = py::none(), docs::UpdatesGet)
        .def(
            "close",
            [](TPyUpdates& U) {
                py::gil_scoped_release release;
                U.Gripper->Unsubscribe(*U.Updates);
            },
            docs::UpdatesClose)
        .def("__enter__", [](py::object Self) { return Self; })
        .def("__exit__",
             [](TPyUpdates& U, py::args) {
                 py::gil_scoped_release release;
                 U.Gripper->Unsubscribe(*U.Updates);
             })
        .def_property_readonly(
            "kinds",
            [](const TPyUpdates& U) {
                std::vector<std::string> kinds;
                for (int k = 0; k < UpdateKinds; ++k)
                    if (U.Updates->Kinds & (1u << k))
                        kinds.push_back(KindNames[k]);
                return kinds;
            },
            docs::UpdatesKinds)
        .def_property_readonly(
            "closed", [](const TPyUpdates& U) { return !U.Updates->Open; }, docs::UpdatesClosed)
        .def_property_readonly(
            "pending", [](const TPyUpdates& U) { return U.Updates->Queue.size(); }, docs::UpdatesPending)
        .def_property_readonly(
            "received", [](const TPyUpdates& U) { return U.Updates->Received; }, docs::UpdatesReceived)
        .def_property_readonly(
            "dropped", [](const TPyUpdates& U) { return U.Updates->Dropped; }, docs::UpdatesDropped)
        .def_property_readonly(
            "max_backlog", [](const TPyUpdates& U) { return U.Updates->MaxBacklog; },
            docs::UpdatesMaxBacklog);
}

// The gripper's commands and queries.
py::class_<TGripper, std::shared_ptr<TGripper>> BindGripper(py::module_& m) {
    py::class_<TGripper, std::shared_ptr<TGripper>> gripper(m, "Gripper", docs::Gripper);
    BindDevice<TGripper>(gripper);
    gripper
        .def(
            "home",
            [](TGripper& G, const std::string& Direction, bool Wait, std::optional<double> Seconds) {
                return Motion(G, TZEL::HOMING, HomingDirection(Direction), 0, Wait, Seconds);
            },
            py::arg("direction") = "default", py::kw_only(), py::arg("wait") = true,
            py::arg("timeout") = 60.0, docs::Home)
        .def(
            "move",
            [](TGripper& G, float Position, float Speed, bool Wait, std::optional<double> Seconds) {
                CheckMotionLimits(G, "position", Position, Speed);
                return Motion(G, TZEL::MOVE, Position, Speed, Wait, Seconds);
            },
            py::arg("position"), py::arg("speed"), py::kw_only(), py::arg("wait") = true,
            py::arg("timeout") = 60.0, docs::Move)
        .def(
            "grasp",
            [](TGripper& G, float Width, float Speed, bool Wait, std::optional<double> Seconds) {
                CheckMotionLimits(G, "width", Width, Speed);
                return Motion(G, TZEL::GRASP, Width, Speed, Wait, Seconds);
            },
            py::arg("width"), py::arg("speed"), py::kw_only(), py::arg("wait") = true,
            py::arg("timeout") = 60.0, docs::Grasp)
        .def(
            "release",
            [](TGripper& G, float Position, float Speed, bool Wait, std::optional<double> Seconds) {
                CheckMotionLimits(G, "position", Position, Speed);
                return Motion(G, TZEL::RELEASE, Position, Speed, Wait, Seconds);
            },
            py::arg("position"), py::arg("speed"), py::kw_only(), py::arg("wait") = true,
            py::arg("timeout") = 60.0, docs::ReleaseDoc)
        .def("stop", &TGripper::Stop, Release(), docs::Stop)
        .def("fast_stop", &TGripper::FastStop, Release(), docs::FastStop)
        .def("ack", &TGripper::Ack, Release(), docs::Ack)
        .def("position", &TGripper::Position, Release(), docs::Position)
        .def("force", &TGripper::Force, Release(), docs::Force)
        .def("limits", &TGripper::Limits, docs::LimitsMethod);
    return gripper;
}

// The gripper's subscriptions and states.
void BindGripperUpdatesAndStates(py::class_<TGripper, std::shared_ptr<TGripper>>& gripper) {
    gripper.def(
        "updates",
        [](std::shared_ptr<TGripper> G, std::vector<std::string> Kinds, int Period, bool OnChange,
           std::optional<py::function> Callback) {
            const unsigned mask = KindMask(Kinds);
            std::function<void(const TUpdate&)> deliver;
            if (Callback) {
                // Dropped with the interpreter lock held, whichever thread lets go of it last.
                std::shared_ptr<py::function> cb(new py::function(*Callback), [](py::function* F) {
                    py::gil_scoped_acquire gil;
                    delete F;
                });
                deliver = [cb](const TUpdate& U) {
                    py::gil_scoped_acquire gil;
                    (*cb)(ToPython(U));
                };
            }
            std::shared_ptr<TUpdates> u;
            {
                py::gil_scoped_release release;
                u = G->Subscribe(mask, CheckPeriod(Period), OnChange, std::move(deliver));
            }
            return TPyUpdates{G, u};
        },
        py::arg("kinds") = std::vector<std::string>(std::begin(KindNames), std::end(KindNames)),
        py::kw_only(), py::arg("period") = 50, py::arg("on_change") = true, py::arg("callback") = py::none(),
        docs::UpdatesMethod);
    {
        // The states are the package's enums, which the generated signature would call "object":
        // these two carry their signature in their help text.
        py::options options;
        options.disable_function_signatures();
        gripper
            .def(
                "grasping_state",
                [](TGripper& G) {
                    int s = 0;
                    {
                        py::gil_scoped_release release;
                        s = G.GraspingState();
                    }
                    return GraspingStateClass()(s);
                },
                docs::GraspingState)
            .def(
                "system_state",
                [](TGripper& G) {
                    uint32_t s = 0;
                    {
                        py::gil_scoped_release release;
                        s = G.SystemState();
                    }
                    return SystemStateClass()(s);
                },
                docs::SystemState);
    }
}

// The sensor's matrix description and frames.
void BindFrames(py::module_& m) {
    py::class_<TMatrix>(m, "Matrix", docs::Matrix)
        .def_readonly("width", &TMatrix::Width, docs::MatrixWidth)
        .def_readonly("height", &TMatrix::Height, docs::MatrixHeight)
        .def_readonly("cell_width", &TMatrix::CellWidth, docs::MatrixCellWidth)
        .def_readonly("cell_height", &TMatrix::CellHeight, docs::MatrixCellHeight)
        .def_readonly("sensor_width", &TMatrix::SensorWidth, docs::MatrixSensorWidth)
        .def_readonly("sensor_height", &TMatrix::SensorHeight, docs::MatrixSensorHeight)
        .def_readonly("transducer_type", &TMatrix::TransducerType, docs::MatrixTransducer)
        .def_readonly("gain", &TMatrix::Gain, docs::MatrixGain)
        .def_readonly("threshold", &TMatrix::Threshold, docs::MatrixThreshold)
        .def("__repr__", [](const TMatrix& M) {
            return "<zel.Matrix " + std::to_string(M.Width) + "x" + std::to_string(M.Height) + ">";
        });

    py::class_<TPyFrame>(m, "Frame", docs::Frame)
        .def_readonly("timestamp", &TPyFrame::Timestamp, docs::FrameTimestamp)
        .def_readonly("width", &TPyFrame::Width, docs::FrameWidth)
        .def_readonly("height", &TPyFrame::Height, docs::FrameHeight)
        .def_readonly("cells", &TPyFrame::Cells, docs::FrameCells)
        .def("__repr__", [](const TPyFrame& F) {
            return "<zel.Frame " + std::to_string(F.Width) + "x" + std::to_string(F.Height) + " at " +
                   std::to_string(F.Timestamp) + ">";
        });

    py::class_<TPyFrames>(m, "Frames", docs::Frames)
        .def("__iter__", [](py::object Self) { return Self; })
        .def(
            "__next__",
            [](TPyFrames& F) {
                if (!F.Open)
                    throw py::stop_iteration();
                TFrame frame;
                {
                    py::gil_scoped_release release;
                    F.Sensor->NextFrame(-1, frame);
                }
                return ToPython(frame);
            },
            docs::FramesNext)
        .def(
            "get",
            [](TPyFrames& F, std::optional<double> Seconds) -> std::optional<TPyFrame> {
                TFrame frame;
                bool got = false;
                {
                    py::gil_scoped_release release;
                    got = F.Sensor->NextFrame(Timeout(Seconds), frame);
                }
                if (!got)
                    return std::nullopt;
                return ToPython(frame);
            },
            py::arg("timeout") = py::none(), docs::FramesGet)
        .def(
            "close",
            [](TPyFrames& F) {
                if (!F.Open)
                    return;
                F.Open = false;
                py::gil_scoped_release release;
                F.Sensor->StopFrames();
            },
            docs::FramesClose)
        .def("__enter__", [](py::object Self) { return Self; })
        .def("__exit__", [](py::object Self, py::args) { Self.attr("close")(); })
        .def_property_readonly(
            "dropped", [](const TPyFrames& F) { return F.Sensor->Dropped(); }, docs::FramesDropped);
}

// The sensor's commands.
void BindSensor(py::module_& m) {
    py::class_<TSensor, std::shared_ptr<TSensor>> sensor(m, "Sensor", docs::Sensor);
    BindDevice<TSensor>(sensor);
    sensor.def("matrix", &TSensor::Matrix, docs::MatrixMethod)
        .def(
            "frame",
            [](TSensor& S, bool RunLength) {
                TFrame f;
                {
                    py::gil_scoped_release release;
                    f = S.Frame(RunLength);
                }
                return ToPython(f);
            },
            py::kw_only(), py::arg("run_length") = false, docs::FrameMethod)
        .def(
            "frames",
            [](std::shared_ptr<TSensor> S, int Period, bool RunLength) {
                CheckPeriod(Period);
                {
                    py::gil_scoped_release release;
                    S->StartFrames(Period, RunLength);
                }
                return TPyFrames{S};
            },
            py::kw_only(), py::arg("period") = 100, py::arg("run_length") = false, docs::FramesMethod);
}
} // namespace

PYBIND11_MODULE(_zel, m) {
    m.doc() = "The ZEL gripper and TAQ sensor over the device library";
    m.attr("__version__") = ZEL_VERSION;

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const TError& e) {
            RaiseTranslated(e);
        }
    });

    // In this order: a class is bound before the signatures that name it.
    BindResults(m);
    BindUpdateAndMotion(m);
    BindUpdates(m);
    auto gripper = BindGripper(m);
    BindGripperUpdatesAndStates(gripper);
    BindFrames(m);
    BindSensor(m);

    // The same exchange as temperature() in a loop without Python in between: the benchmark's
    // reference for the cost of the bindings.
    m.def(
        "_native_temperature_loop",
        [](TGripper& G, int Count) {
            const auto start = std::chrono::steady_clock::now();
            double celsius = 0;
            for (int i = 0; i < Count; ++i)
                if (!G.Device().ReadTemperature(celsius))
                    throw TError(TFailure::LinkLost, "the link is closed");
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        },
        py::arg("gripper"), py::arg("count"), Release());
}
