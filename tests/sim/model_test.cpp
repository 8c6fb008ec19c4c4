// The motion profile and the gripper model, driven with explicit times.
#include "GripperModel.h"
#include "MotionProfile.h"
#include "SensorModel.h"
#include "protocol/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zelsim;
using gripper::EGraspState;

TEST(MotionProfile, TrapezoidAndTriangleFollowTheirPhases) {
    // 100 mm at 100 mm/s with 1000 mm/s²: 0.1 s ramps of 5 mm each, 0.9 s cruise.
    const TMotionProfile t(0, 100, 100, 1000);
    EXPECT_NEAR(t.Duration(), 1.1, 1e-9);
    EXPECT_NEAR(t.PositionAt(0.05), 1.25, 1e-9);
    EXPECT_NEAR(t.PositionAt(0.6), 55, 1e-9);
    EXPECT_NEAR(t.SpeedAt(0.6), 100, 1e-9);
    EXPECT_NEAR(t.PositionAt(1.05), 100 - 1.25, 1e-9);
    EXPECT_EQ(t.PositionAt(5), 100);
    EXPECT_EQ(t.SpeedAt(5), 0);
    EXPECT_EQ(t.PositionAt(-1), 0);

    // Too short to reach 400 mm/s: a triangle that peaks halfway.
    const TMotionProfile tri(50, 40, 400, 5000);
    EXPECT_NEAR(tri.Duration(), 2 * std::sqrt(10.0 / 5000), 1e-9);
    EXPECT_NEAR(tri.PositionAt(tri.Duration() / 2), 45, 1e-9);
    EXPECT_LT(tri.SpeedAt(tri.Duration() / 2), 400);

    const TMotionProfile none(30, 30, 100, 1000);
    EXPECT_EQ(none.Duration(), 0);
    EXPECT_EQ(none.PositionAt(0.1), 30);
}

TEST(MotionProfile, PositionIsContinuousAndMonotonic) {
    for (const TMotionProfile& p : {TMotionProfile(0, 100, 100, 1000), TMotionProfile(110, 3, 420, 100),
                                    TMotionProfile(20, 21, 5, 5000)}) {
        const double dt = p.Duration() / 2000;
        const double dir = p.To() > p.From() ? 1 : -1;
        double last = p.From();
        for (int i = 1; i <= 2000; ++i) {
            const double x = p.PositionAt(i * dt);
            const double step = (x - last) * dir;
            ASSERT_GE(step, -1e-9) << "at step " << i;
            ASSERT_LE(step, p.SpeedAt(i * dt) * dt + 1e-6 + 0.5 * 5000 * dt * dt) << "at step " << i;
            last = x;
        }
        EXPECT_NEAR(last, p.To(), 1e-9);
    }
}

namespace {
TGripperConfig Config() {
    TGripperConfig c;
    c.StartPosition = 100;
    c.Acceleration = 1000;
    c.PartWidth = 20;
    c.PartTolerance = 2;
    c.ForceRate = 800; // 80 N in 0.1 s
    return c;
}

// Runs the model to the end of whatever it is doing and returns the final result.
TFinished RunOut(TGripperModel& m, double& now) {
    std::vector<TFinished> done;
    now = m.NextEventTime();
    while (done.empty() && std::isfinite(now)) {
        m.Advance(now, done);
        if (done.empty())
            now = m.NextEventTime();
    }
    return done.empty() ? TFinished{0, E_SUCCESS, 0} : done.front();
}
} // namespace

