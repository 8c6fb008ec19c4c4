// zelctl's commands on a session whose link is gone, and every command against the simulator.
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "ZelctlCommands.h"
#include "ZelctlReports.h"
#include "ZelctlRunner.h"
#include "ZelctlSession.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <map>

#include <gtest/gtest.h>

TEST(ZelctlRunner, CommandsWithoutALinkFailOnStandardError) {
    TTempSettingsFolder folder;
    TZelctlArguments args;
    QString parseError;
    ASSERT_TRUE(args.Parse({"--tcp", "127.0.0.1:1"}, parseError));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    TZelctlSession session(args, outStream, errStream);
    TZelctlRunner runner(session);
    const QList<QStringList> commands = {
        {"temperature"}, {"tag"},        {"tag", "bench 7"}, {"move", "50", "50"}, {"stop"},
        {"acc"},         {"acc", "500"}, {"stats"},          {"send", "6"},        {"watch", "0.1"},
    };
    for (const QStringList& c : commands) {
        out.clear();
        err.clear();
        EXPECT_FALSE(runner.Execute(TZelctlCommand{c[0], c.mid(1), QString()})) << c.join(' ').toStdString();
        EXPECT_TRUE(out.isEmpty()) << c.join(' ').toStdString() << ": " << out.toStdString();
        const QStringList lines = err.split('\n', Qt::SkipEmptyParts);
        EXPECT_FALSE(lines.isEmpty()) << c.join(' ').toStdString();
        for (const QString& line : lines)
            EXPECT_TRUE(line.startsWith("zelctl: ")) << line.toStdString();
    }
}

TEST(ZelctlRunner, DeviceTextIsPrintedWithControlBytesEscaped) {
    const std::pair<QString, QString> rows[] = {
        {"bench 7", "bench 7"},
        {QString::fromLatin1("a\x1B[2Jb"), "a\\x1B[2Jb"},
        {QString::fromLatin1("line\r\nnext\t\x7F"), "line\\x0D\\x0Anext\\x09\\x7F"},
        {QString(QChar(0x85)) + QChar(0xFC), QStringLiteral("\\x85\u00FC")},
        {"back\\slash", "back\\\\slash"},
    };
    for (const auto& [raw, shown] : rows)
        EXPECT_EQ(TZelctlReport::Printable(raw), shown) << raw.toStdString();
}

namespace {
// One use of every row of the command table, in an order the simulator accepts.
const std::vector<QStringList> EveryRow = {
    {"info"},
    {"temperature"},
    {"tag", "bench 7"},
    {"tag"},
    {"home"},
    {"limits"},
    {"acc", "1000"},
    {"force", "50"},
    {"force"},
    {"acc"},
    {"move", "60", "400"},
    {"wait-for", "position", "60", "0.5", "--timeout", "5"},
    {"grasp", "20", "400"},
    {"expect", "state", "holding"},
    {"expect", "force", "40..60"},
    {"expect", "flag", "fast-stop", "off"},
    {"stats", "--reset"},
    {"stats"},
    {"release", "60", "400"},
    {"expect", "position", "60", "0.5"},
    {"repeat", "2"},
    {"sleep", "10"},
    {"end"},
    {"send", "6", "1 2"},
    {"watch", "0.2"},
    {"stop"},
    {"fast-stop"},
    {"expect", "flag", "fast-stop", "on"},
    {"ack"},
};
} // namespace

