// The gripper's bindings in zel._zel: its commands, queries and states, its motions and the
// subscriptions to its updates.
#include "ZelBind.h"

#include "ZelGripper.h"

#include "zel/ZEL.h"

#include <algorithm>
#include <charconv>

namespace zelpy::bindings {
namespace {
const char* const KindNames[UpdateKinds] = {"system_state", "grasping_state", "position", "force"};

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
py::class_<TGripper, std::shared_ptr<TGripper>> BindGripperCommands(py::module_& m) {
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

} // namespace

void BindGripper(py::module_& m) {
    BindUpdateAndMotion(m);
    BindUpdates(m);
    auto gripper = BindGripperCommands(m);
    BindGripperUpdatesAndStates(gripper);
}
} // namespace zelpy::bindings
