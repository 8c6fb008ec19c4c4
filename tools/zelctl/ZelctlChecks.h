#pragma once
// zelctl's checks of the gripper's state: expect asks the device for the present value, wait-for
// watches its reports until the value holds or the time is up. A value that does not hold fails
// the check, anything else fails the command.
#include "ZelctlArguments.h"
#include "ZelctlCommands.h"

class TZelctlReport;
class TZelctlSession;

class TZelctlChecks {
public:
    TZelctlChecks(TZelctlSession& Session, TZelctlReport& Report) : FSession(Session), FReport(Report) {}

    bool Expect(const TZelctlCommand& C);
    bool WaitFor(const TZelctlCommand& C);

private:
    // The present value of what an expectation checks, asked of the device.
    bool Query(const TZelctlExpectation& E, double& Found);
    // The value as the gripper's properties hold it.
    double Present(const TZelctlExpectation& E) const;
    bool Judge(const TZelctlCommand& C, const TZelctlExpectation& E, double Found, const QString& Failure);

    TZelctlSession& FSession;
    TZelctlReport& FReport;
};