TEST(GripperModel, HomingIsNeededAndReferencesAtTheChosenEnd) {
    TGripperModel m(Config());
    double now = 0;
    EXPECT_EQ(m.Move(50, 100, now, 1), E_NOT_INITIALIZED);
    EXPECT_EQ(m.Grasp(20, 100, now, 1), E_NOT_INITIALIZED);
    EXPECT_EQ(m.Release(50, 100, now, 1), E_NOT_INITIALIZED);
    EXPECT_EQ(m.Homing(3, now, 1), E_INVALID_PARAMETER);

    ASSERT_EQ(m.Homing(2, now, 7), E_CMD_PENDING);
    EXPECT_TRUE(m.SystemState(0.05, 0) & gripper::SF_MOVING);
    EXPECT_EQ(m.Homing(0, 0.05, 7), E_ALREADY_RUNNING);
    const TFinished f = RunOut(m, now);
    EXPECT_EQ(f.CommandID, gripper::HOMING);
    EXPECT_EQ(f.Status, E_SUCCESS);
    EXPECT_EQ(f.Owner, 7u);
    EXPECT_EQ(m.Position(now), 0.0f);
    EXPECT_EQ(m.SystemState(now, 0) & (gripper::SF_REFERENCED | gripper::SF_MOVING), gripper::SF_REFERENCED);
}

TEST(GripperModel, RangeChecksRefuseOutOfLimitAndNonFiniteValues) {
    TGripperConfig c = Config();
    c.StartReferenced = true;
    TGripperModel m(c);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(m.Move(110.5f, 100, 0, 1), E_RANGE_ERROR);
    EXPECT_EQ(m.Move(-0.1f, 100, 0, 1), E_RANGE_ERROR);
    EXPECT_EQ(m.Move(50, 4.9f, 0, 1), E_RANGE_ERROR);
    EXPECT_EQ(m.Move(50, 421, 0, 1), E_RANGE_ERROR);
    EXPECT_EQ(m.Move(nan, 100, 0, 1), E_RANGE_ERROR);
    EXPECT_EQ(m.Grasp(20, std::numeric_limits<float>::infinity(), 0, 1), E_RANGE_ERROR);
    EXPECT_EQ(m.SetAcceleration(99), E_RANGE_ERROR);
    EXPECT_EQ(m.SetAcceleration(nan), E_RANGE_ERROR);
    EXPECT_EQ(m.SetForceLimit(81), E_RANGE_ERROR); // above nominal: overdrive is not for the limit
    EXPECT_EQ(m.SetForceLimit(4), E_RANGE_ERROR);
    EXPECT_EQ(m.Acceleration(), 1000.0f);
    EXPECT_EQ(m.ForceLimit(), 80.0f);
    EXPECT_EQ(m.SetForceLimit(40), E_SUCCESS);
    EXPECT_EQ(m.ForceLimit(), 40.0f);
    EXPECT_EQ(m.Move(110, 420, 0, 1), E_CMD_PENDING);
}

TEST(GripperModel, GraspFindsTheRightPartTightensAndHolds) {
    TGripperConfig c = Config();
    c.StartReferenced = true;
    TGripperModel m(c);
    ASSERT_EQ(m.Grasp(21, 100, 0, 1), E_CMD_PENDING);
    EXPECT_EQ(m.GraspState(), EGraspState::Grasping);
    std::vector<TFinished> done;
    // 80 mm to the part: 0.1 s ramps, 0.7 s cruise; then 0.1 s to build 80 N.
    m.Advance(0.85, done);
    EXPECT_GT(m.Position(0.85), 20.0f);
    EXPECT_EQ(m.Force(0.85), 0.0f);
    m.Advance(0.95, done);
    EXPECT_TRUE(done.empty());
    EXPECT_NEAR(m.Force(0.95), 40, 0.5);
    EXPECT_EQ(m.Position(0.95), 20.0f);
    EXPECT_FALSE(m.SystemState(0.95, 0) & gripper::SF_MOVING);
    m.Advance(1.0001, done);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status, E_SUCCESS);
    EXPECT_EQ(m.GraspState(), EGraspState::Holding);
    EXPECT_EQ(m.Force(1.1), 80.0f);
    EXPECT_EQ(m.Stats().Grasps, 1u);

    EXPECT_TRUE(m.LosePart());
    EXPECT_EQ(m.GraspState(), EGraspState::PartLost);
    EXPECT_EQ(m.Force(1.1), 0.0f);
    EXPECT_FALSE(m.LosePart());
    EXPECT_EQ(m.Stats().PartsLost, 1u);
}

