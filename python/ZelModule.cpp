// The Python module zel._zel: bindings of the gripper and the sensor. Every call that may wait in
// the device layer gives up the interpreter lock; callbacks take it back.
#include "ZelBind.h"

#include "ZelGripper.h"

#include "device/KORADevice.h"
#include "zel/ZEL_commands.h"
#include "ZelVersion.h"

#include <chrono>

using namespace zelpy;
using namespace zelpy::bindings;

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

    // The system state flags by name and mask, from which the package builds zel.SystemState: the
    // masks are named once, in the device library.
    m.def("_system_state_flags", [] {
        std::vector<std::pair<std::string, uint32_t>> flags;
        for (const TSysflagDescr& f : SystemStateFlags)
            flags.emplace_back(std::string(f.Name), f.Mask);
        return flags;
    });

    // In this order: a class is bound before the signatures that name it.
    BindResults(m);
    BindGripper(m);
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
