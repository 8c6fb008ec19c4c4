#pragma once
// The register map every unit serves: one table from which the gateway serves its registers and
// from which docs/modbus-map.csv and docs/modbus-map.md are written, so that they cannot disagree.
#include <QString>

#include <cstdint>
#include <span>

enum class TMapTable { Input, Holding, Coil, Discrete };
enum class TMapType { U16, S16, U32, S32, F32 };
// Which units carry a row: every unit, grippers only or sensors only.
enum class TMapKinds { All, Gripper, Sensor };

struct TMapEntry {
    const char* Name;
    TMapTable Table;
    uint16_t Address;
    TMapType Type;
    const char* Scale; // empty, or the factor from register to unit
    const char* Unit;
    const char* Access; // "r", "w" or "rw"
    TMapKinds Kinds;
    const char* Description;
};

namespace ModbusMap {
// Raised whenever a row changes meaning, moves or goes away.
constexpr uint16_t Version = 1;

std::span<const TMapEntry> Entries();
const TMapEntry* Find(const char* Name);
int Count(const TMapEntry& Entry); // registers or bits the row takes
// One past the highest address used in Table (the size of the unit's image).
int TableSize(TMapTable Table);
// True when every address in [Address, Address + Count) belongs to a row of Table for Kind.
bool Covered(TMapTable Table, int Address, int Count, TMapKinds Kind);

QString TableName(TMapTable Table);
QString TypeName(TMapType Type);
QString Csv();
QString Markdown();
} // namespace ModbusMap