// Every row parses from the command line, reaches its handler against the simulator and says so in
// one JSON object a line.
TEST(ZelctlCommandTable, EveryRowRunsAgainstTheSimulatorWithJsonOutput) {
    QStringList covered;
    for (const QStringList& c : EveryRow)
        covered << c[0];
    for (const TZelctlCommandRow& row : ZelctlCommandTable())
        EXPECT_TRUE(covered.contains(QLatin1String(row.Name))) << "no use of " << row.Name;

    zelsim::TSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Gripper.StartReferenced = true;
    zelsim::TSimThread sim(cfg);
    std::string simError;
    ASSERT_TRUE(sim.Start(&simError)) << simError;
    TTempSettingsFolder folder;
    QStringList words = {"--json", "--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.TcpPort())};
    for (const QStringList& c : EveryRow)
        words << c;
    TZelctlArguments args;
    QString parseError;
    ASSERT_TRUE(args.Parse(words, parseError)) << parseError.toStdString();
    ASSERT_EQ(args.Commands.size(), EveryRow.size());
    for (size_t i = 0; i < EveryRow.size(); ++i)
        EXPECT_EQ(QStringList{args.Commands[i].Name} + args.Commands[i].Args, EveryRow[i]);

    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    int exit = -1;
    {
        TZelctlSession session(args, outStream, errStream);
        TZelctlRunner runner(session);
        exit = runner.Run();
    }
    EXPECT_EQ(exit, TZelctlRunner::ExitOk) << out.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();

    std::map<QString, std::vector<QJsonObject>> byCommand;
    QList<QJsonObject> lines;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        ASSERT_TRUE(doc.isObject()) << error.errorString().toStdString() << ": " << line.toStdString();
        const QJsonObject o = doc.object();
        EXPECT_TRUE(o.value("time").isDouble()) << line.toStdString();
        lines << o;
        if (o.contains("command") && !o.contains("report"))
            byCommand[o.value("command").toString()].push_back(o);
    }
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.first().value("event").toString(), "connect");
    EXPECT_EQ(lines.first().value("device_type").toObject().value("name").toString(), "ZEL 11");
    EXPECT_EQ(lines.last().value("event").toString(), "end");
    EXPECT_EQ(lines.last().value("exit").toInt(-1), 0);
    for (const QString& name : covered) {
        if (name == "end") // closes its repeat: the passes show that it was reached
            continue;
        ASSERT_FALSE(byCommand[name].empty()) << name.toStdString();
        for (const QJsonObject& o : byCommand[name]) {
            EXPECT_TRUE(o.value("ok").toBool()) << QJsonDocument(o).toJson().toStdString();
        }
    }
    EXPECT_EQ(byCommand["repeat"].size(), 2u);
    EXPECT_EQ(byCommand["sleep"].size(), 2u);
    // Values as numbers with their units.
    EXPECT_DOUBLE_EQ(byCommand["temperature"][0]["temperature"].toObject()["value"].toDouble(), 31.2);
    EXPECT_EQ(byCommand["limits"][0]["limits"].toObject()["stroke"].toObject(),
              (QJsonObject{{"value", 110}, {"unit", "mm"}}));
    EXPECT_EQ(byCommand["move"][0]["status"].toObject()["name"].toString(), "E_SUCCESS");
    EXPECT_EQ(byCommand["force"][1]["force_limit"].toObject()["value"].toDouble(), 50);
    EXPECT_EQ(byCommand["tag"][1]["tag"].toString(), "bench 7");
    EXPECT_EQ(byCommand["send"][0]["data"].toString(), "01 02");
    EXPECT_EQ(byCommand["expect"][0]["found"].toObject(), (QJsonObject{{"code", 4}, {"name", "Holding"}}));
    EXPECT_EQ(byCommand["expect"][1]["found"].toObject()["value"].toDouble(), 50);
    EXPECT_NEAR(byCommand["wait-for"][0]["found"].toObject()["value"].toDouble(), 60, 0.5);
    EXPECT_EQ(byCommand["stats"][1]["grasps"].toInt(-1), 0);
    const QJsonObject last = byCommand["expect"].back()["found"].toObject();
    EXPECT_TRUE(last["flags"].toArray().contains(QJsonValue("Fast stop")))
        << QJsonDocument(last).toJson().toStdString();
    const auto reports = std::count_if(lines.begin(), lines.end(), [](const QJsonObject& o) {
        return o.value("command") == "watch" && o.contains("report");
    });
    EXPECT_GE(reports, 4); // the present values at least
}

