#include "ZelctlChecks.h"

#include "zel/ZEL.h"
#include "ZelctlReports.h"
#include "ZelctlSession.h"
#include "ZelctlValues.h"

#include <algorithm>

using namespace ZelctlValues;

namespace {
uint8_t QueryID(TZelctlExpectation::TQuantity Q) {
    static const uint8_t ids[] = {TZEL::GET_POS, TZEL::GET_FORCE, TZEL::GET_GRASPING_STATE,
                                  TZEL::GET_SYSTEM_STATE};
    return ids[Q];
}

QString Shown(const TZelctlExpectation& E, double Value) {
    switch (E.Quantity) {
    case TZelctlExpectation::Position:
        return Fixed(Value, 2) + QStringLiteral(" mm");
    case TZelctlExpectation::Force:
        return Fixed(Value, 1) + QStringLiteral(" N");
    case TZelctlExpectation::State:
        return GraspingStateText(int(Value));
    case TZelctlExpectation::Flag:
        break;
    }
    // "Fast stop on": the flag's name is the expectation's text without its last word.
    return E.Text.section(QLatin1Char(' '), 0, -2) +
           ((uint32_t(Value) & E.Mask) ? QStringLiteral(" on") : QStringLiteral(" off")) +
           QStringLiteral(" (system state ") + SystemStateText(uint32_t(Value)) + QLatin1Char(')');
}

QJsonValue Found(const TZelctlExpectation& E, double Value) {
    switch (E.Quantity) {
    case TZelctlExpectation::Position:
        return Quantity(Shortest(float(Value)), Mm);
    case TZelctlExpectation::Force:
        return Quantity(Shortest(float(Value)), Newton);
    case TZelctlExpectation::State:
        return GraspingStateObject(int(Value));
    case TZelctlExpectation::Flag:
        break;
    }
    return SystemStateObject(uint32_t(Value));
}

QJsonObject Expected(const TZelctlExpectation& E) {
    switch (E.Quantity) {
    case TZelctlExpectation::Position:
    case TZelctlExpectation::Force:
        return {{QStringLiteral("low"), E.Low},
                {QStringLiteral("high"), E.High},
                {QStringLiteral("unit"), E.Quantity == TZelctlExpectation::Position ? Mm : Newton}};
    case TZelctlExpectation::State:
        return GraspingStateObject(E.GraspingState);
    case TZelctlExpectation::Flag:
        break;
    }
    return {{QStringLiteral("flag"), E.Text.section(QLatin1Char(' '), 0, -2)}, {QStringLiteral("on"), E.On}};
}

// The gripper's report of the quantity calls Note.
void Listen(TZelctlReportListeners& Listeners, TZelctlExpectation::TQuantity Q,
            const TDeviceNotifyEvent& Note) {
    TZEL& g = Listeners.G;
    switch (Q) {
    case TZelctlExpectation::Position:
        g.OnPositionChange.Add(&Listeners, Note);
        break;
    case TZelctlExpectation::Force:
        g.OnForceChange.Add(&Listeners, Note);
        break;
    case TZelctlExpectation::State:
        g.OnGraspingStateChange.Add(&Listeners, Note);
        break;
    case TZelctlExpectation::Flag:
        g.OnSystemStateChange.Add(&Listeners, Note);
        break;
    }
}
} // namespace

double TZelctlChecks::Present(const TZelctlExpectation& E) const {
    const TZEL& g = *FSession.Gripper();
    switch (E.Quantity) {
    case TZelctlExpectation::Position:
        return g.Position;
    case TZelctlExpectation::Force:
        return g.Force;
    case TZelctlExpectation::State:
        return g.GraspingState;
    case TZelctlExpectation::Flag:
        break;
    }
    return g.SystemState;
}

bool TZelctlChecks::Query(const TZelctlExpectation& E, double& Value) {
    TZEL& g = *FSession.Gripper();
    const uint8_t id = QueryID(E.Quantity);
    TByteArray data;
    TStat status = E_SUCCESS;
    // The answer is decoded into the gripper's properties like any report.
    bool done = false;
    try {
        done = g.ExecuteCommand(id, {}, data, status);
    } catch (const std::exception&) {
        // An answer that never came because the link went is told as the link's end.
        if (g.IsConnected())
            throw;
    }
    if (!g.IsConnected())
        return FReport.Fail(QStringLiteral("Connection closed while reading the %1").arg(E.QuantityName()));
    if (!done)
        return FReport.Fail(
            QStringLiteral("Error while reading the %1: %2").arg(E.QuantityName(), Refused(g)));
    const size_t size = E.Quantity == TZelctlExpectation::State ? 1 : 4;
    if (status != E_SUCCESS || data.size() != size)
        return FReport.Fail(QStringLiteral("The answer to %1 is not a %2: %3, %4 data bytes")
                                .arg(CommandName(g, id), E.QuantityName(), StatText(status))
                                .arg(data.size()));
    Value = Present(E);
    return true;
}

