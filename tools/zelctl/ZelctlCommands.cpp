#include "ZelctlCommands.h"

#include "platform/Ansi.h"
#include "cmdtext/PayloadParser.h"
#include "zel/ZEL_commands.h"
#include "ZelctlDeviceCommands.h"

#include <cmath>
#include <limits>

namespace {
constexpr int HelpColumn = 32;

bool ToNonNegative(const QString& Text, int& Value) {
    bool ok = false;
    const int v = Text.toInt(&ok, 0);
    if (!ok || v < 0)
        return false;
    Value = v;
    return true;
}

// A value the device can be sent: finite and within single precision.
bool IsSingle(const QString& Text) {
    bool ok = false;
    const double v = Text.toDouble(&ok);
    return ok && std::isfinite(v) && std::fabs(v) <= double(std::numeric_limits<float>::max());
}

bool CheckDirection(const QStringList& A, QString& Error) {
    static const QStringList directions = {QStringLiteral("default"), QStringLiteral("in"),
                                           QStringLiteral("out"), QStringLiteral("inwards"),
                                           QStringLiteral("outwards")};
    if (A.isEmpty() || directions.contains(A[0]))
        return true;
    Error = QStringLiteral("Homing direction must be default, in or out, not '%1'").arg(A[0]);
    return false;
}

template <const char* Name> bool CheckSingles(const QStringList& A, QString& Error) {
    for (const QString& v : A) {
        if (!IsSingle(v)) {
            Error = QStringLiteral("'%1' is not a finite single-precision number (argument of '%2')")
                        .arg(v, QLatin1String(Name));
            return false;
        }
    }
    return true;
}
constexpr char Move[] = "move";
constexpr char Grasp[] = "grasp";
constexpr char Release[] = "release";
constexpr char Acc[] = "acc";
constexpr char Force[] = "force";

bool CheckTag(const QStringList& A, QString& Error) {
    return A.isEmpty() || CheckZelctlTag(A[0], Error);
}

bool CheckStats(const QStringList& A, QString& Error) {
    if (A.isEmpty() || A[0] == QLatin1String("--reset"))
        return true;
    Error = QStringLiteral("'stats' takes only --reset, not '%1'").arg(A[0]);
    return false;
}

bool CheckSend(const QStringList& A, QString& Error) {
    uint8_t id = 0;
    TByteArray payload;
    if (!TPayloadParser::ParseByte(A[0], id)) {
        Error = QStringLiteral("Invalid command ID '%1': 0 to 255, decimal or 0x/$ hex").arg(A[0]);
        return false;
    }
    if (A.size() > 1 && !TPayloadParser::Parse(A[1], payload)) {
        Error = QStringLiteral("Error while parsing payload '%1'").arg(A[1]);
        return false;
    }
    return true;
}

bool CheckWatch(const QStringList& A, QString& Error) {
    int ms = 0;
    if (!ZelctlSeconds(A[0], ms)) {
        Error = QStringLiteral("'%1' is not a watch duration in seconds").arg(A[0]);
        return false;
    }
    for (qsizetype i = 1; i < A.size(); ++i) {
        if (A[i] == QLatin1String("--always"))
            continue;
        int period = 0;
        if (A[i] != QLatin1String("--period") || i + 1 >= A.size() || !ToNonNegative(A[i + 1], period) ||
            period < 1 || period > 65535) {
            Error = QStringLiteral("'watch' takes SECONDS [--period MS] [--always]");
            return false;
        }
        ++i;
    }
    return true;
}

bool CheckExpect(const QStringList& A, QString& Error) {
    TZelctlExpectation e;
    return TZelctlExpectation::Parse(A, false, e, Error);
}

bool CheckWaitFor(const QStringList& A, QString& Error) {
    TZelctlExpectation e;
    return TZelctlExpectation::Parse(A, true, e, Error);
}

bool CheckSleep(const QStringList& A, QString& Error) {
    int ms = 0;
    if (ToNonNegative(A[0], ms) && ms <= 86400000)
        return true;
    Error = QStringLiteral("'sleep' takes milliseconds from 0 to 86400000, not '%1'").arg(A[0]);
    return false;
}

bool CheckRepeat(const QStringList& A, QString& Error) {
    int n = 0;
    if (ToNonNegative(A[0], n) && n >= 1 && n <= 1000000)
        return true;
    Error = QStringLiteral("'repeat' takes a count from 1 to 1000000, not '%1'").arg(A[0]);
    return false;
}

using R = TZelctlCommandRow;
using Z = TZelctlDeviceCommands;

const TZelctlCommandRow Table[] = {
    {"info", "", 0, 0, R::AnyDevice, R::Words, "", nullptr, &Z::Info,
     "device type, serial number, hardware and\nfirmware revision, as read when connecting"},
    {"temperature", "", 0, 0, R::AnyDevice, R::Words, "", nullptr, &Z::Temperature,
     "read the device temperature"},
    {"tag", "[TEXT]", 0, 1, R::AnyDevice, R::RestOfLine, "", CheckTag, &Z::Tag,
     "read the device tag, or write TEXT (at most\n64 characters of code page 1252 (Western\n"
     "European); quote it in the shell)",
     "the text must be one argument: quote it, for example tag 'bench 7'"},
    {"home", "[default|in|out]", 0, 1, R::Gripper, R::Words, "", CheckDirection, &Z::Home,
     "homing sequence, then wait for its result"},
    {"move", "POS SPEED", 2, 2, R::Gripper, R::Words, "", CheckSingles<Move>, &Z::Move,
     "move the fingers to POS mm at SPEED mm/s"},
    {"grasp", "WIDTH SPEED", 2, 2, R::Gripper, R::Words, "", CheckSingles<Grasp>, &Z::Grasp,
     "grasp a part of WIDTH mm at SPEED mm/s"},
    {"release", "POS SPEED", 2, 2, R::Gripper, R::Words, "", CheckSingles<Release>, &Z::Release,
     "release to POS mm at SPEED mm/s"},
    {"stop", "", 0, 0, R::Gripper, R::Words, "", nullptr, &Z::Stop, "stop a movement"},
    {"fast-stop", "", 0, 0, R::Gripper, R::Words, "", nullptr, &Z::FastStop,
     "fast stop; the gripper then refuses motion"},
    {"ack", "", 0, 0, R::Gripper, R::Words, "", nullptr, &Z::Ack, "acknowledge a fast stop"},
    {"acc", "[VALUE]", 0, 1, R::Gripper, R::Words, "", CheckSingles<Acc>, &Z::Acceleration,
     "read, or set, the acceleration in mm/s^2"},
    {"force", "[VALUE]", 0, 1, R::Gripper, R::Words, "", CheckSingles<Force>, &Z::ForceLimit,
     "read, or set, the grasping force limit in N"},
    {"stats", "[--reset]", 0, 1, R::Gripper, R::Words, "--reset", CheckStats, &Z::Stats,
     "grasping statistics (and reset them)"},
    {"limits", "", 0, 0, R::Gripper, R::Words, "", nullptr, &Z::Limits,
     "the system limits read when connecting"},
    {"send", "ID [PAYLOAD]", 1, 2, R::AnyDevice, R::IdThenRest, "", CheckSend, &Z::Send,
     "send any command: ID 0 to 255 (15, 0x0F or\n$0F); PAYLOAD in the custom command editor's\n"
     "syntax, as one argument: bytes 15 0x0F $0F,\nfloats 10.4f, strings \"Hello World\";\n"
     "a pending answer waits for the final result",
     "the payload must be one quoted argument, for example send 6 '1 2 3'"},
    {"watch", "SECONDS [--period MS] [--always]", 1, 4, R::Gripper, R::Words, "--period --always", CheckWatch,
     &Z::Watch,
     "switch on the automatic updates and print\nevery state report with the seconds since the\n"
     "start; the console's periods (50 for states,\n100 for position and force) unless --period;\n"
     "only changes unless --always; switched off\nagain at the end"},
    {"expect", "WHAT EXPECTED", 2, 3, R::Gripper, R::Words, "", CheckExpect, &Z::Expect,
     "check the gripper's present state; a failed\ncheck fails the run with exit status 4.\n"
     "WHAT EXPECTED is one of:\n"
     "position VALUE TOLERANCE (mm),\nposition LOW..HIGH,\nforce VALUE TOLERANCE (N),\nforce LOW..HIGH,\n"
     "state NAME (idle, grasping, no-part,\npart-lost, holding, releasing, positioning,\nerror),\n"
     "flag NAME on|off (a flag as watch names it,\nin lower case with - for spaces: referenced,\n"
     "moving, fast-stop, target-pos-reached, ...)",
     nullptr, true},
    {"wait-for", "WHAT EXPECTED [--timeout SECONDS]", 2, 5, R::Gripper, R::Words, "--timeout", CheckWaitFor,
     &Z::WaitFor,
     "wait until the automatic updates show what\nexpect would check (10 s unless --timeout);\n"
     "not seen in time: a failed check",
     nullptr, true},
    {"sleep", "MS", 1, 1, R::AnyDevice, R::Words, "", CheckSleep, &Z::Sleep, "wait MS milliseconds"},
    {"repeat", "N", 1, 1, R::Control, R::Words, "", CheckRepeat, nullptr,
     "run the commands up to the matching \"end\" N\ntimes (blocks may be nested)"},
    {"end", "", 0, 0, R::Control, R::Words, "", nullptr, nullptr, "end of a repeat block"},
};

// "No part" -> "no-part": how names are written on the command line.
QString CommandLineName(std::string_view Text) {
    return QString::fromUtf8(Text.data(), qsizetype(Text.size()))
        .toLower()
        .replace(QLatin1Char(' '), QLatin1Char('-'));
}

QString Normalized(const QString& Word) {
    return Word.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
}

QString Number(double V) {
    return QString::number(V, 'g', 7);
}
} // namespace