// A failed check is told apart from a failed command, also with --keep-going; a value outside the
// limits read when connecting is refused before anything is sent.
TEST(ZelctlCommandTable, ChecksAndLimitsFailWithTheirOwnExitStatus) {
    zelsim::TSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Gripper.StartReferenced = true;
    zelsim::TSimThread sim(cfg);
    ASSERT_TRUE(sim.Start());
    TTempSettingsFolder folder;
    const QString link = QStringLiteral("127.0.0.1:%1").arg(sim.TcpPort());
    const struct {
        QStringList Words;
        int Exit;
        const char* Error;
    } rows[] = {
        {{"expect", "position", "20", "0.5", "info"},
         TZelctlRunner::ExitCheckFailed,
         "argument 3: Check failed: expected position 20 +/- 0.5 mm, found 55.00 mm"},
        {{"--keep-going", "expect", "state", "holding", "expect", "flag", "referenced", "off"},
         TZelctlRunner::ExitCheckFailed,
         "expected flag Referenced off, found Referenced on (system state 00000001h"},
        {{"wait-for", "force", "1..2", "--timeout", "0.2"},
         TZelctlRunner::ExitCheckFailed,
         "Not reached within 0.2 s: expected force 1 to 2 N, found 0.0 N"},
        {{"--keep-going", "expect", "state", "holding", "move", "500", "50"},
         TZelctlRunner::ExitCommandFailed,
         "Position 500 mm is outside the gripper's range of 0 to 110 mm; nothing was sent"},
        {{"move", "50", "1000"},
         TZelctlRunner::ExitCommandFailed,
         "Speed 1000 mm/s is outside the gripper's range of 5 to 420 mm/s; nothing was sent"},
        {{"force", "100"},
         TZelctlRunner::ExitCommandFailed,
         "Force limit 100 N is outside the gripper's range of 5 to 80 N; nothing was sent"},
        // A value exactly at a bound passes (the fingers stand at 55 mm, no force).
        {{"expect", "position", "55..60", "expect", "position", "50..55", "expect", "position", "54.5", "0.5",
          "expect", "force", "0..1", "expect", "position", "55.5", "0.5"},
         TZelctlRunner::ExitOk,
         "Check passed: position 55.00 mm (expected 55.5 +/- 0.5 mm)"},
        // The simulated part is 20 mm wide: the failure says what the device found.
        {{"grasp", "8", "50"},
         TZelctlRunner::ExitCommandFailed,
         "Command GRASP finished: Command failed. The device reports \"No part\": the fingers closed "
         "towards 8 mm and found no part of that width on their travel."},
    };
    for (const auto& r : rows) {
        TZelctlArguments args;
        QString parseError;
        ASSERT_TRUE(args.Parse(QStringList{"--tcp", link} + r.Words, parseError)) << parseError.toStdString();
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        TZelctlSession session(args, outStream, errStream);
        TZelctlRunner runner(session);
        EXPECT_EQ(runner.Run(), r.Exit) << r.Words.join(' ').toStdString() << "\n" << err.toStdString();
        EXPECT_TRUE((r.Exit == TZelctlRunner::ExitOk ? out : err).contains(QLatin1String(r.Error)))
            << err.toStdString() << out.toStdString();
        EXPECT_FALSE(out.contains("Device type")) << "ran on after the failure";
    }
}

