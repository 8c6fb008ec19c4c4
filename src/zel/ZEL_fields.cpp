#include "zel/ZEL_fields.h"

#include "zel/ZEL.h"
#include "zel/ZEL_commands.h"

#include <cstdio>

namespace {
using K = TFieldKind;

// "Holding (4)"; "invalid (9)" outside the table.
void NameAndNumber(std::string& Out, const std::string_view* Names, size_t Count, uint32_t V) {
    Out += V < Count ? Names[V] : std::string_view("invalid");
    Out += " (";
    Out += std::to_string(V);
    Out += ')';
}

void GraspingStateText(std::string& Out, uint32_t V) {
    NameAndNumber(Out, GraspingStateNames, std::size(GraspingStateNames), V);
}

void SystemStateText(std::string& Out, uint32_t V) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%.8Xh (", V);
    Out += hex;
    const size_t flags = Out.size();
    for (const TSysflagDescr& f : SystemStateFlags) {
        if ((V & f.Mask) == 0)
            continue;
        if (Out.size() > flags)
            Out += ", ";
        Out += f.Text;
    }
    if (Out.size() == flags)
        Out += "none";
    Out += ')';
}

void HomingText(std::string& Out, uint32_t V) {
    static const std::string_view names[] = {"default", "outwards", "inwards"};
    NameAndNumber(Out, names, std::size(names), V);
}

void UpdateFlagsText(std::string& Out, uint32_t V) {
    static const std::string_view names[] = {"off", "on", "invalid", "on change only"};
    if (V < 4 && V != 2)
        Out += names[V];
    else
        NameAndNumber(Out, names, 0, V);
}

void ResetText(std::string& Out, uint32_t V) {
    static const std::string_view names[] = {"keep", "reset"};
    if (V < 2)
        Out += names[V];
    else
        NameAndNumber(Out, names, 0, V);
}

// A state query: empty, or the automatic update request.
TPayloadLayout UpdateRequest() {
    return TPayloadLayout({{"update", K::U8, {}, 0, UpdateFlagsText}, {"period", K::U16}}, true);
}

TPayloadLayout OneFloat(const char* Name, const char* Unit) {
    return TPayloadLayout({{Name, K::F32, Unit}});
}

TPayloadLayout TwoFloats(const char* First, const char* Second, const char* Unit1, const char* Unit2) {
    return TPayloadLayout({{First, K::F32, Unit1}, {Second, K::F32, Unit2}});
}
} // namespace

