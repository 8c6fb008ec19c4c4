#include "platform/IniFile.h"
#include "cmdtext/PayloadParser.h"
#include "ZelctlArguments.h"
#include "ZelctlCommands.h"

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {
TByteArray Parse(const QString& Text, bool* Ok = nullptr) {
    TByteArray bytes{0xEE};
    const bool ok = TPayloadParser::Parse(Text, bytes);
    if (Ok != nullptr)
        *Ok = ok;
    return bytes;
}

bool Parses(const QString& Text) {
    bool ok = false;
    Parse(Text, &ok);
    return ok;
}

TByteArray FloatBytes(float F) {
    TByteArray b(4);
    std::memcpy(b.data(), &F, 4);
    return b;
}

bool ParseArgs(const QStringList& Args, TZelctlArguments& Out, QString& Error) {
    Out = TZelctlArguments();
    return Out.Parse(Args, Error);
}
} // namespace

TEST(PayloadParser, BytesHexAndStrings) {
    EXPECT_EQ(Parse(QStringLiteral("1 0x02 $03 \"AB\"")), (TByteArray{1, 2, 3, 'A', 'B'}));
    // A string needs no separator after it; an empty string adds nothing; runs of spaces are skipped.
    EXPECT_EQ(Parse(QStringLiteral("\"A\"7  \"\"   255")), (TByteArray{'A', 7, 255}));
    EXPECT_EQ(Parse(QStringLiteral("\"\xe9\"")), (TByteArray{0xE9}));
    EXPECT_TRUE(Parse(QString()).empty());
    EXPECT_TRUE(Parse(QStringLiteral("   ")).empty());
    // Hex bytes ending in F are bytes, not floats.
    EXPECT_EQ(Parse(QStringLiteral("0x0F $0F 0xFF $ff")), (TByteArray{0x0F, 0x0F, 0xFF, 0xFF}));
}

TEST(PayloadParser, FloatsAreLittleEndianSingles) {
    EXPECT_EQ(Parse(QStringLiteral("10.4f")), FloatBytes(10.4f));
    EXPECT_EQ(Parse(QStringLiteral("15F")), FloatBytes(15.0f));
    EXPECT_EQ(Parse(QStringLiteral("-2.5e3F")), FloatBytes(-2500.0f));
    EXPECT_EQ(Parse(QStringLiteral("1 .5f")), (TByteArray{1, 0, 0, 0, 0x3F}));
}

TEST(PayloadParser, RejectsBadTokensAndLeavesNoBytes) {
    for (const char* bad : {"256", "-1", "1.5", "\"open", "1f2", "0x", "$", "0x1G", "abc", "1e99f", "--1"}) {
        bool ok = true;
        const TByteArray bytes = Parse(QString::fromLatin1(bad), &ok);
        EXPECT_FALSE(ok) << bad;
        EXPECT_TRUE(bytes.empty()) << bad;
    }
    EXPECT_TRUE(Parses(QStringLiteral("+5")));
}

TEST(ZelctlArguments, LinksFillTheLinkWithDefaults) {
    TZelctlLink link;
    QString error;
    ASSERT_TRUE(
        TZelctlArguments::ParseLink(QStringLiteral("--tcp"), QStringLiteral("127.0.0.1"), link, error));
    EXPECT_EQ(link.Transport, TZelctlArguments::TcpTransport);
    EXPECT_EQ(link.Target.Text(), "tcp://127.0.0.1:1000");

    ASSERT_TRUE(
        TZelctlArguments::ParseLink(QStringLiteral("--tcp"), QStringLiteral("[::1]:2000"), link, error));
    EXPECT_EQ(link.Target.Text(), "tcp://[::1]:2000");

    ASSERT_TRUE(
        TZelctlArguments::ParseLink(QStringLiteral("--udp"), QStringLiteral("10.0.0.2:1600"), link, error));
    EXPECT_EQ(link.Transport, TZelctlArguments::UdpTransport);
    EXPECT_EQ(link.Target.Text(), "udp://10.0.0.2:1600?listen=1501");

    ASSERT_TRUE(TZelctlArguments::ParseLink(QStringLiteral("--serial"), QStringLiteral("/dev/pts/4@115200"),
                                            link, error));
    EXPECT_EQ(link.Transport, TZelctlArguments::SerialTransport);
    EXPECT_EQ(link.Target.Text(), "serial:///dev/pts/4?baud=115200");

    ASSERT_TRUE(TZelctlArguments::ParseLink(QStringLiteral("--can"), QStringLiteral("2"), link, error));
    EXPECT_EQ(link.Transport, TZelctlArguments::CanTransport);
    EXPECT_EQ(link.Target.Text(), "can://2?id=100&bitrate=4&backend=socketcan");
    ASSERT_TRUE(TZelctlArguments::ParseLink(QStringLiteral("--can"), QStringLiteral("virtualcan:0@2#0x7F"),
                                            link, error));
    EXPECT_EQ(link.Target.Text(), "can://0?id=127&bitrate=2&backend=virtualcan");
    ASSERT_TRUE(TZelctlArguments::ParseLink(QStringLiteral("--can"), QStringLiteral("vcan0#5"), link, error));
    EXPECT_EQ(link.Target.Text(), "can://vcan0?id=5&bitrate=4&backend=socketcan");

    ASSERT_TRUE(TZelctlArguments::ParseLink(QStringLiteral("--link"), QStringLiteral("udp://h:7?listen=8"),
                                            link, error));
    EXPECT_EQ(link.Transport, TZelctlArguments::UdpTransport);
    EXPECT_EQ(link.Description, "UDP h:7, listening on 8");
    EXPECT_FALSE(TZelctlArguments::ParseLink(QStringLiteral("--link"), QStringLiteral("udp://h:7?lisen=8"),
                                             link, error));
    EXPECT_EQ(error, "Invalid link 'udp://h:7?lisen=8': unknown option 'lisen' (expected listen)");
}

