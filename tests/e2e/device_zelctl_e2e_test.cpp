// zelctl as a separate process against the simulator on its own thread.
#include "CsvReader.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>

#include <sys/resource.h>

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

    TRun Zelctl(const QStringList& Args, const std::function<void()>& InChild = {}) {
        QProcess p;
        p.setWorkingDirectory(Dir.path());
        if (InChild)
            p.setChildProcessModifier(InChild);
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

    // The same link as one text.
    const TRun ok = Zelctl(
        {"--link", QStringLiteral("udp://127.0.0.1:%1?listen=%2").arg(Sim->UdpPort()).arg(Sim->UdpPort() + 1),
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
    EXPECT_TRUE(r.Out.contains(QStringLiteral("--link LINK")));
    r = Zelctl({"move", "1"});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_FALSE(r.Err.isEmpty());
    r = Zelctl({"--link", "tcp://127.0.0.1:0", "info"});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_TRUE(r.Err.contains(
        QStringLiteral("Invalid link 'tcp://127.0.0.1:0': port '0' is not a number from 1 to 65535")))
        << r.Err.toStdString();

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

TEST_F(ZelctlE2E, LogCsvRecordsTheExchangeBesideTheUsualOutput) {
    zelsim::TSimConfig cfg;
    cfg.Gripper.StartReferenced = true;
    Start(cfg);
    const QString path = Dir.filePath(QStringLiteral("trace.csv"));
    const TRun r = Zelctl(Tcp() << "--log"
                                << "--log-csv" << path << "move"
                                << "40"
                                << "400"
                                << "temperature");
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains(QStringLiteral("Command MOVE finished: No error.")));
    EXPECT_TRUE(r.Err.contains(QStringLiteral("    received: ID=46h (CMD_ID_GET_TEMPERATURE), Length=4: "
                                              "00 00 (E_SUCCESS) 38 01")))
        << r.Err.toStdString();

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QList<QStringList> rows;
    ASSERT_TRUE(ReadCsv(QString::fromUtf8(f.readAll()), rows));
    ASSERT_GE(rows.size(), 9);
    EXPECT_EQ(rows[0], (QStringList{"time_s", "direction", "id", "command", "length", "status", "payload",
                                    "fields"}));
    EXPECT_EQ(rows[1], (QStringList{"0.000", "sent", "50h", "GET_SYSINFO", "0", "", "", "no fields"}));
    // The motion: its request, the pending answer, later its final result.
    QStringList motion;
    double last = 0;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 8) << i;
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d{3}$")).match(rows[i][0]).hasMatch());
        EXPECT_GE(rows[i][0].toDouble(), last) << i;
        last = rows[i][0].toDouble();
        if (rows[i][3] == QLatin1String("MOVE"))
            motion << rows[i][1] + QLatin1Char(' ') + rows[i][4] + QLatin1Char(' ') + rows[i][5];
    }
    EXPECT_EQ(motion, (QStringList{"sent 9 ", "received 2 E_CMD_PENDING", "received 2 E_SUCCESS"}));
    EXPECT_EQ(rows[rows.size() - 2],
              (QStringList{rows[rows.size() - 2][0], "sent", "46h", "CMD_ID_GET_TEMPERATURE", "0", "", "",
                           "no fields"}));
    EXPECT_EQ(rows.last().mid(1), (QStringList{"received", "46h", "CMD_ID_GET_TEMPERATURE", "4", "E_SUCCESS",
                                               "00 00 38 01", "E_SUCCESS, temperature 31.20 °C"}));
    // The printed log carries the same fields under each packet.
    EXPECT_TRUE(r.Err.contains(QStringLiteral("\n      MOVE: flags 0, position 40.00 mm, speed 400.00 mm/s\n")))
        << r.Err.toStdString();

    // A log that cannot be created stops zelctl before it connects.
    const TRun bad = Zelctl(Tcp() << "--log-csv" << Dir.filePath(QStringLiteral("gone/trace.csv")) << "info");
    EXPECT_EQ(bad.Exit, 2);
    EXPECT_TRUE(bad.Err.startsWith(QStringLiteral("zelctl: Cannot write the log file ")))
        << bad.Err.toStdString();
    EXPECT_TRUE(bad.Out.isEmpty());
}

