// zelctl as a separate process against the simulator on its own thread.
#include "Simulator.h"
#include "TempSettingsFolder.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {
struct TRun {
    int Exit = -1;
    QString Out;
    QString Err;
};

class ZelctlE2E : public ::testing::Test {
protected:
    void Start(zelsim::TSimConfig Config) {
        Config.TcpPort = 0;
        Config.UdpPort = 0;
        Sim = std::make_unique<zelsim::TSimThread>(Config);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
    }
    QStringList Tcp() const { return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(Sim->TcpPort())}; }

    TRun Zelctl(const QStringList& Args) {
        QProcess p;
        p.setWorkingDirectory(Dir.path());
        // Never beside the binary in the build tree.
        p.start(QStringLiteral(ZELCTL_PATH), QStringList{"--settings", Dir.path()} + Args);
        TRun r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "zelctl did not finish: " << Args.join(' ').toStdString();
        }
        r.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.Out = QString::fromUtf8(p.readAllStandardOutput());
        r.Err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QTemporaryDir Dir;
    std::unique_ptr<zelsim::TSimThread> Sim;
};
} // namespace

TEST_F(ZelctlE2E, HomeMoveGraspReleaseStatsAndLimits) {
    zelsim::TSimConfig cfg;
    cfg.Gripper.PartWidth = 20;
    Start(cfg);
    const TRun r = Zelctl(Tcp() << "home"
                                << "move"
                                << "60"
                                << "400"
                                << "grasp"
                                << "20"
                                << "400"
                                << "release"
                                << "60"
                                << "400"
                                << "stats"
                                << "limits");
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QStringList expected = {
        "Command HOMING finished: No error.",
        "Command MOVE finished: No error.",
        "Command GRASP finished: No error.",
        "Command RELEASE finished: No error.",
        "Number of grasps: 1",
        "Number of not found parts: 0",
        "Stroke: 110 mm",
        "Maximum speed: 420 mm/s",
        "Overdrive force: 120 N",
    };
    qsizetype from = 0;
    for (const QString& line : expected) {
        const qsizetype at = r.Out.indexOf(line, from);
        EXPECT_GE(at, 0) << "missing in order: " << line.toStdString() << "\n" << r.Out.toStdString();
        from = at < 0 ? from : at;
    }
}

TEST_F(ZelctlE2E, RefusedMotionFastStopAndAcknowledgement) {
    Start(zelsim::TSimConfig());
    // Not referenced yet: the device refuses the motion, zelctl says so and fails.
    TRun r = Zelctl(Tcp() << "move"
                          << "50"
                          << "50"
                          << "info");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Command MOVE failed: "))) << r.Err.toStdString();
    EXPECT_FALSE(r.Out.contains(QStringLiteral("Device type:"))); // stops at the first failure

    r = Zelctl(Tcp() << "--keep-going"
                     << "home"
                     << "fast-stop"
                     << "move"
                     << "40"
                     << "400"
                     << "ack"
                     << "move"
                     << "40"
                     << "400");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Out.contains(QStringLiteral("Command FAST_STOP finished: No error.")));
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Command MOVE failed: "))) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains(QStringLiteral("Command FAST_STOP_ACK finished: No error.")));
    EXPECT_TRUE(r.Out.contains(QStringLiteral("Command MOVE finished: No error."))) << r.Out.toStdString();
}

TEST_F(ZelctlE2E, ScriptOverUdpWithSendAndWatch) {
    zelsim::TSimConfig cfg;
    cfg.Gripper.StartReferenced = true;
    Start(cfg);
    QFile script(Dir.filePath(QStringLiteral("rig.txt")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("# rig check\n"
                 "send 0x06 1 2 \"AB\"\n"
                 "tag bench 7\n"
                 "tag\n"
                 "watch 0.3\n");
    script.close();
    const TRun r = Zelctl(
        {"--udp", QStringLiteral("127.0.0.1:%1:0").arg(Sim->UdpPort()), "--script", script.fileName()});
    // Listening port 0 is no valid port: refused before anything is opened.
    EXPECT_EQ(r.Exit, 2);

    const TRun ok =
        Zelctl({"--udp", QStringLiteral("127.0.0.1:%1:%2").arg(Sim->UdpPort()).arg(Sim->UdpPort() + 1),
                "--script", script.fileName()});
    EXPECT_EQ(ok.Exit, 0) << ok.Err.toStdString();
    EXPECT_TRUE(
        ok.Out.contains(QStringLiteral("Response to command 06h (LOOP): No error, data: 01 02 41 42")));
    EXPECT_TRUE(ok.Out.contains(QStringLiteral("Device tag: \"bench 7\"")));
    EXPECT_TRUE(ok.Out.contains(QStringLiteral("System state: 00000001h (Referenced)")))
        << ok.Out.toStdString();
    EXPECT_TRUE(ok.Out.contains(QStringLiteral("Watch ended after")));
}

TEST_F(ZelctlE2E, UsageAndConnectionErrors) {
    TRun r = Zelctl({"--help"});
    EXPECT_EQ(r.Exit, 0);
    EXPECT_TRUE(r.Out.contains(QStringLiteral("--tcp HOST[:PORT]")));
    r = Zelctl({"move", "1"});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_FALSE(r.Err.isEmpty());

    zelsim::TSimConfig cfg;
    cfg.Device = zelsim::EDeviceKind::Sensor;
    Start(cfg);
    r = Zelctl(Tcp() << "info");
    EXPECT_EQ(r.Exit, 3);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Connected device is not a ZEL Series Gripper")));
    r = Zelctl(Tcp() << "--sensor"
                     << "info");
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains(QStringLiteral("Device type: TAQ")));
    const quint16 closed = Sim->TcpPort();
    Sim.reset();
    r = Zelctl({"--tcp", QStringLiteral("127.0.0.1:%1").arg(closed), "--connect-timeout", "3", "info"});
    EXPECT_EQ(r.Exit, 3);
    EXPECT_FALSE(r.Err.isEmpty());
}