TEST(ZelctlArguments, MalformedLinksAreRefusedWithTheExpectedForm) {
    const QList<QPair<QString, QString>> bad = {
        {"--tcp", ""},         {"--tcp", "host:0"},      {"--tcp", "host:70000"}, {"--tcp", "host:1:2"},
        {"--tcp", "[::1"},     {"--udp", "h:1:2:3"},     {"--udp", "h:x"},        {"--serial", "@9600"},
        {"--serial", "tty@0"}, {"--serial", "tty@fast"}, {"--can", "can 0"},      {"--can", "socketcan:"},
        {"--can", "1@-4"},     {"--can", "1#"},
    };
    for (const auto& [option, value] : bad) {
        TZelctlLink link;
        QString error;
        EXPECT_FALSE(TZelctlArguments::ParseLink(option, value, link, error))
            << option.toStdString() << " " << value.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("expected"))) << error.toStdString();
    }
}

TEST(ZelctlArguments, CommandsTakeTheirArgumentsUpToTheNextCommand) {
    TZelctlArguments a;
    QString error;
    ASSERT_TRUE(
        ParseArgs({"--tcp",    "localhost", "home",        "move", "50",   "50",         "tag",   "stats",
                   "--reset",  "tag",       "hello world", "home", "in",   "acc",        "watch", "2",
                   "--period", "1",         "--always",    "send", "0x06", "1 2 \"AB\"", "send",  "7"},
                  a, error))
        << error.toStdString();
    std::vector<std::pair<QString, QStringList>> got;
    for (const auto& c : a.Commands)
        got.push_back({c.Name, c.Args});
    const std::vector<std::pair<QString, QStringList>> expected = {
        {"home", {}},
        {"move", {"50", "50"}},
        {"tag", {}},
        {"stats", {"--reset"}},
        {"tag", {"hello world"}},
        {"home", {"in"}},
        {"acc", {}},
        {"watch", {"2", "--period", "1", "--always"}},
        {"send", {"0x06", "1 2 \"AB\""}},
        {"send", {"7"}},
    };
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(a.Help);
}

