#include "ZelctlArguments.h"

#include "platform/UserFile.h"
#include "ZelctlCommands.h"

#include <QRegularExpression>

#include <functional>

namespace {
bool ToPort(const QString& Text, int& Port) {
    bool ok = false;
    const int v = Text.toInt(&ok);
    if (!ok || v < 1 || v > 65535)
        return false;
    Port = v;
    return true;
}

bool ToNonNegative(const QString& Text, int& Value) {
    bool ok = false;
    const int v = Text.toInt(&ok, 0);
    if (!ok || v < 0)
        return false;
    Value = v;
    return true;
}

bool IsNumber(const QString& Text) {
    bool ok = false;
    Text.toDouble(&ok);
    return ok;
}

// "HOST[:A[:B]]", with "[v6addr]" for IPv6 hosts.
bool SplitHost(const QString& Text, QString& Host, QStringList& Ports) {
    QString rest;
    if (Text.startsWith(QLatin1Char('['))) {
        const qsizetype close = Text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        Host = Text.mid(1, close - 1);
        rest = Text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return false;
        rest = rest.mid(1);
    } else {
        const qsizetype colon = Text.indexOf(QLatin1Char(':'));
        Host = colon < 0 ? Text : Text.left(colon);
        rest = colon < 0 ? QString() : Text.mid(colon + 1);
    }
    Ports = rest.isEmpty() ? QStringList() : rest.split(QLatin1Char(':'));
    return !Host.isEmpty();
}
} // namespace

bool TZelctlArguments::IsCommandName(const QString& Word) {
    return FindZelctlCommand(Word) != nullptr;
}

namespace {
using TArgs = TZelctlArguments;

bool ParseTcpLink(const QString& Value, TZelctlLink& Link, QString& Error) {
    QString host;
    QStringList ports;
    int port = 1000;
    if (!SplitHost(Value, host, ports) || ports.size() > 1 ||
        (ports.size() == 1 && !ToPort(ports[0], port))) {
        Error = QStringLiteral("Invalid TCP link '%1': expected HOST[:PORT]").arg(Value);
        return false;
    }
    Link.Transport = TArgs::TcpTransport;
    Link.Target.Kind = TLinkAddress::TKind::Tcp;
    Link.Target.Tcp = {host, port};
    return true;
}

bool ParseUdpLink(const QString& Value, TZelctlLink& Link, QString& Error) {
    QString host;
    QStringList ports;
    int tx = 1500;
    int listen = 1501;
    const bool ok = SplitHost(Value, host, ports) && ports.size() <= 2 &&
                    (ports.size() < 1 || ToPort(ports[0], tx)) &&
                    (ports.size() < 2 || ToPort(ports[1], listen));
    if (!ok) {
        Error = QStringLiteral("Invalid UDP link '%1': expected HOST[:TXPORT[:LISTENPORT]]").arg(Value);
        return false;
    }
    Link.Transport = TArgs::UdpTransport;
    Link.Target.Kind = TLinkAddress::TKind::Udp;
    Link.Target.Udp.Address = host;
    Link.Target.Udp.TransmitPort = tx;
    Link.Target.Udp.ListeningPort = listen;
    return true;
}

bool ParseSerialLink(const QString& Value, TZelctlLink& Link, QString& Error) {
    const qsizetype at = Value.lastIndexOf(QLatin1Char('@'));
    const QString port = at < 0 ? Value : Value.left(at);
    int baud = 9600;
    bool ok = !port.isEmpty();
    if (ok && at >= 0)
        ok = ToNonNegative(Value.mid(at + 1), baud) && baud > 0;
    if (!ok) {
        Error = QStringLiteral("Invalid serial link '%1': expected PORT[@BAUD]").arg(Value);
        return false;
    }
    Link.Transport = TArgs::SerialTransport;
    Link.Target.Kind = TLinkAddress::TKind::Serial;
    Link.Target.Serial = {port, baud};
    return true;
}

bool ParseCanLink(const QString& Value, TZelctlLink& Link, QString& Error) {
    // NET is a number (the n-th interface in name order) or an interface name (vcan0, slcan0).
    static const QRegularExpression form(
        QStringLiteral("^(?:([A-Za-z][A-Za-z0-9_]*):)?([0-9]+|[A-Za-z][A-Za-z0-9_.-]*)"
                       "(?:@([0-9]+))?(?:#((?:0x)?[0-9A-Fa-f]+))?$"));
    const QRegularExpressionMatch m = form.match(Value);
    int net = 0;
    int bitrate = 4;
    int id = 100;
    const QString where = m.captured(2);
    const bool named = m.hasMatch() && !where.front().isDigit();
    bool ok = m.hasMatch() && (named || ToNonNegative(where, net));
    if (ok && m.hasCaptured(3))
        ok = ToNonNegative(m.captured(3), bitrate);
    if (ok && m.hasCaptured(4))
        ok = ToNonNegative(m.captured(4), id);
    if (!ok) {
        Error = QStringLiteral("Invalid CAN link '%1': expected [BACKEND:]NET|INTERFACE[@BITRATECODE][#ID]")
                    .arg(Value);
        return false;
    }
    Link.Transport = TArgs::CanTransport;
    Link.Target.Kind = TLinkAddress::TKind::Can;
    Link.Target.CanBackend = m.hasCaptured(1) ? m.captured(1) : QStringLiteral("socketcan");
    Link.Target.Can.Interface = named ? where : QString();
    Link.Target.Can.Net = named ? 0 : net;
    Link.Target.Can.Bitrate = bitrate;
    Link.Target.Can.Id = id;
    return true;
}
} // namespace

