// The register map: the published files are the ones the served table writes, and the table
// itself is sound (no two rows on one register, every row inside its unit's image).
#include "ModbusMap.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSet>

namespace {

QString Published(const char* Name) {
    QFile file(QStringLiteral(ZEL_SOURCE_DIR "/docs/") + QLatin1String(Name));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("(cannot read %1)").arg(file.fileName());
    return QString::fromUtf8(file.readAll());
}

TEST(ModbusMap, PublishedFilesEqualTheServedTable) {
    // On a difference: zel-gateway --print-map csv > docs/modbus-map.csv (and md), and raise the
    // map's version when a row changed meaning.
    EXPECT_EQ(Published("modbus-map.csv").toStdString(), ModbusMap::Csv().toStdString());
    EXPECT_EQ(Published("modbus-map.md").toStdString(), ModbusMap::Markdown().toStdString());
}

TEST(ModbusMap, RowsNeverShareARegister) {
    QSet<QString> names;
    for (const TMapEntry& a : ModbusMap::Entries()) {
        EXPECT_FALSE(names.contains(QString::fromUtf8(a.Name))) << a.Name;
        names.insert(QString::fromUtf8(a.Name));
        for (const TMapEntry& b : ModbusMap::Entries()) {
            if (&a == &b || a.Table != b.Table)
                continue;
            const bool apart =
                a.Address + ModbusMap::Count(a) <= b.Address || b.Address + ModbusMap::Count(b) <= a.Address;
            EXPECT_TRUE(apart) << a.Name << " and " << b.Name;
        }
        EXPECT_LE(a.Address + ModbusMap::Count(a), ModbusMap::TableSize(a.Table)) << a.Name;
    }
    for (const char* name :
         {"map_version", "link_up", "stale", "system_state", "grasping_state", "position", "force",
          "temperature", "position_um", "ack_sequence", "result_status", "motion_done", "target_position",
          "target_speed", "grasp_force", "command", "sequence", "stop", "fast_stop"})
        EXPECT_NE(ModbusMap::Find(name), nullptr) << name;
}

TEST(ModbusMap, CoverageFollowsTheUnitsKind) {
    using enum TMapTable;
    using enum TMapKinds;
    const int block = ModbusMap::Find("motions_failed")->Address + 2;
    EXPECT_TRUE(ModbusMap::Covered(Input, 0, block, Gripper)) << "a gripper's status is one read";
    EXPECT_FALSE(ModbusMap::Covered(Input, 0, block + 1, Gripper)) << "one past the end";
    EXPECT_FALSE(ModbusMap::Covered(Input, 0, 5, Sensor)) << "gripper rows on a sensor";
    EXPECT_TRUE(ModbusMap::Covered(Input, 0, 4, Sensor));
    const TMapEntry& counter = *ModbusMap::Find("frame_counter");
    EXPECT_TRUE(ModbusMap::Covered(Input, counter.Address, 2, Sensor));
    EXPECT_FALSE(ModbusMap::Covered(Input, counter.Address, 2, Gripper));
    EXPECT_FALSE(ModbusMap::Covered(Holding, 0, 0, Gripper)) << "nothing to read";
    EXPECT_FALSE(ModbusMap::Covered(Coil, 0, 1, Sensor)) << "a sensor has no stop";
}

} // namespace