TEST(GripperModel, GraspWithoutTheRightPartEndsNoPart) {
    struct Case {
        bool HasPart;
        float Nominal;
        float StopsAt;
    } cases[] = {{true, 30, 28}, {true, 10, 20}, {false, 20, 18}};
    for (const Case& k : cases) {
        TGripperConfig c = Config();
        c.StartReferenced = true;
        c.HasPart = k.HasPart;
        TGripperModel m(c);
        double now = 0;
        ASSERT_EQ(m.Grasp(k.Nominal, 200, now, 1), E_CMD_PENDING);
        const TFinished f = RunOut(m, now);
        EXPECT_EQ(f.Status, E_CMD_FAILED) << k.Nominal;
        EXPECT_EQ(m.GraspState(), EGraspState::NoPart);
        EXPECT_EQ(m.Position(now), k.StopsAt);
        EXPECT_TRUE(m.SystemState(now, 0) & gripper::SF_COMMAND_FAILURE);
        EXPECT_EQ(m.Stats().PartsNotFound, 1u);
        EXPECT_EQ(m.Force(now), 0.0f);
    }
}

TEST(GripperModel, MoveIntoThePartIsBlocked) {
    TGripperConfig c = Config();
    c.StartReferenced = true;
    TGripperModel m(c);
    double now = 0;
    ASSERT_EQ(m.Move(5, 200, now, 1), E_CMD_PENDING);
    const TFinished f = RunOut(m, now);
    EXPECT_EQ(f.Status, E_AXIS_BLOCKED);
    EXPECT_EQ(m.Position(now), 20.0f);
    EXPECT_TRUE(m.SystemState(now, 0) & gripper::SF_BLOCKED_MINUS);
    // Moving away clears the outcome of the last motion.
    ASSERT_EQ(m.Move(60, 200, now, 1), E_CMD_PENDING);
    EXPECT_FALSE(m.SystemState(now, 0) & gripper::SF_BLOCKED_MINUS);
    RunOut(m, now);
    EXPECT_TRUE(m.SystemState(now, 0) & gripper::SF_TARGET_POS_REACHED);
}

TEST(GripperModel, StopAndFastStopAbortWhereTheFingersAre) {
    TGripperConfig c = Config();
    c.StartReferenced = true;
    TGripperModel m(c);
    std::vector<TFinished> done;
    ASSERT_EQ(m.Move(50, 100, 0, 3), E_CMD_PENDING);
    m.Stop(0.3, done);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status, E_CMD_ABORTED);
    EXPECT_EQ(done[0].Owner, 3u);
    EXPECT_NEAR(m.Position(0.3), 100 - 25, 1e-4); // 5 mm ramp + 20 mm cruise
    EXPECT_TRUE(m.SystemState(1, 0) & gripper::SF_AXIS_STOPPED);
    EXPECT_EQ(m.Position(2), m.Position(0.3)); // it stays there

    done.clear();
    ASSERT_EQ(m.Grasp(20, 100, 1, 4), E_CMD_PENDING);
    m.FastStop(1.2, done);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status, E_CMD_ABORTED);
    EXPECT_TRUE(m.SystemState(1.2, 0) & gripper::SF_FAST_STOP);
    EXPECT_EQ(m.GraspState(), EGraspState::Error);
    EXPECT_EQ(m.Move(50, 100, 1.3, 1), E_ACCESS_DENIED);
    EXPECT_EQ(m.Homing(0, 1.3, 1), E_ACCESS_DENIED);
    m.FastStopAck();
    EXPECT_FALSE(m.SystemState(1.3, 0) & gripper::SF_FAST_STOP);
    EXPECT_EQ(m.GraspState(), EGraspState::Idle);
    EXPECT_EQ(m.Move(50, 100, 1.3, 1), E_CMD_PENDING);
}

