#pragma once
// What the gateway needs of one device of the cell, whatever drives it: keep the link up, start
// commands and stops without waiting for them, and tell about the link and new values. The
// gateway never waits on a device; outcomes come back through callbacks.
#include "protocol/stat.h"

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>

enum class TCellCommand : uint16_t { Move = 1, Grasp = 2, Release = 3, Homing = 4, FastStopAck = 5 };

struct TCellArguments {
    float Position = 0;
    float Speed = 0;
    float Force = 0; // 0: keep the device's force limit
    uint8_t HomingDirection = 0;
};

// The last values a device reported.
struct TCellValues {
    uint32_t SystemState = 0;
    uint8_t GraspingState = 0;
    float Position = 0;
    float Force = 0;
    float Temperature = 0;
    // Sensor summary.
    uint32_t FrameCounter = 0;
    uint32_t FrameTotal = 0;
    uint16_t FrameMaximum = 0;
    uint16_t ActiveCells = 0;
    float CentreX = 0;
    float CentreY = 0;
    uint16_t MatrixWidth = 0;
    uint16_t MatrixHeight = 0;
};

class TCellDevice : public QObject {
    Q_OBJECT
public:
    // First: the device's first answer (E_CMD_PENDING while a motion runs); Final is true for the
    // last call, which carries the outcome. A command that could not be sent ends at once.
    using TOutcome = std::function<void(TStat Status, bool Final)>;

    using QObject::QObject;

    // Connects and keeps the link up until destroyed.
    virtual void Start() = 0;
    virtual bool LinkUp() const = 0;
    virtual void Run(TCellCommand Command, const TCellArguments& Arguments, TOutcome Outcome) = 0;
    // Goes out at once, also while a command waits for its answer.
    virtual void Stop(bool Fast) = 0;

    // The serial number the device told when it connected; 0 before.
    virtual uint32_t Serial() const { return 0; }

    const TCellValues& Values() const { return FValues; }
    // Milliseconds since the last report; -1 before the first.
    qint64 ValuesAge() const { return FReported.isValid() ? FReported.elapsed() : -1; }

signals:
    void LinkChanged(bool Up);
    void ValuesChanged();
    // Every exchange with the device, once it has ended: its first status and how long it took.
    void Exchanged(TStat Status, double Seconds);

protected:
    void NoteReport() {
        FReported.start();
        emit ValuesChanged();
    }
    TCellValues FValues;
    QElapsedTimer FReported;
};