bool TZelctlArguments::ParseLink(const QString& Option, const QString& Value, TZelctlLink& Link,
                                 QString& Error) {
    Link = TZelctlLink();
    bool ok = false;
    if (Option == QLatin1String("--link")) {
        ok = ParseLinkAddress(Value, Link.Target, Error);
        if (ok)
            Link.Transport = Link.Target.TransportIndex();
    } else if (Option == QLatin1String("--tcp")) {
        ok = ParseTcpLink(Value, Link, Error);
    } else if (Option == QLatin1String("--udp")) {
        ok = ParseUdpLink(Value, Link, Error);
    } else if (Option == QLatin1String("--serial")) {
        ok = ParseSerialLink(Value, Link, Error);
    } else if (Option == QLatin1String("--can")) {
        ok = ParseCanLink(Value, Link, Error);
    } else {
        Error = QStringLiteral("Unknown link option '%1'").arg(Option);
    }
    if (ok)
        Link.Description = Link.Target.Description();
    return ok;
}

bool TZelctlArguments::CheckCommand(const TZelctlCommand& Command, QString& Error) {
    const TZelctlCommandRow* row = FindZelctlCommand(Command.Name);
    const QString where = Command.Origin.isEmpty() ? QString() : Command.Origin + QStringLiteral(": ");
    auto fail = [&](const QString& What) {
        Error = where + What;
        return false;
    };
    if (row == nullptr)
        return fail(QStringLiteral("Unknown command '%1'").arg(Command.Name));
    const QStringList& a = Command.Args;
    if (a.size() > row->MaxArgs && row->TooMany != nullptr)
        return fail(
            QStringLiteral("Too many arguments for '%1': %2").arg(Command.Name, QLatin1String(row->TooMany)));
    if (a.size() < row->MinArgs || a.size() > row->MaxArgs)
        return fail(QStringLiteral("Wrong number of arguments for '%1': %2").arg(Command.Name, row->Usage()));
    QString why;
    if (row->Check != nullptr && !row->Check(a, why))
        return fail(why);
    return true;
}

bool TZelctlArguments::CheckBlocks(const std::vector<TZelctlCommand>& Commands, size_t From, QString& Error) {
    std::vector<const TZelctlCommand*> open;
    for (size_t i = From; i < Commands.size(); ++i) {
        const TZelctlCommand& c = Commands[i];
        if (c.Name == QLatin1String("repeat")) {
            if (open.size() >= size_t(MaxRepeatDepth)) {
                Error =
                    c.Origin + QStringLiteral(": 'repeat' blocks nest deeper than %1").arg(MaxRepeatDepth);
                return false;
            }
            open.push_back(&c);
        } else if (c.Name == QLatin1String("end")) {
            if (open.empty()) {
                Error = c.Origin + QStringLiteral(": 'end' without 'repeat'");
                return false;
            }
            open.pop_back();
        }
    }
    if (!open.empty()) {
        Error = open.back()->Origin + QStringLiteral(": 'repeat' without 'end'");
        return false;
    }
    return true;
}