TEST(GripperModel, HeldPartIsLostAfterTheConfiguredTimeAndStatsReset) {
    TGripperConfig c = Config();
    c.StartReferenced = true;
    c.LosePartAfterMs = 200;
    TGripperModel m(c);
    double now = 0;
    ASSERT_EQ(m.Grasp(20, 400, now, 1), E_CMD_PENDING);
    ASSERT_EQ(RunOut(m, now).Status, E_SUCCESS);
    const double held = now;
    EXPECT_NEAR(m.NextEventTime(), held + 0.2, 1e-9);
    std::vector<TFinished> done;
    m.Advance(held + 0.19, done);
    EXPECT_EQ(m.GraspState(), EGraspState::Holding);
    m.Advance(held + 0.2, done);
    EXPECT_EQ(m.GraspState(), EGraspState::PartLost);
    EXPECT_TRUE(done.empty());
    // The part is gone: a grasp finds nothing until a release lets the next one in.
    ASSERT_EQ(m.Grasp(20, 400, now + 1, 1), E_CMD_PENDING);
    now += 1;
    EXPECT_EQ(RunOut(m, now).Status, E_CMD_FAILED);
    ASSERT_EQ(m.Release(60, 400, now, 1), E_CMD_PENDING);
    RunOut(m, now);
    ASSERT_EQ(m.Grasp(20, 400, now, 1), E_CMD_PENDING);
    EXPECT_EQ(RunOut(m, now).Status, E_SUCCESS);
    EXPECT_EQ(m.Stats().Grasps, 3u);
    EXPECT_EQ(m.Stats().PartsNotFound, 1u);
    EXPECT_EQ(m.Stats().PartsLost, 1u);
    m.ResetStats();
    EXPECT_EQ(m.Stats().Grasps, 0u);
}

TEST(GripperModel, TemperatureFlagsFollowTheThresholds) {
    TGripperModel m(Config());
    EXPECT_FALSE(m.SystemState(0, 599) & gripper::SF_TEMPERATURE_WARNING);
    EXPECT_TRUE(m.SystemState(0, 600) & gripper::SF_TEMPERATURE_WARNING);
    EXPECT_FALSE(m.SystemState(0, 600) & gripper::SF_TEMPERATURE_FAULT);
    EXPECT_TRUE(m.SystemState(0, 750) & gripper::SF_TEMPERATURE_FAULT);
}

namespace {
// Decodes a frame the way the console does.
std::vector<int> Decode(const TByteArray& f, size_t Cells) {
    std::vector<int> out;
    const size_t words = (f.size() - 5) / 2;
    for (size_t i = 0; i < words; ++i) {
        const int16_t w = BytesToSmallInt(f[5 + 2 * i], f[6 + 2 * i]);
        if (f[4] == 2 && w < 0)
            out.insert(out.end(), size_t(-w), 0);
        else
            out.push_back(f[4] == 2 ? w : int(uint16_t(w)));
    }
    EXPECT_EQ(out.size(), Cells);
    return out;
}
} // namespace

TEST(SensorModel, RunLengthAndPlainFramesCarryTheSameCells) {
    TSensorConfig c;
    c.MatrixWidth = 5;
    c.MatrixHeight = 7;
    TSensorModel s(c);
    s.Tare(); // without the baseline most cells fall under the threshold
    for (double t : {0.0, 0.37, 1.9}) {
        const TByteArray plain = s.Frame(t, false), rle = s.Frame(t, true);
        EXPECT_EQ(plain.size(), 5u + 2 * 35);
        EXPECT_EQ(plain[4], 0);
        EXPECT_EQ(rle[4], 2);
        EXPECT_LT(rle.size(), plain.size());
        EXPECT_EQ(ReadLongWord(plain.data()), uint32_t(std::llround(t * 1000)));
        EXPECT_EQ(Decode(plain, 35), Decode(rle, 35));
    }
    // Runs longer than one word can express are split.
    std::vector<uint16_t> zeros(40000, 0);
    zeros.push_back(9);
    TByteArray out(5, 0);
    out[4] = 2;
    TSensorModel::AppendRunLength(zeros, out);
    EXPECT_EQ(Decode(out, 40001).back(), 9);
}