bool ZelctlSeconds(const QString& Text, int& Ms) {
    bool ok = false;
    const double s = Text.toDouble(&ok);
    if (!ok || s <= 0 || s > 86400)
        return false;
    Ms = int(s * 1000.0 + 0.5);
    return true;
}

QString TZelctlCommandRow::Usage() const {
    return *Form ? QLatin1String(Name) + QLatin1Char(' ') + QLatin1String(Form) : QString::fromLatin1(Name);
}

bool TZelctlCommandRow::TakesOption(const QString& Word) const {
    return QString::fromLatin1(Options).split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(Word);
}

std::span<const TZelctlCommandRow> ZelctlCommandTable() {
    return Table;
}

const TZelctlCommandRow* FindZelctlCommand(const QString& Name) {
    for (const TZelctlCommandRow& r : Table)
        if (Name == QLatin1String(r.Name))
            return &r;
    return nullptr;
}

QString ZelctlCommandHelp() {
    QString text = QStringLiteral("Commands:\n");
    const QString indent(HelpColumn, QLatin1Char(' '));
    for (const TZelctlCommandRow& r : Table) {
        QString left = QStringLiteral("  ") + r.Usage();
        if (left.size() < HelpColumn - 2)
            left = left.leftJustified(HelpColumn);
        else
            left += QLatin1Char('\n') + indent;
        const QStringList lines = QString::fromLatin1(r.Help).split(QLatin1Char('\n'));
        text += left + lines.join(QLatin1Char('\n') + indent) + QLatin1Char('\n');
    }
    return text;
}