const std::vector<TCommandFields>& ZelCommandFields() {
    using Z = TZEL;
    // In identifier order; the command log's filter lists them so.
    static const std::vector<TCommandFields> table = {
        {Z::HOMING, "HOMING", TPayloadLayout({{"direction", K::U8, {}, 0, HomingText}}), TPayloadLayout()},
        {Z::MOVE, "MOVE",
         TPayloadLayout({{"flags", K::U8}, {"position", K::F32, "mm"}, {"speed", K::F32, "mm/s"}}),
         TPayloadLayout()},
        {Z::STOP, "STOP", TPayloadLayout(), TPayloadLayout()},
        {Z::FAST_STOP, "FAST_STOP", TPayloadLayout(), TPayloadLayout()},
        {Z::FAST_STOP_ACK, "FAST_STOP_ACK", TPayloadLayout({{"key", K::Text}}), TPayloadLayout()},
        {Z::GRASP, "GRASP", TwoFloats("width", "speed", "mm", "mm/s"), TPayloadLayout()},
        {Z::RELEASE, "RELEASE", TwoFloats("position", "speed", "mm", "mm/s"), TPayloadLayout()},
        {Z::SET_ACCELERATION, "SET_ACCELERATION", OneFloat("acceleration", "mm/s²"), TPayloadLayout()},
        {Z::GET_ACCELERATION, "GET_ACCELERATION", TPayloadLayout(), OneFloat("acceleration", "mm/s²")},
        {Z::SET_FORCE_LIMIT, "SET_FORCE_LIMIT", OneFloat("force limit", "N"), TPayloadLayout()},
        {Z::GET_FORCE_LIMIT, "GET_FORCE_LIMIT", TPayloadLayout(), OneFloat("force limit", "N")},
        NamedCommand(Z::SET_SOFT_LIMITS, "SET_SOFT_LIMITS"),
        NamedCommand(Z::GET_SOFT_LIMITS, "GET_SOFT_LIMITS"),
        NamedCommand(Z::CLEAR_SOFT_LIMITS, "CLEAR_SOFT_LIMITS"),
        NamedCommand(Z::OVERDRIVE_MODE, "OVERDRIVE_MODE"),
        NamedCommand(Z::TARE, "TARE"),
        {Z::GET_SYSTEM_STATE, "GET_SYSTEM_STATE", UpdateRequest(),
         TPayloadLayout({{"system state", K::U32, {}, 0, SystemStateText}}), true},
        {Z::GET_GRASPING_STATE, "GET_GRASPING_STATE", UpdateRequest(),
         TPayloadLayout({{"grasping state", K::U8, {}, 0, GraspingStateText}}), true},
        {Z::GET_GRASPING_STATS, "GET_GRASPING_STATS", TPayloadLayout({{"counters", K::U8, {}, 0, ResetText}}),
         TPayloadLayout({{"grasps", K::U32}, {"parts not found", K::U16}, {"parts lost", K::U16}})},
        {Z::GET_POS, "GET_POS", UpdateRequest(), OneFloat("position", "mm"), true},
        NamedCommand(Z::GET_SPEED, "GET_SPEED"),
        {Z::GET_FORCE, "GET_FORCE", UpdateRequest(), OneFloat("force", "N"), true},
        {Z::GET_SYSTEM_LIMITS, "GET_SYSTEM_LIMITS", TPayloadLayout(),
         TPayloadLayout({{"stroke", K::F32, "mm"},
                         {"min speed", K::F32, "mm/s"},
                         {"max speed", K::F32, "mm/s"},
                         {"min acceleration", K::F32, "mm/s²"},
                         {"max acceleration", K::F32, "mm/s²"},
                         {"min force", K::F32, "N"},
                         {"nominal force", K::F32, "N"},
                         {"overdrive force", K::F32, "N"}})},
        NamedCommand(Z::FINGER0_GET_CONFIG, "FINGER0_GET_CONFIG"),
        NamedCommand(Z::FINGER0_GET_FLAGS, "FINGER0_GET_FLAGS"),
        NamedCommand(Z::FINGER0_POWER_CNTL, "FINGER0_POWER_CNTL"),
        NamedCommand(Z::FINGER0_GET_DATA, "FINGER0_GET_DATA"),
        NamedCommand(Z::FINGER1_GET_CONFIG, "FINGER1_GET_CONFIG"),
        NamedCommand(Z::FINGER1_GET_FLAGS, "FINGER1_GET_FLAGS"),
        NamedCommand(Z::FINGER1_POWER_CNTL, "FINGER1_POWER_CNTL"),
        NamedCommand(Z::FINGER1_GET_DATA, "FINGER1_GET_DATA"),
    };
    return table;
}

const TCommandFields* ZelFields(int32_t ID) {
    if (const TCommandFields* row = FindCommandFields(ZelCommandFields(), ID))
        return row;
    return GenericFields(ID);
}

const TPayloadLayout& ZelAnswer(int32_t ID) {
    static const TPayloadLayout none;
    const TCommandFields* row = ZelFields(ID);
    return row ? row->Answer : none;
}

bool ReadZelFloat(int32_t ID, const TByteArray& Data, float& Value) {
    const TPayloadLayout& l = ZelAnswer(ID);
    if (l.Fields().empty() || l.Fields()[0].Kind != K::F32 || !l.Fits(Data.size()) || Data.empty())
        return false;
    Value = l.Float(Data.data(), 0);
    return true;
}

bool ReadZelUnsigned(int32_t ID, const TByteArray& Data, uint32_t& Value) {
    const TPayloadLayout& l = ZelAnswer(ID);
    if (l.Fields().empty() || !l.Fits(Data.size()) || Data.empty())
        return false;
    Value = l.Unsigned(Data.data(), 0);
    return true;
}

bool ReadGraspingStats(const TByteArray& Data, TGraspingStats& Stats) {
    const TPayloadLayout& l = ZelAnswer(TZEL::GET_GRASPING_STATS);
    if (!l.Fits(Data.size()))
        return false;
    Stats.Grasps = l.Unsigned(Data.data(), 0);
    Stats.PartsNotFound = l.Unsigned(Data.data(), 1);
    Stats.PartsLost = l.Unsigned(Data.data(), 2);
    return true;
}

bool ReadSystemLimitFields(const TByteArray& Data, float (&Limits)[8]) {
    // Bytes after the eight values are left unread (the log names them as too many).
    const TPayloadLayout& l = ZelAnswer(TZEL::GET_SYSTEM_LIMITS);
    if (Data.size() < l.FixedSize())
        return false;
    for (size_t i = 0; i < 8; ++i)
        Limits[i] = l.Float(Data.data(), i);
    return true;
}

std::string SystemStateFlagNames(uint32_t State) {
    std::string s;
    for (const TSysflagDescr& f : SystemStateFlags) {
        if ((State & f.Mask) == 0)
            continue;
        if (!s.empty())
            s += ", ";
        s += f.Text;
    }
    return s.empty() ? "none" : s;
}