bool TZelctlChecks::Judge(const TZelctlCommand& C, const TZelctlExpectation& E, double Value,
                          const QString& Failure) {
    FReport.Set("check", E.QuantityName());
    FReport.Set("expected", Expected(E));
    FReport.Set("found", Found(E, Value));
    if (E.Holds(Value)) {
        FReport.Print(QStringLiteral("Check passed: %1 %2 (expected %3)")
                          .arg(E.QuantityName(), Shown(E, Value), E.Text));
        return true;
    }
    const QString where = C.Origin.isEmpty() ? QString() : C.Origin + QStringLiteral(": ");
    return FReport.CheckFail(
        where + Failure +
        QStringLiteral("expected %1 %2, found %3").arg(E.QuantityName(), E.Text, Shown(E, Value)));
}

bool TZelctlChecks::Expect(const TZelctlCommand& C) {
    TZelctlExpectation e;
    QString error;
    if (!TZelctlExpectation::Parse(C.Args, false, e, error))
        return FReport.Fail(error);
    double value = 0;
    if (!Query(e, value))
        return false;
    return Judge(C, e, value, QStringLiteral("Check failed: "));
}

bool TZelctlChecks::WaitFor(const TZelctlCommand& C) {
    TZelctlExpectation e;
    QString error;
    if (!TZelctlExpectation::Parse(C.Args, true, e, error))
        return FReport.Fail(error);
    TZEL& g = *FSession.Gripper();
    bool seen = false;
    double value = 0;
    TZelctlReportListeners listeners{g};
    Listen(listeners, e.Quantity, [&](TKORADevice*) {
        seen = true;
        value = Present(e);
        FSession.Wake();
    });
    const uint8_t id = QueryID(e.Quantity);
    QElapsedTimer clock;
    clock.start();
    // The answer to switching on carries the present value; later reports come with every change.
    const TStat on = g.SetAutoUpdate(id, true, 50, true);
    if (!Accepted(on))
        return FReport.Fail(
            QStringLiteral("Error while switching on automatic updates: %1").arg(StatText(on)));
    FSession.WaitFor([&] { return (seen && e.Holds(value)) || !g.IsConnected(); },
                     int(std::max<qint64>(0, e.TimeoutMs - clock.elapsed())));
    // The answer to switching off carries a value of its own, later than the one that was judged.
    const bool seenInTime = seen;
    const double found = value;
    if (!g.IsConnected())
        return FReport.Fail(
            QStringLiteral("Connection closed while waiting for the %1").arg(e.QuantityName()));
    const QString limit = QString::number(e.TimeoutMs / 1000.0);
    if (!(seenInTime && e.Holds(found)) || FReport.Stopped()) {
        // The check ends at its own limit: a device that has stopped answering must not hold it
        // for another response timeout, so the reports are switched off without waiting.
        try {
            g.PostCommand(id, TZEL::AutoUpdatePayload(false, 0, false));
        } catch (const std::exception&) {
            // The link is failing; the check's outcome is what is reported.
        }
        if (!FReport.CheckAsyncErrors() || FReport.Stopped())
            return false;
        if (!seenInTime)
            return FReport.CheckFail(
                QStringLiteral("%1No report of the %2 within %3 s")
                    .arg(C.Origin.isEmpty() ? QString() : C.Origin + QStringLiteral(": "), e.QuantityName(),
                         limit));
        return Judge(C, e, found, QStringLiteral("Not reached within %1 s: ").arg(limit));
    }
    const TStat off = g.SetAutoUpdate(id, false, 0, false);
    if (!FReport.CheckAsyncErrors())
        return false;
    if (!Accepted(off))
        return FReport.Fail(
            QStringLiteral("Error while switching off automatic updates: %1").arg(StatText(off)));
    return Judge(C, e, found, QStringLiteral("Not reached within %1 s: ").arg(limit));
}