bool CheckZelctlTag(const QString& Tag, QString& Error) {
    for (const char32_t c : Tag.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        // As in the tag dialog, which takes no control characters: a NUL would end the tag early.
        if (QChar::category(c) == QChar::Other_Control) {
            Error = QStringLiteral("The device tag cannot hold the control character U+%1")
                        .arg(QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return false;
        }
        if (AnsiToString(StringToAnsi(one)) != one) {
            Error =
                QStringLiteral("The device tag cannot hold '%1' (U+%2): only characters of code page 1252 "
                               "(Western European) can be stored")
                    .arg(one, QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return false;
        }
    }
    if (Tag.size() > 64) {
        Error =
            QStringLiteral("The device tag is %1 characters long; at most 64 can be stored").arg(Tag.size());
        return false;
    }
    return true;
}

bool TZelctlExpectation::Holds(double Value) const {
    switch (Quantity) {
    case Position:
    case Force:
        return Value >= Low && Value <= High;
    case State:
        return int(Value) == GraspingState;
    case Flag:
        break;
    }
    return bool(uint32_t(Value) & Mask) == On;
}

QString TZelctlExpectation::QuantityName() const {
    static const char* const names[] = {"position", "force", "state", "flag"};
    return QLatin1String(names[Quantity]);
}

namespace {
using TExpectation = TZelctlExpectation;

// "VALUE TOLERANCE" or "LOW..HIGH" of a position or force (Out.Quantity set).
bool ReadRange(const QStringList& a, TExpectation& Out) {
    const QString unit =
        Out.Quantity == TExpectation::Position ? QStringLiteral(" mm") : QStringLiteral(" N");
    bool ok1 = false;
    bool ok2 = false;
    if (a.size() == 2 && a[1].contains(QLatin1String(".."))) {
        const qsizetype dots = a[1].indexOf(QLatin1String(".."));
        Out.Low = a[1].left(dots).toDouble(&ok1);
        Out.High = a[1].mid(dots + 2).toDouble(&ok2);
        if (!ok1 || !ok2 || !std::isfinite(Out.Low) || !std::isfinite(Out.High) || Out.Low > Out.High)
            return false;
        Out.Text = Number(Out.Low) + QStringLiteral(" to ") + Number(Out.High) + unit;
        return true;
    }
    if (a.size() != 3)
        return false;
    const double value = a[1].toDouble(&ok1);
    const double tolerance = a[2].toDouble(&ok2);
    if (!ok1 || !ok2 || !std::isfinite(value) || !std::isfinite(tolerance) || tolerance < 0)
        return false;
    Out.Low = value - tolerance;
    Out.High = value + tolerance;
    Out.Text = Number(value) + QStringLiteral(" +/- ") + Number(tolerance) + unit;
    return true;
}

// A grasping state by its name or number.
bool ReadState(const QStringList& a, TExpectation& Out) {
    if (a.size() != 2)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (Normalized(a[1]) == CommandLineName(GraspingStateNames[i]) || a[1] == QString::number(i)) {
            Out.GraspingState = i;
            Out.Text =
                QString::fromUtf8(GraspingStateNames[i].data(), qsizetype(GraspingStateNames[i].size()));
            return true;
        }
    }
    return false;
}

QString StateForm() {
    QStringList names;
    for (const std::string_view n : GraspingStateNames)
        names << CommandLineName(n);
    return QStringLiteral("one of ") + names.join(QStringLiteral(", "));
}

// A system state flag by its name, and on or off.
bool ReadFlag(const QStringList& a, TExpectation& Out) {
    const QStringList onOff = {QStringLiteral("on"), QStringLiteral("off")};
    if (a.size() != 3 || !onOff.contains(a[2].toLower()))
        return false;
    for (const TSysflagDescr& f : SystemStateFlags) {
        if (Normalized(a[1]) == CommandLineName(f.Text)) {
            Out.Mask = f.Mask;
            Out.On = a[2].toLower() == QLatin1String("on");
            Out.Text = QString::fromUtf8(f.Text.data(), qsizetype(f.Text.size())) +
                       (Out.On ? QStringLiteral(" on") : QStringLiteral(" off"));
            return true;
        }
    }
    return false;
}

QString FlagForm() {
    QStringList names;
    for (const TSysflagDescr& f : SystemStateFlags)
        names << CommandLineName(f.Text);
    return QStringLiteral("NAME on|off with NAME one of ") + names.join(QStringLiteral(", "));
}
} // namespace

bool TZelctlExpectation::Parse(const QStringList& Args, bool WaitFor, TZelctlExpectation& Out,
                               QString& Error) {
    const QString command = WaitFor ? QStringLiteral("wait-for") : QStringLiteral("expect");
    QStringList a = Args;
    if (WaitFor) {
        const qsizetype at = a.indexOf(QStringLiteral("--timeout"));
        if (at >= 0) {
            if (at + 1 >= a.size() || !ZelctlSeconds(a[at + 1], Out.TimeoutMs)) {
                Error = QStringLiteral("'wait-for' takes --timeout SECONDS, a positive number of seconds");
                return false;
            }
            a.remove(at, 2);
        }
    }
    if (a.isEmpty()) {
        Error = QStringLiteral("'%1' needs what to check: position, force, state or flag").arg(command);
        return false;
    }
    const QString what = a[0];
    auto fail = [&](const QString& Form) {
        Error = QStringLiteral("'%1 %2' takes %3, not '%4'")
                    .arg(command, what, Form, a.mid(1).join(QLatin1Char(' ')));
        return false;
    };
    if (what == QLatin1String("position") || what == QLatin1String("force")) {
        Out.Quantity = what == QLatin1String("position") ? Position : Force;
        return ReadRange(a, Out) || fail(QStringLiteral("VALUE TOLERANCE or LOW..HIGH"));
    }
    if (what == QLatin1String("state")) {
        Out.Quantity = State;
        return ReadState(a, Out) || fail(StateForm());
    }
    if (what == QLatin1String("flag")) {
        Out.Quantity = Flag;
        return ReadFlag(a, Out) || fail(FlagForm());
    }
    Error = QStringLiteral("'%1' checks position, force, state or flag, not '%2'").arg(command, what);
    return false;
}
