#pragma once
// Whose packets a command log holds: the device it logs, or for a log opened from a file the kind
// of device its command names tell. It names the commands and finds their field tables.
#include <QPointer>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

class TKORADevice;
struct TCommandFields;
struct TLogOptions;

enum class TLogDeviceKind { dkGeneric, dkGripper, dkSensor };

class TCommLogDecoder {
public:
    // Not owned; may be null.
    void SetDevice(TKORADevice* Device);
    // A log opened from a file: no device; its commands are named after Kind.
    void SetOpened(TLogDeviceKind Kind);
    TLogDeviceKind Kind() const { return FKind; }
    // A matrix sensor, whose identifier 0 carries frame data.
    bool Sensor() const { return FSensor; }
    bool Opened() const { return FOpened; }

    const TCommandFields* FieldsOf(int32_t ID) const;
    // Lines with the device's part of the options filled in: the sensor, the names, the fields.
    TLogOptions Complete(TLogOptions Lines) const;
    // The commands a filter offers: the device's own, then the generic ones, by identifier.
    std::vector<std::pair<int32_t, std::string>> FilterCommands() const;
    // A saved log names its commands: the sensor's and the gripper's names tell them apart.
    static TLogDeviceKind KindOfNames(const std::set<std::string>& Names);

private:
    QPointer<TKORADevice> FDevice;
    TLogDeviceKind FKind = TLogDeviceKind::dkGeneric;
    bool FSensor = false;
    bool FOpened = false;
};