bool TZelctlArguments::ParseScript(const QString& Text, const QString& Origin,
                                   std::vector<TZelctlCommand>& Commands, QString& Error) {
    static const QRegularExpression split(QStringLiteral("^(\\S+)\\s*(.*)$"));
    const size_t first = Commands.size();
    const QStringList lines = Text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QRegularExpressionMatch m = split.match(line);
        TZelctlCommand c;
        c.Name = m.captured(1);
        c.Origin = QStringLiteral("%1:%2").arg(Origin).arg(i + 1);
        const QString rest = m.captured(2);
        const TZelctlCommandRow* row = FindZelctlCommand(c.Name);
        const auto how = row == nullptr ? TZelctlCommandRow::Words : row->ScriptArgs;
        if (how == TZelctlCommandRow::RestOfLine) {
            if (!rest.isEmpty())
                c.Args << rest;
        } else if (how == TZelctlCommandRow::IdThenRest) {
            const QRegularExpressionMatch s = split.match(rest);
            if (s.hasMatch()) {
                c.Args << s.captured(1);
                if (!s.captured(2).isEmpty())
                    c.Args << s.captured(2);
            }
        } else if (!rest.isEmpty()) {
            c.Args = rest.split(QRegularExpression(QStringLiteral("\\s+")));
        }
        if (!CheckCommand(c, Error))
            return false;
        Commands.push_back(std::move(c));
    }
    return CheckBlocks(Commands, first, Error);
}

namespace {
// The commands of a script file, appended to Commands.
bool ReadScriptFile(const QString& Path, std::vector<TZelctlCommand>& Commands, QString& Error) {
    QByteArray text;
    QString why;
    if (UserFile::ReadAll(Path, UserFile::MaxScriptSize, text, why) != UserFile::Opened) {
        Error = QStringLiteral("Cannot read script file %1: %2").arg(Path, why);
        return false;
    }
    return TZelctlArguments::ParseScript(QString::fromUtf8(text), Path, Commands, Error);
}

// The command at Args[At] with every word up to the next command or zelctl option, so that a
// stray one is reported with the command it follows. At ends on the command's last word.
TZelctlCommand TakeCommandWords(const QStringList& Args, qsizetype& At, const TZelctlCommandRow& Row) {
    TZelctlCommand c;
    c.Name = Args[At];
    c.Origin = QStringLiteral("argument %1").arg(At + 1);
    while (At + 1 < Args.size()) {
        const QString& next = Args[At + 1];
        const bool anyWord =
            Row.RequiredAnyWord && c.Args.size() < Row.MinArgs && !next.startsWith(QLatin1String("--"));
        if (!anyWord && (TZelctlArguments::IsCommandName(next) ||
                         (next.startsWith(QLatin1String("--")) && !Row.TakesOption(next))))
            break;
        c.Args << next;
        ++At;
    }
    return c;
}
} // namespace

namespace {
enum class EOption { NotOne, Taken, Failed };

// The zelctl options other than --script: sets A from Option (its value through TakeValue).
EOption ApplyOption(TZelctlArguments& A, const QString& Option,
                    const std::function<bool(QString&)>& TakeValue, QString& Error) {
    if (Option == QLatin1String("-h") || Option == QLatin1String("--help")) {
        A.Help = true;
    } else if (Option == QLatin1String("--version")) {
        A.Version = true;
    } else if (Option == QLatin1String("--json")) {
        A.Json = true;
    } else if (Option == QLatin1String("--junit")) {
        if (!TakeValue(A.JUnitPath))
            return EOption::Failed;
        if (A.JUnitPath.isEmpty()) {
            Error = QStringLiteral("Option --junit needs a file name");
            return EOption::Failed;
        }
    } else if (Option == QLatin1String("--tcp") || Option == QLatin1String("--udp") ||
               Option == QLatin1String("--serial") || Option == QLatin1String("--can") ||
               Option == QLatin1String("--link")) {
        QString v;
        if (!TakeValue(v))
            return EOption::Failed;
        if (A.Link.Transport >= 0) {
            Error = QStringLiteral("Only one link can be given");
            return EOption::Failed;
        }
        if (!TZelctlArguments::ParseLink(Option, v, A.Link, Error))
            return EOption::Failed;
    } else if (Option == QLatin1String("--log")) {
        A.LogTraffic = true;
    } else if (Option == QLatin1String("--log-csv")) {
        if (!TakeValue(A.LogCsvPath))
            return EOption::Failed;
        if (A.LogCsvPath.isEmpty()) {
            Error = QStringLiteral("Option --log-csv needs a file name");
            return EOption::Failed;
        }
    } else if (Option == QLatin1String("--sensor")) {
        A.Sensor = true;
    } else if (Option == QLatin1String("--keep-going")) {
        A.KeepGoing = true;
    } else if (Option == QLatin1String("--connect-timeout") || Option == QLatin1String("--result-timeout")) {
        QString v;
        if (!TakeValue(v))
            return EOption::Failed;
        int& target = Option == QLatin1String("--connect-timeout") ? A.ConnectTimeoutMs : A.ResultTimeoutMs;
        if (!ZelctlSeconds(v, target)) {
            Error = QStringLiteral("Option %1 needs a positive number of seconds, not '%2'").arg(Option, v);
            return EOption::Failed;
        }
    } else if (Option == QLatin1String("--settings")) {
        if (!TakeValue(A.SettingsFolder))
            return EOption::Failed;
    } else {
        return EOption::NotOne;
    }
    return EOption::Taken;
}
} // namespace

