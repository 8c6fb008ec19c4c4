#include "ModbusMap.h"

#include "protocol/stat.h"

#include <QStringList>

#include <array>
#include <iterator>
#include <utility>
#include <cstring>

namespace {
using enum TMapTable;
using enum TMapType;
using enum TMapKinds;

// Addresses are zero-based protocol addresses. A gripper's status is one block from 0, so that a
// controller reads it in one request; a sensor's summary has a block of its own.
const std::array<TMapEntry, 37> Table{{
    {"map_version", Input, 0, U16, "", "", "r", All,
     "Version of this map; changes whenever a row changes meaning, moves or goes away"},
    {"link_up", Input, 1, U16, "", "", "r", All,
     "1 while the gateway holds a working link to the device, else 0"},
    {"stale", Input, 2, U16, "", "", "r", All,
     "1 when the values below are older than one second (or the link is down), else 0"},
    {"device_kind", Input, 3, U16, "", "", "r", All, "1 gripper, 2 sensor"},
    {"system_state", Input, 4, U32, "", "", "r", Gripper, "System state flags as the gripper reports them"},
    {"grasping_state", Input, 6, U16, "", "", "r", Gripper,
     "Grasping state: 0 idle, 1 grasping, 2 no part, 3 part lost, 4 holding, 5 releasing, 6 positioning, 7 "
     "error"},
    {"ack_sequence", Input, 7, U16, "", "", "r", Gripper,
     "The last value of sequence that started a command"},
    {"result_status", Input, 8, U16, "", "", "r", Gripper,
     "Status code of the command ack_sequence started: 26 (pending) while it runs, then its final result (0 "
     "success)"},
    {"motion_done", Input, 9, U16, "", "", "r", Gripper,
     "0 while the command ack_sequence started runs, 1 once its final result is in result_status"},
    {"position", Input, 10, F32, "", "mm", "r", Gripper, "Finger opening"},
    {"force", Input, 12, F32, "", "N", "r", Gripper, "Grasping force"},
    {"temperature", Input, 14, F32, "", "°C", "r", Gripper, "Device temperature, read once a second"},
    {"position_um", Input, 16, S32, "0.001", "mm", "r", Gripper, "Finger opening in micrometres"},
    {"force_mn", Input, 18, S32, "0.001", "N", "r", Gripper, "Grasping force in millinewtons"},
    {"temperature_dc", Input, 20, S16, "0.1", "°C", "r", Gripper, "Device temperature in tenths of a degree"},
    {"motions_completed", Input, 21, U32, "", "", "r", Gripper,
     "Commands that ended with success since the gateway started"},
    {"motions_failed", Input, 23, U32, "", "", "r", Gripper,
     "Commands that ended with any other status (refused, aborted, failed) since the gateway started"},
    {"frame_counter", Input, 32, U32, "", "", "r", Sensor,
     "Frames received from the sensor since the gateway started"},
    {"frame_total", Input, 34, U32, "", "", "r", Sensor, "Sum of all cell values of the last frame"},
    {"frame_maximum", Input, 36, U16, "", "", "r", Sensor, "Largest cell value of the last frame"},
    {"centre_x", Input, 37, F32, "", "mm", "r", Sensor,
     "Centre of pressure across the matrix (0 at the first column's edge; 0 for an empty frame)"},
    {"centre_y", Input, 39, F32, "", "mm", "r", Sensor,
     "Centre of pressure along the matrix (0 at the first row's edge; 0 for an empty frame)"},
    {"matrix_width", Input, 41, U16, "", "", "r", Sensor, "Cells per row"},
    {"matrix_height", Input, 42, U16, "", "", "r", Sensor, "Rows of cells"},
    {"frame_active_cells", Input, 43, U16, "", "", "r", Sensor, "Cells of the last frame above zero"},
    {"target_position", Holding, 0, F32, "", "mm", "rw", Gripper,
     "Target opening of move and release; part width of grasp"},
    {"target_speed", Holding, 2, F32, "", "mm/s", "rw", Gripper, "Speed of move, grasp and release"},
    {"grasp_force", Holding, 4, F32, "", "N", "rw", Gripper,
     "Force limit set before a grasp; 0 keeps the device's limit"},
    {"command", Holding, 6, U16, "", "", "rw", Gripper,
     "Command that the next new sequence starts: 1 move, 2 grasp, 3 release, 4 homing, 5 acknowledge fast "
     "stop"},
    {"sequence", Holding, 7, U16, "", "", "rw", Gripper,
     "Writing a value different from ack_sequence starts command once; writing the same value again starts "
     "nothing"},
    {"homing_direction", Holding, 8, U16, "", "", "rw", Gripper,
     "Direction of homing: 0 default, 1 outwards, 2 inwards"},
    {"stop", Coil, 0, U16, "", "", "w", Gripper,
     "Writing 1 stops the fingers at once, whatever runs or waits; reads 0"},
    {"fast_stop", Coil, 1, U16, "", "", "w", Gripper,
     "Writing 1 makes a fast stop at once; motion is refused until command 5 acknowledges it; reads 0"},
    {"link_up_bit", Discrete, 0, U16, "", "", "r", All, "The same as link_up, as a bit"},
    {"stale_bit", Discrete, 1, U16, "", "", "r", All, "The same as stale, as a bit"},
    {"motion_done_bit", Discrete, 2, U16, "", "", "r", Gripper, "The same as motion_done, as a bit"},
    {"fast_stopped", Discrete, 3, U16, "", "", "r", Gripper,
     "1 while the gripper is in fast stop (from system_state)"},
}};

bool Serves(TMapKinds Row, TMapKinds Unit) {
    return Row == All || Row == Unit;
}

QString CsvField(const QString& Text) {
    if (!Text.contains(QLatin1Char(',')) && !Text.contains(QLatin1Char('"')))
        return Text;
    QString quoted = Text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString KindsName(TMapKinds Kinds) {
    switch (Kinds) {
    case All:
        return QStringLiteral("all");
    case Gripper:
        return QStringLiteral("gripper");
    case Sensor:
        return QStringLiteral("sensor");
    }
    return {};
}

// Where each kind's status lies, for one read each.
QString Blocks() {
    auto last = [](const char* Name) {
        const TMapEntry& e = *ModbusMap::Find(Name);
        return e.Address + ModbusMap::Count(e) - 1;
    };
    return QStringLiteral(
               "A gripper's status is one read of input registers 0 to %1; a sensor's is registers 0 to %2 "
               "and %3 to %4. ")
        .arg(last("motions_failed"))
        .arg(last("device_kind"))
        .arg(ModbusMap::Find("frame_counter")->Address)
        .arg(last("frame_active_cells"));
}

// The device's status codes a controller meets in result_status, numbered from the protocol's own.
QString StatusCodes() {
    const std::pair<int, const char*> codes[] = {
        {E_SUCCESS, "success"},
        {E_NOT_INITIALIZED, "not initialized (homing needed)"},
        {E_ALREADY_RUNNING, "already running"},
        {E_TIMEOUT, "timeout (no answer from the device within 2 s)"},
        {E_ACCESS_DENIED, "access denied (a fast stop not acknowledged)"},
        {E_CMD_FAILED, "command failed (for a grasp: no part found)"},
        {E_CMD_ABORTED, "aborted by a stop"},
        {E_NOT_OPENED, "not opened (the link went down before the command was sent)"},
        {E_CMD_PENDING, "pending (the command runs)"},
        {E_RANGE_ERROR, "range error (a target outside the gripper's limits)"},
        {E_AXIS_BLOCKED, "axis blocked"},
    };
    QString out = QStringLiteral("The status codes `result_status` holds most often:");
    for (size_t i = 0; i < std::size(codes); ++i)
        out += QStringLiteral("%1 %2 %3")
                   .arg(i == 0 ? QStringLiteral("") : QStringLiteral(","))
                   .arg(codes[i].first)
                   .arg(QLatin1String(codes[i].second));
    return out + QStringLiteral(".\n\n");
}
} // namespace

namespace ModbusMap {

std::span<const TMapEntry> Entries() {
    return Table;
}

const TMapEntry* Find(const char* Name) {
    for (const TMapEntry& e : Table)
        if (std::strcmp(e.Name, Name) == 0)
            return &e;
    return nullptr;
}

int Count(const TMapEntry& Entry) {
    if (Entry.Table == Coil || Entry.Table == Discrete)
        return 1;
    return (Entry.Type == U32 || Entry.Type == S32 || Entry.Type == F32) ? 2 : 1;
}

int TableSize(TMapTable Which) {
    int size = 0;
    for (const TMapEntry& e : Table)
        if (e.Table == Which)
            size = std::max(size, e.Address + Count(e));
    return size;
}

bool Covered(TMapTable Which, int Address, int Length, TMapKinds Kind) {
    if (Length <= 0)
        return false;
    for (int a = Address; a < Address + Length; ++a) {
        bool found = false;
        for (const TMapEntry& e : Table)
            if (e.Table == Which && Serves(e.Kinds, Kind) && a >= e.Address && a < e.Address + Count(e)) {
                found = true;
                break;
            }
        if (!found)
            return false;
    }
    return true;
}

QString TableName(TMapTable Which) {
    switch (Which) {
    case Input:
        return QStringLiteral("input");
    case Holding:
        return QStringLiteral("holding");
    case Coil:
        return QStringLiteral("coil");
    case Discrete:
        return QStringLiteral("discrete");
    }
    return {};
}

QString TypeName(TMapType Type) {
    switch (Type) {
    case U16:
        return QStringLiteral("u16");
    case S16:
        return QStringLiteral("s16");
    case U32:
        return QStringLiteral("u32");
    case S32:
        return QStringLiteral("s32");
    case F32:
        return QStringLiteral("f32");
    }
    return {};
}

QString Csv() {
    QString out = QStringLiteral("name,table,address,count,type,scale,unit,access,description\n");
    for (const TMapEntry& e : Table) {
        // Bits have no type of their own; u16 keeps the column filled with one of its values.
        QStringList row{QString::fromUtf8(e.Name),
                        TableName(e.Table),
                        QString::number(e.Address),
                        QString::number(Count(e)),
                        TypeName(e.Type),
                        QString::fromUtf8(e.Scale),
                        QString::fromUtf8(e.Unit),
                        QString::fromUtf8(e.Access),
                        CsvField(QString::fromUtf8(e.Description) +
                                 (e.Kinds == All ? QString()
                                                 : QStringLiteral(" (") + KindsName(e.Kinds) +
                                                       QStringLiteral(" units)")))};
        out += row.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out;
}

QString Markdown() {
    QString out;
    out += QStringLiteral("# zel-gateway Modbus register map (version %1)\n\n").arg(Version);
    out +=
        QStringLiteral(
            "Written by `zel-gateway --print-map md` from the table the gateway serves; "
            "`modbus-map.csv` beside it is the same map for programs.\n\n"
            "Every device of the cell is one Modbus unit (its `unit` in the configuration). Addresses are "
            "zero-based protocol addresses (add 1 for the 1-based numbering of some PLC tools). 32-bit "
            "values take two registers, high word first; `f32` is IEEE 754 single precision. A scaled "
            "integer times its scale is the value in its unit. Rows marked gripper or sensor exist only "
            "on units of that kind; reading them elsewhere is an illegal data address.\n\n"
            "%1"
            "Values come from the device's own reports (every 100 ms unless the configuration says "
            "otherwise) and the temperature from a read once a second; `stale` is 1 when the last report is "
            "older than one second.\n\n"
            "## Commands: the handshake\n\n"
            "1. Write `target_position`, `target_speed` (and `grasp_force` for a grasp), then `command`.\n"
            "2. Write `sequence` with a value different from `ack_sequence` (for example the last one plus "
            "1, "
            "wrapping from 65535 to 1). The command starts once.\n"
            "3. `ack_sequence` then equals `sequence`, `motion_done` is 0 and `result_status` is 26 "
            "(pending) "
            "while the fingers move; when the command ends `result_status` holds its final status "
            "(0 success) and `motion_done` is 1. A command the device refuses at once ends at once.\n\n"
            "Writing `sequence` with the value of `ack_sequence` starts nothing, so a controller that "
            "reconnects "
            "and writes its registers again does not repeat the last command. Steps 1 and 2 may be one write "
            "of "
            "registers 0 to 7. When the gateway starts, `ack_sequence` is 0: a controller that finds it 0 "
            "while its own last sequence is not should take the gateway as restarted and not write that "
            "sequence again.\n\n"
            "`stop` and `fast_stop` act at once when 1 is written to them: they never wait for the handshake "
            "or for a command that waits for its answer, and are never refused for being busy. After a fast "
            "stop, motion is refused until command 5 acknowledges it.\n\n")
            .arg(Blocks());
    out += StatusCodes();
    out += QStringLiteral(
        "## Refusals\n\n"
        "| exception | code | when |\n|---|---|---|\n"
        "| illegal function | 1 | a function other than 1, 2, 3, 4, 5, 6, 15, 16; any write while writes are "
        "off or from a client not on the allow list |\n"
        "| illegal data address | 2 | an address that is not in the map for the unit's kind, or a count that "
        "runs past the end of a block |\n"
        "| illegal data value | 3 | a new `sequence` while `command` holds no command of the list |\n"
        "| gateway path unavailable | 10 | a unit identifier that no device of the configuration has |\n"
        "| gateway target device failed to respond | 11 | a new `sequence`, `stop` or `fast_stop` while the "
        "link to the device is down |\n\n"
        "## Registers\n\n"
        "| name | table | address | count | type | scale | unit | access | units | description |\n"
        "|---|---|---|---|---|---|---|---|---|---|\n");
    for (const TMapEntry& e : Table)
        out += QStringLiteral("| `%1` | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 |\n")
                   .arg(QString::fromUtf8(e.Name), TableName(e.Table), QString::number(e.Address),
                        QString::number(Count(e)), TypeName(e.Type), QString::fromUtf8(e.Scale),
                        QString::fromUtf8(e.Unit), QString::fromUtf8(e.Access), KindsName(e.Kinds))
                   .arg(QString::fromUtf8(e.Description));
    return out;
}

} // namespace ModbusMap