TEST(ZelctlArguments, MistakesAreReportedBeforeAnythingIsOpened) {
    const QList<QStringList> bad = {
        {"home"},                            // no link
        {"--tcp", "h", "--udp", "h"},        // two links
        {"--tcp"},                           // no value
        {"--tcp", "h", "move", "50"},        // too few
        {"--tcp", "h", "move", "x", "50"},   // not a number
        {"--tcp", "h", "move", "nan", "50"}, // not a value the device can take
        {"--tcp", "h", "grasp", "8", "inf"},
        {"--tcp", "h", "release", "-inf", "5"},
        {"--tcp", "h", "acc", "1e39"}, // beyond single precision
        {"--tcp", "h", "force", "-3.5e38"},
        {"--tcp", "h", "home", "sideways"},       // direction
        {"--tcp", "h", "send", "256"},            // id range
        {"--tcp", "h", "send", "1", "\"open"},    // payload
        {"--tcp", "h", "watch", "0"},             // duration
        {"--tcp", "h", "watch", "1", "--period"}, // missing period
        {"--tcp", "h", "watch", "1", "--period", "70000"},
        {"--tcp", "h", "frobnicate"},
        {"--tcp", "h", "--frobnicate"},
        {"--tcp", "h", "--script", "/nonexistent/zelctl-script.txt"},
        {"--tcp", "h", "--connect-timeout", "-1"},
        {"--tcp", "h", "info", "--log-csv"},
        {"--tcp", "h", "--log-csv=", "info"},
    };
    for (const QStringList& args : bad) {
        TZelctlArguments a;
        QString error;
        EXPECT_FALSE(ParseArgs(args, a, error)) << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    TZelctlArguments a;
    QString error;
    EXPECT_TRUE(ParseArgs({"--help"}, a, error));
    EXPECT_TRUE(a.Help);
    EXPECT_TRUE(ParseArgs({"--tcp=h:5", "--result-timeout=2.5", "--log", "limits"}, a, error))
        << error.toStdString();
    EXPECT_EQ(a.ResultTimeoutMs, 2500);
    EXPECT_TRUE(a.LogTraffic);
    EXPECT_TRUE(a.LogCsvPath.isEmpty());
    // --log stays a switch; the CSV record has its own option with a value.
    TZelctlArguments csv;
    EXPECT_TRUE(ParseArgs({"--tcp", "h", "--log-csv", "info", "--log", "info"}, csv, error))
        << error.toStdString();
    EXPECT_EQ(csv.LogCsvPath, "info");
    EXPECT_TRUE(csv.LogTraffic);
    EXPECT_EQ(csv.Commands.size(), 1u);
    TZelctlArguments inlined;
    EXPECT_TRUE(ParseArgs({"--tcp", "h", "--log-csv=rig.csv", "info"}, inlined, error));
    EXPECT_EQ(inlined.LogCsvPath, "rig.csv");
    EXPECT_FALSE(inlined.LogTraffic);
    EXPECT_TRUE(ParseArgs({"--tcp", "h", "acc", "3.4e38", "move", "-0", "1e-3"}, a, error))
        << error.toStdString();
}

TEST(ZelctlArguments, ScriptsKeepRestOfLineAndNameTheBadLine) {
    std::vector<TZelctlCommand> commands;
    QString error;
    ASSERT_TRUE(TZelctlArguments::ParseScript(QStringLiteral("# rig\n\n  home out\r\ntag  two  words \n"
                                                             "send 0x06 1 2 \"A B\"\nmove 10\t20\n"),
                                              QStringLiteral("rig.txt"), commands, error))
        << error.toStdString();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].Args, QStringList{"out"});
    EXPECT_EQ(commands[1].Args, QStringList{"two  words"});
    EXPECT_EQ(commands[2].Args, (QStringList{"0x06", "1 2 \"A B\""}));
    EXPECT_EQ(commands[3].Args, (QStringList{"10", "20"}));
    EXPECT_EQ(commands[3].Origin, QStringLiteral("rig.txt:6"));

    commands.clear();
    EXPECT_FALSE(TZelctlArguments::ParseScript(QStringLiteral("home\nmove 1\n"), QStringLiteral("rig.txt"),
                                               commands, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("rig.txt:2: "))) << error.toStdString();
}

// What a script file hands zelctl cannot hang it, eat its memory or overflow its stack: only
// regular files are read, blocks nest to a limit, and a tag takes no control characters.
TEST(ZelctlArguments, HostileScriptsAreRefusedWithTheirReason) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.txt");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString nested = dir.filePath("nested.txt");
    {
        QFile f(nested);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("repeat 2\n").repeated(20000) + QByteArray("end\n").repeated(20000));
    }
    const QString tag = dir.filePath("tag.txt");
    {
        QFile f(tag);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("tag bench\0 7\n", 14));
    }
    const std::pair<QString, QString> rows[] = {
        {fifo, "Cannot read script file " + fifo + ": not a regular file (a pipe, socket or device)"},
        {"/dev/zero", "Cannot read script file /dev/zero: not a regular file (a pipe, socket or device)"},
        {dir.path(), "Cannot read script file " + dir.path() + ": a folder, not a file"},
        {nested, nested + ":101: 'repeat' blocks nest deeper than 100"},
        {tag, tag + ":1: The device tag cannot hold the control character U+0000"},
    };
    for (const auto& [path, message] : rows) {
        TZelctlArguments a;
        QString error;
        EXPECT_FALSE(ParseArgs({"--tcp", "h", "--script", path}, a, error));
        EXPECT_EQ(error, message);
    }
    // As deep as the limit runs.
    std::vector<TZelctlCommand> commands;
    QString error;
    const QString deepest = QString("repeat 1\n").repeated(TZelctlArguments::MaxRepeatDepth) +
                            QString("end\n").repeated(TZelctlArguments::MaxRepeatDepth);
    EXPECT_TRUE(TZelctlArguments::ParseScript(deepest, "rig.txt", commands, error)) << error.toStdString();
}