bool TZelctlArguments::Parse(const QStringList& Args, QString& Error) {
    auto value = [&](qsizetype& i, const QString& Option, QString& Out) {
        if (i + 1 >= Args.size()) {
            Error = QStringLiteral("Option %1 needs a value").arg(Option);
            return false;
        }
        Out = Args[++i];
        return true;
    };
    for (qsizetype i = 0; i < Args.size(); ++i) {
        QString a = Args[i];
        QString inlineValue;
        bool hasInline = false;
        if (a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('='))) {
            const qsizetype eq = a.indexOf(QLatin1Char('='));
            inlineValue = a.mid(eq + 1);
            a = a.left(eq);
            hasInline = true;
        }
        auto takeValue = [&](QString& Out) {
            if (hasInline) {
                Out = inlineValue;
                return true;
            }
            return value(i, a, Out);
        };
        if (const EOption o = ApplyOption(*this, a, takeValue, Error); o != EOption::NotOne) {
            if (o == EOption::Failed)
                return false;
        } else if (a == QLatin1String("--script")) {
            QString path;
            if (!takeValue(path) || !ReadScriptFile(path, Commands, Error))
                return false;
        } else if (const TZelctlCommandRow* row = FindZelctlCommand(a)) {
            TZelctlCommand c = TakeCommandWords(Args, i, *row);
            if (!CheckCommand(c, Error))
                return false;
            Commands.push_back(std::move(c));
        } else if (a.startsWith(QLatin1Char('-')) && !IsNumber(a)) {
            Error = QStringLiteral("Unknown option '%1' (see --help)").arg(a);
            return false;
        } else {
            Error = QStringLiteral("Unknown command '%1' (see --help)").arg(a);
            return false;
        }
    }
    if (!CheckBlocks(Commands, 0, Error))
        return false;
    if (!Help && !Version && Link.Transport < 0) {
        Error = QStringLiteral("No link given: use --link, --tcp, --udp, --serial or --can (see --help)");
        return false;
    }
    return true;
}