TEST_F(ZelctlE2E, ScriptOfChecksFailsWithItsOwnExitStatusAndReportsToJUnit) {
    QFile script(Dir.filePath(QStringLiteral("rig.txt")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("home\n"
                 "repeat 2\n"
                 "  grasp 20 400\n"
                 "  expect state holding\n"
                 "  expect position 20 0.5\n"
                 "  release 60 400\n"
                 "  wait-for position 60 0.5 --timeout 5\n"
                 "end\n"
                 "stats\n");
    script.close();
    // Both named as a rig's job would, in its working folder.
    const QString junit = QStringLiteral("rig.xml");
    auto report = [&] {
        QFile f(Dir.filePath(junit));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };

    zelsim::TSimConfig cfg;
    cfg.Gripper.PartWidth = 20;
    Start(cfg);
    TRun r = Zelctl(Tcp() << "--script"
                          << "rig.txt"
                          << "--junit" << junit);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out.count(QStringLiteral("Check passed: position 20.00 mm (expected 20 +/- 0.5 mm)")), 2)
        << r.Out.toStdString();
    QString xml = report();
    EXPECT_TRUE(xml.contains(QStringLiteral("tests=\"4\" failures=\"0\" errors=\"0\" skipped=\"0\"")))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains(QStringLiteral("name=\"rig.txt:2: repeat 2, pass 2\""))) << xml.toStdString();

    // A part a little wider than the script expects: grasped, but the position check fails.
    cfg.Gripper.PartWidth = 21.5;
    Start(cfg);
    r = Zelctl(Tcp() << "--script"
                     << "rig.txt"
                     << "--junit" << junit);
    EXPECT_EQ(r.Exit, 4) << r.Err.toStdString();
    const QString failure =
        QStringLiteral("rig.txt:5: Check failed: expected position 20 +/- 0.5 mm, found 21.50 mm");
    EXPECT_TRUE(r.Err.contains(failure)) << r.Err.toStdString();
    EXPECT_FALSE(r.Out.contains(QStringLiteral("Number of grasps")));
    xml = report();
    EXPECT_TRUE(xml.contains(QStringLiteral("tests=\"3\" failures=\"1\" errors=\"0\" skipped=\"1\"")))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains(QStringLiteral("<failure message=\"") + failure)) << xml.toStdString();

    // The same run as JSON: one object a line on standard output, errors included.
    r = Zelctl(Tcp() << "--json"
                     << "--script"
                     << "rig.txt");
    EXPECT_EQ(r.Exit, 4);
    EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
    QJsonObject failed;
    QJsonObject last;
    for (const QString& line : r.Out.split('\n', Qt::SkipEmptyParts)) {
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8());
        ASSERT_TRUE(doc.isObject()) << line.toStdString();
        last = doc.object();
        if (last.value("ok") == QJsonValue(false))
            failed = last;
    }
    EXPECT_EQ(failed.value("command").toString(), "expect");
    EXPECT_EQ(failed.value("failure").toString(), "check");
    EXPECT_EQ(failed.value("error").toString(), failure);
    EXPECT_EQ(failed.value("found").toObject(), (QJsonObject{{"value", 21.5}, {"unit", "mm"}}));
    EXPECT_EQ(last.value("event").toString(), "end");
    EXPECT_EQ(last.value("exit").toInt(), 4);
}

TEST_F(ZelctlE2E, VersionsAgreeAndAFailedConnectNamesItsStep) {
    const TRun zelctl = Zelctl({"--version"});
    EXPECT_EQ(zelctl.Exit, 0);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^zelctl (\\d+\\.\\d+\\.\\d+)\n$")).match(zelctl.Out);
    ASSERT_TRUE(m.hasMatch()) << zelctl.Out.toStdString();
    // zel-sim is built beside zelctl, in one folder of programs or in its own.
    const QString tools = QFileInfo(QStringLiteral(ZELCTL_PATH)).absolutePath();
    QString simPath = tools + QStringLiteral("/zel-sim");
    if (!QFileInfo::exists(simPath))
        simPath = tools + QStringLiteral("/../zel-sim/zel-sim");
    ASSERT_TRUE(QFileInfo::exists(simPath)) << "build zel-sim as well: " << simPath.toStdString();
    QProcess sim;
    sim.start(simPath, {"--version"});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(sim.readAllStandardOutput()),
              QStringLiteral("zel-sim %1\n").arg(m.captured(1)));

    zelsim::TSimConfig cfg;
    cfg.Faults.CloseAfter = 1; // the system information is answered, then the link goes
    Start(cfg);
    TRun r = Zelctl(Tcp() << "info");
    EXPECT_EQ(r.Exit, 3);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("The device did not answer the system limits request")))
        << r.Err.toStdString();
    cfg.Faults = zelsim::TFaultConfig();
    cfg.Faults.DropShare = 1;
    Start(cfg);
    r = Zelctl(Tcp() << "info");
    EXPECT_EQ(r.Exit, 3);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("The device did not answer the system information request")))
        << r.Err.toStdString();
}

