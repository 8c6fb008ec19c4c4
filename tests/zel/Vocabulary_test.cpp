// The device library and zel-sim keep their command tables apart on purpose (the simulator is an
// independent peer); here they must agree on every identifier and every name.
#include "SimCommands.h"
#include "taq/TAQ.h"
#include "taq/TAQ_fields.h"
#include "zel/ZEL.h"
#include "zel/ZEL_commands.h"
#include "zel/ZEL_fields.h"
#include "protocol/stat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <set>
#include <string>

namespace {
std::string Label(const std::string& Name, int ID) {
    char id[8];
    std::snprintf(id, sizeof id, "(%02Xh)", ID);
    return Name + id;
}

// The library's name of ID as the simulator would label it, or "" when only the simulator names it.
std::string LibraryLabel(const std::vector<TCommandFields>& Table, int ID) {
    bool found = false;
    std::string name = TableCommandName(Table, ID, found);
    if (!found)
        name = LookupCommandName(GenericCommandNames, std::size(GenericCommandNames), ID, found);
    return found ? Label(name, ID) : std::string();
}

struct TDeviceTable {
    zelsim::EDeviceKind Kind;
    const std::vector<TCommandFields>& Table;
    // Named by the library only: the simulator does not serve them.
    std::set<int> LibraryOnly;
};
} // namespace

TEST(Vocabulary, LibraryAndSimulatorAgreeOnEveryIdentifierAndName) {
    const TDeviceTable devices[] = {
        {zelsim::EDeviceKind::Gripper, ZelCommandFields(), {0x60, 0x61, 0x62, 0x63, 0x70, 0x71, 0x72, 0x73}},
        {zelsim::EDeviceKind::Sensor, TaqCommandFields(), {}},
    };
    for (const TDeviceTable& d : devices) {
        for (int id = 0; id < 256; ++id) {
            const std::string sim = zelsim::CommandLabel(d.Kind, uint8_t(id));
            const std::string lib = LibraryLabel(d.Table, id);
            if (d.LibraryOnly.count(id))
                EXPECT_EQ(sim, Label("unknown", id)) << lib;
            else if (lib.empty())
                EXPECT_EQ(sim, Label("unknown", id));
            else
                EXPECT_EQ(sim, lib);
        }
    }
}

TEST(Vocabulary, IdentifiersFieldTablesAndFlagsAgree) {
    namespace g = zelsim::gripper;
    const std::pair<int, int> ids[] = {
        {TZEL::HOMING, g::HOMING},
        {TZEL::MOVE, g::MOVE},
        {TZEL::STOP, g::STOP},
        {TZEL::FAST_STOP, g::FAST_STOP},
        {TZEL::FAST_STOP_ACK, g::FAST_STOP_ACK},
        {TZEL::GRASP, g::GRASP},
        {TZEL::RELEASE, g::RELEASE},
        {TZEL::SET_ACCELERATION, g::SET_ACCELERATION},
        {TZEL::GET_ACCELERATION, g::GET_ACCELERATION},
        {TZEL::SET_FORCE_LIMIT, g::SET_FORCE_LIMIT},
        {TZEL::GET_FORCE_LIMIT, g::GET_FORCE_LIMIT},
        {TZEL::GET_SYSTEM_STATE, g::GET_SYSTEM_STATE},
        {TZEL::GET_GRASPING_STATE, g::GET_GRASPING_STATE},
        {TZEL::GET_GRASPING_STATS, g::GET_GRASPING_STATS},
        {TZEL::GET_POS, g::GET_POS},
        {TZEL::GET_FORCE, g::GET_FORCE},
        {TZEL::GET_SYSTEM_LIMITS, g::GET_SYSTEM_LIMITS},
    };
    for (const auto& [lib, sim] : ids)
        EXPECT_EQ(lib, sim);
    // Every command whose payloads the library decodes is one the simulator serves by name.
    for (const TCommandFields& row : ZelCommandFields()) {
        if (!row.Described)
            continue;
        EXPECT_NE(zelsim::CommandLabel(zelsim::EDeviceKind::Gripper, row.ID).rfind("unknown", 0), 0u)
            << int(row.ID);
    }

    const std::pair<uint32_t, uint32_t> flags[] = {
        {SF_REFERENCED, g::SF_REFERENCED},
        {SF_MOVING, g::SF_MOVING},
        {SF_BLOCKED_MINUS, g::SF_BLOCKED_MINUS},
        {SF_BLOCKED_PLUS, g::SF_BLOCKED_PLUS},
        {SF_AXIS_STOPPED, g::SF_AXIS_STOPPED},
        {SF_TARGET_POS_REACHED, g::SF_TARGET_POS_REACHED},
        {SF_FAST_STOP, g::SF_FAST_STOP},
        {SF_TEMPERATURE_WARNING, g::SF_TEMPERATURE_WARNING},
        {SF_TEMPERATURE_FAULT, g::SF_TEMPERATURE_FAULT},
        {SF_COMMAND_FAILURE, g::SF_COMMAND_FAILURE},
    };
    for (const auto& [lib, sim] : flags)
        EXPECT_EQ(lib, sim);
    EXPECT_EQ(SystemStateFaultFlags, 0x0017D03Cu);
    EXPECT_EQ(GraspingStateNames[GraspingStateError], "ERROR");
    EXPECT_EQ(int(GraspingStateError), int(g::EGraspState::Error));
}