namespace {
// Usage, what a run does, and the link options.
QString UsageHelp() {
    return QStringLiteral(R"(Usage: zelctl LINK [OPTIONS] COMMAND [ARGS] [COMMAND [ARGS] ...]

Connects to a ZEL gripper like the console does (system information, device
check, system limits), runs the commands in the order given and disconnects.
Results are printed on standard output in the console's words, for example
"Command MOVE finished: No error."; errors go to standard error. With --json
every result, report and error is one JSON object a line on standard output.
No display is needed.

Link (exactly one):
  --link LINK                   tcp://HOST[:PORT], udp://HOST[:TXPORT][?listen=PORT],
                                serial:///dev/ttyUSB0[?baud=115200] or
                                can://INTERFACE[?id=100&bitrate=4&backend=virtualcan]
                                (IPv6 hosts in brackets: tcp://[::1]:1000)
  --tcp HOST[:PORT]             TCP, port 1000 unless given
  --udp HOST[:TXPORT[:LISTENPORT]]
                                UDP: the device listens on TXPORT (1500),
                                answers arrive on LISTENPORT (1501)
  --serial PORT[@BAUD]          serial port (ttyUSB0, /dev/pts/3, ...),
                                9600 Bd unless given
  --can [BACKEND:]NET|INTERFACE[@BITRATECODE][#ID]
                                CAN net NET (the NET-th interface in name
                                order) or the interface INTERFACE (can0,
                                vcan0, slcan0) of the Qt CAN backend BACKEND
                                (socketcan unless given; virtualcan for the
                                simulator), bit-rate code (4 = 250 kBit/s
                                unless given), identifier of the target
                                system (100 unless given, 0x.. for hex)
  IPv6 hosts are written in brackets: --tcp [::1]:1000.

)");
}

// The options other than the link.
QString OptionsHelp() {
    return QStringLiteral(R"(Options:
  --script FILE                 run the commands of FILE at this place, one a
                                line; empty lines and lines starting with #
                                are skipped; the text of "tag" and the payload
                                of "send" are the rest of their line; repeat
                                blocks nest at most 100 deep; a regular file
                                of at most 16 MiB
  --sensor                      the device is the matrix sensor (TAQ): only
                                info, temperature, tag and send apply
  --log                         print every packet sent and received on
                                standard error, as the command log shows it
  --log-csv FILE                write every packet sent and received to FILE
                                as CSV, the record of the console's command log
                                "Save...": time_s (seconds since the first
                                packet), direction, id, command, length,
                                status (of a received response), payload
  --keep-going                  run the remaining commands after a failure
  --json                        print one JSON object a line on standard
                                output instead of the sentences: the
                                connect, every command (its arguments, "ok",
                                "status" with code and name, its values as
                                numbers with their units, "error" when it
                                failed), every report of watch, errors, and
                                last the exit status; "time" is the seconds
                                since the start
  --junit FILE                  write a JUnit XML report to FILE: one test
                                case per command and per pass of a repeat
                                block, with the failure text; a wrong
                                command line or script is one failed case;
                                FILE is replaced only by a whole report
  --settings DIR                folder of the transports' settings files
                                (uart.cfg, tcp.cfg, ...), which opening a link
                                updates; unless given, the console's folder
                                $XDG_CONFIG_HOME/zel-console (by default
                                ~/.config/zel-console), or beside zelctl in
                                its build tree or in a portable copy
  --connect-timeout SECONDS     wait for the device to be accepted (5)
  --result-timeout SECONDS      wait for the final result of a motion (60)
  -h, --help                    show this text
  --version                     show zelctl's version

)");
}

// After the commands: how results count, the exit status and examples.
QString ExitStatusHelp() {
    return QStringLiteral(R"(
  Motion commands wait for their final result; any final status other than
  "No error" is a failure. Positions, speeds, the acceleration and the force
  limit outside the system limits read when connecting are refused before
  anything is sent.

Exit status:
  0  every command succeeded
  1  a command failed (its error text is on standard error)
  2  the command line is wrong, or the log file cannot be created
  3  the link could not be opened or the device was refused
  4  a check (expect, wait-for) failed and no command did
  5  the --log-csv file could not be written on (disk full, file size
     limit): the run stops there and the file ends after its last whole row
  130, 143  interrupted by Ctrl+C (SIGINT) or SIGTERM: the run stops, the
     JUnit report holds the commands run so far, the interrupted one as an
     error; a second signal ends zelctl at once

Examples:
  Each runs against the simulator that scripts/run.sh starts (for an ordinary
  user it listens on TCP port 11000 and links /tmp/zel-tty-USER instead).
  zelctl --tcp 127.0.0.1:1000 home move 50 50 grasp 20 50 stats
  zelctl --udp 127.0.0.1 send 0x06 '1 2 "AB"'
  zelctl --serial /tmp/zel-tty@115200 --script test-rig.txt --junit rig.xml

  test-rig.txt:
    home
    repeat 10
    grasp 20 400
    expect state holding
    expect force 75..85
    release 60 400
    wait-for position 60 0.5 --timeout 5
    end
)");
}
} // namespace

QString TZelctlArguments::HelpText() {
    return UsageHelp() + OptionsHelp() + ZelctlCommandHelp() + ExitStatusHelp();
}
