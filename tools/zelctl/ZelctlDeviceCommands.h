#pragma once
// The handlers of zelctl's command table: the device's commands (info, motion, values, send,
// watch, sleep) and their exchanges with the device, up to the final result of a pending command;
// expect and wait-for go on to the checks.
#include "ZelctlArguments.h"

#include "protocol/AsyncResultEventList.h"
#include "protocol/Types.h"
#include "protocol/stat.h"

#include <cstdint>
#include <functional>
#include <map>

class TZEL;
class TZelctlChecks;
class TZelctlReport;
class TZelctlSession;

class TZelctlDeviceCommands {
public:
    TZelctlDeviceCommands(TZelctlSession& Session, TZelctlReport& Report, TZelctlChecks& Checks)
        : FSession(Session), FReport(Report), FChecks(Checks) {}

    // The handlers of the command table's rows. Gripper rows are called only with a gripper.
    bool Info(const TZelctlCommand& C);
    bool Temperature(const TZelctlCommand& C);
    bool Tag(const TZelctlCommand& C);
    bool Home(const TZelctlCommand& C);
    bool Move(const TZelctlCommand& C);
    bool Grasp(const TZelctlCommand& C);
    bool Release(const TZelctlCommand& C);
    bool Stop(const TZelctlCommand& C);
    bool FastStop(const TZelctlCommand& C);
    bool Ack(const TZelctlCommand& C);
    bool Acceleration(const TZelctlCommand& C);
    bool ForceLimit(const TZelctlCommand& C);
    bool Stats(const TZelctlCommand& C);
    bool Limits(const TZelctlCommand& C);
    bool Send(const TZelctlCommand& C);
    bool Watch(const TZelctlCommand& C);
    bool Expect(const TZelctlCommand& C);
    bool WaitFor(const TZelctlCommand& C);
    bool Sleep(const TZelctlCommand& C);

private:
    struct TFinalResult {
        int Count = 0;
        TStat Status = E_SUCCESS;
    };

    TZEL& Gripper() const;
    // A motion command: the first answer, then its final result.
    // A failed final result gets Explain's words, when given, after the status.
    bool RunMotion(uint8_t CommandID, const QString& FailurePrefix,
                   const std::function<TStat(const TAsyncResultEvent&)>& Start,
                   const std::function<QString()>& Explain = nullptr);
    bool WaitForFinal(uint8_t CommandID, int SeenBefore, TStat& Status);
    TAsyncResultEvent FinalHandler();
    bool Synchronous(TStat Status, uint8_t CommandID, const QString& FailurePrefix);
    // Refuses a value outside the system limits before anything is sent.
    bool InLimits(const QString& What, const QString& Value, float Low, float High, const QString& Unit);
    bool MotionInLimits(const TZelctlCommand& C, const QString& First);
    bool Value(const TZelctlCommand& C, bool Acceleration);
    // The words after a failed grasp: what the grasping state the device reports then says.
    QString GraspFailure(const TZelctlCommand& C);
    QString Name(int32_t CommandID) const;

    TZelctlSession& FSession;
    TZelctlReport& FReport;
    TZelctlChecks& FChecks;
    std::map<int32_t, TFinalResult> FFinals; // per identifier, results delivered so far
};