// A disk that fills under the log: the run stops at the failed row with the system's reason and a
// status of its own, and the log ends after its last whole row.
TEST_F(ZelctlE2E, ALogOnAFullDiskStopsTheRunAtOnce) {
    zelsim::TSimConfig cfg;
    cfg.Gripper.StartReferenced = true;
    Start(cfg);
    const QString path = Dir.filePath(QStringLiteral("trace.csv"));
    const TRun r = Zelctl(Tcp() << "--log-csv" << path << "repeat"
                                << "300"
                                << "temperature"
                                << "end",
                          [] {
                              const rlimit limit{4096, 4096};
                              setrlimit(RLIMIT_FSIZE, &limit);
                          });
    EXPECT_EQ(r.Exit, 5) << r.Err.toStdString();
    EXPECT_TRUE(
        r.Err.contains(QStringLiteral("Error while writing the log file %1: File too large").arg(path)))
        << r.Err.toStdString();
    EXPECT_EQ(r.Err.count(QStringLiteral("Error while writing the log file")), 1) << r.Err.toStdString();
    EXPECT_LT(r.Out.count(QStringLiteral("Current device temperature")), 30);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray log = f.readAll();
    EXPECT_GT(log.size(), 3000);
    EXPECT_TRUE(log.endsWith("\r\n"));
    QList<QStringList> rows;
    ASSERT_TRUE(ReadCsv(QString::fromUtf8(log), rows));
    for (const QStringList& row : rows)
        EXPECT_EQ(row.size(), 8);
}

// SIGTERM during a repeat: the earlier report stays until the new one is whole, which then holds
// the commands run, the interrupted one as an error; the status tells the signal.
TEST_F(ZelctlE2E, ATerminatedRunLeavesAWholeReport) {
    zelsim::TSimConfig cfg;
    cfg.Gripper.StartReferenced = true;
    Start(cfg);
    const QString report = Dir.filePath(QStringLiteral("rig.xml"));
    {
        QFile earlier(report);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("<testsuites/>\n");
    }
    QProcess p;
    p.setWorkingDirectory(Dir.path());
    p.start(QStringLiteral(ZELCTL_PATH), QStringList{"--settings", Dir.path(), "--json", "--junit", report}
                                             << Tcp() << "repeat"
                                             << "1000"
                                             << "sleep"
                                             << "100"
                                             << "end");
    // The third pass has begun: the run is under way.
    QByteArray out;
    while (out.count("\"pass\"") < 3 && p.waitForReadyRead(30000))
        out += p.readAllStandardOutput();
    ASSERT_GE(out.count("\"pass\""), 3) << out.toStdString();
    QFile kept(report);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "<testsuites/>\n");
    kept.close();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(30000));
    out += p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 143);
    const QJsonObject end = QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
    EXPECT_EQ(end.value("event").toString(), "end") << out.toStdString();
    EXPECT_EQ(end.value("exit").toInt(), 143);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(kept.readAll());
    EXPECT_GE(xml.count(QStringLiteral("<testcase ")), 3) << xml.toStdString();
    EXPECT_EQ(xml.count(QStringLiteral("<error message=\"Terminated (SIGTERM)\"")), 1) << xml.toStdString();
    EXPECT_TRUE(xml.trimmed().endsWith(QStringLiteral("</testsuites>")));
    EXPECT_EQ(QDir(Dir.path()).entryList({QStringLiteral("rig.xml*")}, QDir::Files),
              QStringList{QStringLiteral("rig.xml")});
}