TEST(ZelctlArguments, ScriptFileRunsAtItsPlaceAndSectionIsWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile script(dir.filePath(QStringLiteral("s.txt")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("stop\nack\n");
    script.close();
    TZelctlArguments a;
    QString error;
    ASSERT_TRUE(ParseArgs({"--udp", "h:1:2", "home", "--script", script.fileName(), "limits"}, a, error))
        << error.toStdString();
    QStringList names;
    for (const auto& c : a.Commands)
        names << c.Name;
    EXPECT_EQ(names, (QStringList{"home", "stop", "ack", "limits"}));

    EXPECT_EQ(a.Link.Target.Text(), "udp://h:1?listen=2");
}

TEST(ZelctlArguments, UsageMessagesPointAtTheMistake) {
    const QString tooLong(65, QLatin1Char('x'));
    const QList<std::pair<QStringList, QString>> rows = {
        {{"send", "6", "1", "2", "3"},
         "argument 3: Too many arguments for 'send': the payload must be one quoted argument"},
        {{"move", "50"}, "Wrong number of arguments for 'move': move POS SPEED"},
        {{"move", "50", "home"}, "Wrong number of arguments for 'move': move POS SPEED"},
        {{"move", "50", "50", "60"}, "Wrong number of arguments for 'move': move POS SPEED"},
        {{"tag", "two", "words"}, "the text must be one argument: quote it"},
        {{"tag", tooLong}, "The device tag is 65 characters long; at most 64 can be stored"},
        {{"tag", QString::fromUtf8("caf\xc3\xa9 \xc4\x81")},
         "cannot hold '\u0101' (U+0101): only characters of code page 1252"},
        {{"expect", "position", "20"}, "'expect position' takes VALUE TOLERANCE or LOW..HIGH, not '20'"},
        {{"expect", "force", "30..10"}, "'expect force' takes VALUE TOLERANCE or LOW..HIGH"},
        {{"expect", "state", "gripping"}, "one of idle, grasping, no-part, part-lost, holding"},
        {{"expect", "flag", "fast-stop", "maybe"}, "NAME on|off with NAME one of referenced, moving"},
        {{"expect", "speed", "3", "1"}, "'expect' checks position, force, state or flag, not 'speed'"},
        {{"wait-for", "position", "20", "1", "--timeout", "0"}, "'wait-for' takes --timeout SECONDS"},
        {{"sleep", "-1"}, "'sleep' takes milliseconds"},
        {{"repeat", "0", "home", "end"}, "'repeat' takes a count from 1"},
        {{"repeat", "2", "home"}, "argument 3: 'repeat' without 'end'"},
        {{"home", "end"}, "argument 4: 'end' without 'repeat'"},
        {{"--junit"}, "Option --junit needs a value"},
    };
    for (const auto& [words, message] : rows) {
        TZelctlArguments a;
        QString error;
        EXPECT_FALSE(ParseArgs(QStringList{"--tcp", "h"} + words, a, error)) << words.join(' ').toStdString();
        EXPECT_TRUE(error.contains(message)) << error.toStdString();
    }
    // Names of commands are taken as the words an expectation needs; the next command still starts.
    TZelctlArguments a;
    QString error;
    ASSERT_TRUE(ParseArgs({"--json", "--junit", "r.xml",     "--tcp",     "h",    "expect",   "force",
                           "10..30", "expect",  "flag",      "fast-stop", "off",  "wait-for", "flag",
                           "moving", "on",      "--timeout", "2",         "stop", "repeat",   "2",
                           "home",   "repeat",  "3",         "stop",      "end",  "end"},
                          a, error))
        << error.toStdString();
    EXPECT_TRUE(a.Json);
    EXPECT_EQ(a.JUnitPath, "r.xml");
    QStringList names;
    for (const auto& c : a.Commands)
        names << c.Name;
    EXPECT_EQ(names, (QStringList{"expect", "expect", "wait-for", "stop", "repeat", "home", "repeat", "stop",
                                  "end", "end"}));
    EXPECT_EQ(a.Commands[2].Args, (QStringList{"flag", "moving", "on", "--timeout", "2"}));
    TZelctlExpectation e;
    ASSERT_TRUE(TZelctlExpectation::Parse(a.Commands[2].Args, true, e, error));
    EXPECT_EQ(e.TimeoutMs, 2000);
    EXPECT_EQ(e.Mask, 0x2u);
    EXPECT_TRUE(e.On);
    // A script's blocks close within the script.
    std::vector<TZelctlCommand> commands;
    EXPECT_FALSE(TZelctlArguments::ParseScript("repeat 2\nhome\n", "rig.txt", commands, error));
    EXPECT_EQ(error, "rig.txt:1: 'repeat' without 'end'");
    TZelctlArguments v;
    EXPECT_TRUE(ParseArgs({"--version"}, v, error));
    EXPECT_TRUE(v.Version);
}