// A wrong command line still ends with the end line under --json, and still leaves a JUnit report
// that shows the mistake as a failed case, even when the parse stopped before --junit.
TEST(ZelctlRunner, UsageErrorsEndTheJsonAndFillTheJUnitReport) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile script(dir.filePath(QStringLiteral("rig.txt")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("home\nmove 1\n");
    script.close();
    const QString report = dir.filePath(QStringLiteral("rig.xml"));
    const QStringList rows[] = {
        {"--json", "--tcp", "h", "--script", script.fileName(), "--junit", report},
        {"--tcp", "h", "--junit=" + report, "--script", script.fileName()},
    };
    for (const QStringList& words : rows) {
        SCOPED_TRACE(words.join(' ').toStdString());
        QFile::remove(report);
        TZelctlArguments args;
        QString error;
        ASSERT_FALSE(args.Parse(words, error));
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        EXPECT_EQ(TZelctlRunner::ReportUsage(words, args, error, outStream, errStream),
                  TZelctlRunner::ExitUsage);
        if (words.contains("--json")) {
            const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
            ASSERT_EQ(lines.size(), 2);
            const QJsonObject end = QJsonDocument::fromJson(lines.back().toUtf8()).object();
            EXPECT_EQ(end.value("event").toString(), "end");
            EXPECT_EQ(end.value("exit").toInt(), TZelctlRunner::ExitUsage);
            EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        } else {
            EXPECT_TRUE(err.contains("rig.txt:2: ")) << err.toStdString();
        }
        QFile xml(report);
        ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(xml.readAll());
        EXPECT_TRUE(text.contains("tests=\"1\" failures=\"0\" errors=\"1\"")) << text.toStdString();
        EXPECT_TRUE(text.contains("rig.txt:2: Wrong number of arguments for 'move'")) << text.toStdString();
    }
}

namespace {
struct TRunnerOutput {
    QString Out;
    QString Err;
    QTextStream OutStream{&Out};
    QTextStream ErrStream{&Err};
};

QByteArray ReadFile(const QString& Path) {
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

// A device that falls silent during wait-for: the check ends at its own limit as a failed check, not
// a response timeout after it; a link lost during expect is told as the link's end.
TEST(ZelctlRunner, ASilentDeviceFailsTheCheckAndALostLinkIsSaid) {
    std::atomic<int> requests{0}; // outlives the simulator, whose log counts here
    zelsim::TSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Gripper.StartReferenced = true;
    zelsim::TSimThread sim(cfg);
    ASSERT_TRUE(sim.Start());
    TTempSettingsFolder folder;
    TZelctlArguments args;
    QString parseError;
    ASSERT_TRUE(
        args.Parse({"--json", "--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.TcpPort())}, parseError));
    TRunnerOutput o;
    TZelctlSession session(args, o.OutStream, o.ErrStream);
    TZelctlRunner runner(session);
    ASSERT_TRUE(session.Connect()) << o.Err.toStdString();
    auto silence = [&sim] {
        zelsim::TFaultConfig faults;
        faults.DropShare = 1;
        sim.Run([faults](zelsim::TSimulator& s) { s.SetFaults(faults); });
    };
    // The switch-on is answered; the device falls silent while the check waits. The simulator logs
    // each request on its thread before it answers, and silence is set there after the answer.
    sim.Run([&requests](zelsim::TSimulator& s) { s.SetLogSink([&requests](const std::string&) { ++requests; }); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (requests > 0) {
            poll.stop();
            silence();
        }
    });
    poll.start(5);
    o.Out.clear();
    EXPECT_FALSE(runner.Execute({"wait-for", {"position", "100", "0.1", "--timeout", "1"}, "rig.txt:3"}));
    QJsonObject line = QJsonDocument::fromJson(o.Out.trimmed().toUtf8()).object();
    EXPECT_EQ(line.value("failure").toString(), "check") << o.Out.toStdString();
    EXPECT_TRUE(line.value("error").toString().startsWith("rig.txt:3: Not reached within 1 s"))
        << o.Out.toStdString();

    QTimer::singleShot(300, [&sim] { sim.Stop(); });
    o.Out.clear();
    EXPECT_FALSE(runner.Execute({"expect", {"position", "55", "1"}, "rig.txt:4"}));
    line = QJsonDocument::fromJson(o.Out.trimmed().toUtf8()).object();
    EXPECT_TRUE(line.value("error").toString().contains("Connection closed while reading the position"))
        << o.Out.toStdString();
    EXPECT_FALSE(line.value("error").toString().contains("Timeout")) << o.Out.toStdString();
}

// An interrupted run reports the commands it ran, the interrupted one as an error, and puts the
// report in place whole; a failed connect says why in its report.
TEST(ZelctlRunner, InterruptedAndUnconnectedRunsWriteWholeReports) {
    zelsim::TSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Gripper.StartReferenced = true;
    zelsim::TSimThread sim(cfg);
    ASSERT_TRUE(sim.Start());
    TTempSettingsFolder folder;
    QTemporaryDir dir;
    const QString report = dir.filePath("rig.xml");
    TZelctlArguments args;
    QString parseError;
    ASSERT_TRUE(args.Parse({"--junit", report, "--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.TcpPort()),
                            "info", "repeat", "1000", "sleep", "100", "end"},
                           parseError));
    TRunnerOutput o;
    int exit = 0;
    {
        TZelctlSession session(args, o.OutStream, o.ErrStream);
        TZelctlRunner runner(session);
        // Once the first command has answered, while the repeat block runs.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (o.Out.contains("Device type"))
                session.Interrupt(SIGTERM);
        });
        poll.start(20);
        exit = runner.Run();
    }
    EXPECT_EQ(exit, 143);
    EXPECT_TRUE(o.Err.contains("zelctl: Terminated (SIGTERM)")) << o.Err.toStdString();
    const QString xml = QString::fromUtf8(ReadFile(report));
    EXPECT_TRUE(xml.contains("name=\"argument 5: info\"")) << xml.toStdString();
    EXPECT_TRUE(xml.contains("<error message=\"Terminated (SIGTERM)\"")) << xml.toStdString();
    EXPECT_FALSE(xml.contains("<skipped")) << xml.toStdString();
    EXPECT_TRUE(xml.trimmed().endsWith("</testsuites>"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"rig.xml"});

    TZelctlArguments unconnected;
    ASSERT_TRUE(unconnected.Parse({"--junit", report, "--tcp", "127.0.0.1:1", "info"}, parseError));
    TRunnerOutput refused;
    {
        TZelctlSession session(unconnected, refused.OutStream, refused.ErrStream);
        TZelctlRunner runner(session);
        EXPECT_EQ(runner.Run(), TZelctlRunner::ExitConnectFailed);
    }
    const QString failed = QString::fromUtf8(ReadFile(report));
    EXPECT_TRUE(failed.contains("<error message=\"Error while establishing socket connection (127.0.0.1:1: "))
        << failed.toStdString();
    EXPECT_TRUE(refused.Err.startsWith("zelctl: Error while establishing socket connection"))
        << refused.Err.toStdString();
}
