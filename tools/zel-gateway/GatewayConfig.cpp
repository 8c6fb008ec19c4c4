#include "GatewayConfig.h"

#include "engine/LinkAddress.h"
#include "platform/UserFile.h"

#include <QFile>
#include <QSet>
#include <QStringList>

namespace {

struct TReader {
    QString Source;
    QString& Error;
    int Line = 0;

    bool Fail(const QString& Reason) {
        // One pass: a % in the file name is no placeholder.
        Error = QStringLiteral("%1:%2: %3").arg(Source, QString::number(Line), Reason);
        return false;
    }
};

bool ParseInt(const QString& Text, int Low, int High, int& Value) {
    bool ok = false;
    const int v = Text.toInt(&ok, 10);
    if (!ok || v < Low || v > High)
        return false;
    Value = v;
    return true;
}

bool ParseSwitch(const QString& Text, bool& Value) {
    const QString t = Text.toLower();
    if (t == QLatin1String("on") || t == QLatin1String("yes") || t == QLatin1String("true") ||
        t == QLatin1String("1"))
        Value = true;
    else if (t == QLatin1String("off") || t == QLatin1String("no") || t == QLatin1String("false") ||
             t == QLatin1String("0"))
        Value = false;
    else
        return false;
    return true;
}

// ADDRESS:PORT with a numeric address ([v6]:PORT too).
bool Endpoint(TReader& R, const QString& Key, const QString& Value, QString& Address, int& Port) {
    const int colon = Value.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? Value : Value.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (colon < 0 || QHostAddress(host).isNull())
        return R.Fail(
            QStringLiteral("%1 wants ADDRESS:PORT with a numeric address, not \"%2\"").arg(Key, Value));
    if (!ParseInt(Value.mid(colon + 1), 1, 65535, Port))
        return R.Fail(
            QStringLiteral("the %1 port must be 1 to 65535, not \"%2\"").arg(Key, Value.mid(colon + 1)));
    Address = host;
    return true;
}

bool GatewayKey(TReader& R, const QString& Key, const QString& Value, TGatewayConfig& C) {
    if (Key == QLatin1String("modbus"))
        return Endpoint(R, Key, Value, C.ListenAddress, C.ListenPort);
    if (Key == QLatin1String("metrics")) {
        if (Value.toLower() == QLatin1String("off")) {
            C.MetricsPort = 0;
            return true;
        }
        // A port alone serves on loopback.
        if (!Value.contains(QLatin1Char(':'))) {
            if (!ParseInt(Value, 1, 65535, C.MetricsPort))
                return R.Fail(QStringLiteral("the metrics port must be 1 to 65535, not \"%1\"").arg(Value));
            return true;
        }
        return Endpoint(R, Key, Value, C.MetricsAddress, C.MetricsPort);
    }
    if (Key == QLatin1String("write")) {
        if (!ParseSwitch(Value, C.Write))
            return R.Fail(QStringLiteral("write must be on or off, not \"%1\"").arg(Value));
        return true;
    }
    if (Key == QLatin1String("allow")) {
        C.Allow.clear();
        for (const QString& part : Value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QHostAddress address(part.trimmed());
            if (address.isNull())
                return R.Fail(
                    QStringLiteral("allow wants numeric addresses, not \"%1\"").arg(part.trimmed()));
            C.Allow << address;
        }
        return true;
    }
    return R.Fail(QStringLiteral("unknown key \"%1\" in [gateway] (modbus, metrics, write, allow)").arg(Key));
}

bool DeviceKey(TReader& R, const QString& Key, const QString& Value, TDeviceConfig& D) {
    if (Key == QLatin1String("link")) {
        TLinkAddress link;
        QString why;
        if (!ParseLinkAddress(Value, link, why))
            return R.Fail(why);
        D.Link = Value;
        return true;
    }
    if (Key == QLatin1String("unit")) {
        if (!ParseInt(Value, 1, 247, D.Unit))
            return R.Fail(QStringLiteral("unit must be 1 to 247, not \"%1\"").arg(Value));
        return true;
    }
    if (Key == QLatin1String("kind")) {
        if (Value == QLatin1String("gripper"))
            D.Kind = TDeviceKind::Gripper;
        else if (Value == QLatin1String("sensor"))
            D.Kind = TDeviceKind::Sensor;
        else
            return R.Fail(QStringLiteral("kind must be gripper or sensor, not \"%1\"").arg(Value));
        return true;
    }
    if (Key == QLatin1String("report")) {
        // Values older than a second read as stale: a longer period would make them flicker.
        if (!ParseInt(Value, 1, 500, D.ReportPeriod))
            return R.Fail(QStringLiteral("report must be 1 to 500 ms, not \"%1\"").arg(Value));
        return true;
    }
    return R.Fail(
        QStringLiteral("unknown key \"%1\" in [device %2] (link, unit, kind, report)").arg(Key, D.Name));
}

} // namespace

bool TGatewayConfig::MayWrite(const QHostAddress& Client) const {
    if (!Write)
        return false;
    for (const QHostAddress& a : Allow)
        if (a.isEqual(Client, QHostAddress::TolerantConversion))
            return true;
    return false;
}

namespace {
// The file read line by line: the section in force and what it has given so far.
class TConfigParser {
public:
    TConfigParser(const QString& Source, QString& Error) : r{Source, Error} {}

    bool Parse(const QString& Text, TGatewayConfig& Config) {
        const QStringList lines = Text.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            r.Line = i + 1;
            const QString line = lines[i].trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
                continue;
            if (!(line.startsWith(QLatin1Char('[')) ? Section(line) : KeyValue(line)))
                return false;
        }
        r.Line = int(lines.size());
        if (!FinishDevice())
            return false;
        if (c.Devices.isEmpty())
            return r.Fail(QStringLiteral("no [device NAME] section: nothing to serve"));
        Config = c;
        return true;
    }

private:
    // The device section that ends has a link and a unit of its own; errors name its header line.
    bool FinishDevice() {
        if (section != Device)
            return true;
        const TDeviceConfig& d = c.Devices.back();
        const int here = r.Line;
        r.Line = d.Line;
        bool ok = true;
        if (d.Link.isEmpty())
            ok = r.Fail(QStringLiteral("[device %1] has no link").arg(d.Name));
        else if (d.Unit == 0)
            ok = r.Fail(QStringLiteral("[device %1] has no unit").arg(d.Name));
        else
            for (int i = 0; i + 1 < c.Devices.size(); ++i)
                if (c.Devices[i].Unit == d.Unit) {
                    ok = r.Fail(QStringLiteral("unit %1 is already taken by [device %2]")
                                    .arg(d.Unit)
                                    .arg(c.Devices[i].Name));
                    break;
                }
        r.Line = here;
        return ok;
    }

    bool Section(const QString& Line) {
        if (!Line.endsWith(QLatin1Char(']')))
            return r.Fail(QStringLiteral("a section header ends with ]"));
        if (!FinishDevice())
            return false;
        keys.clear();
        const QString header = Line.mid(1, Line.size() - 2).trimmed();
        if (header == QLatin1String("gateway")) {
            if (seenGateway)
                return r.Fail(QStringLiteral("a second [gateway] section"));
            seenGateway = true;
            section = Gateway;
            return true;
        }
        if (header != QLatin1String("device") && !header.startsWith(QLatin1String("device ")))
            return r.Fail(QStringLiteral("unknown section [%1] ([gateway] or [device NAME])").arg(header));
        const QString name = header.mid(7).trimmed();
        if (name.isEmpty())
            return r.Fail(QStringLiteral("a device section needs a name: [device NAME]"));
        if (names.contains(name))
            return r.Fail(QStringLiteral("a second [device %1] section").arg(name));
        names.insert(name);
        TDeviceConfig d;
        d.Name = name;
        d.Line = r.Line;
        c.Devices << d;
        section = Device;
        return true;
    }

    bool KeyValue(const QString& Line) {
        const int eq = Line.indexOf(QLatin1Char('='));
        if (eq < 0)
            return r.Fail(QStringLiteral("expected KEY = VALUE or a [section], not \"%1\"").arg(Line));
        const QString key = Line.left(eq).trimmed().toLower();
        const QString value = Line.mid(eq + 1).trimmed();
        if (section == None)
            return r.Fail(QStringLiteral("\"%1\" comes before any section").arg(key));
        if (keys.contains(key))
            return r.Fail(QStringLiteral("\"%1\" is given twice in this section").arg(key));
        keys.insert(key);
        if (value.isEmpty())
            return r.Fail(QStringLiteral("\"%1\" has no value").arg(key));
        return section == Gateway ? GatewayKey(r, key, value, c) : DeviceKey(r, key, value, c.Devices.back());
    }

    TGatewayConfig c;
    TReader r;
    enum { None, Gateway, Device } section = None;
    bool seenGateway = false;
    QSet<QString> names;
    QSet<QString> keys;
};
} // namespace

bool ParseGatewayConfig(const QString& Text, const QString& Source, TGatewayConfig& Config, QString& Error) {
    return TConfigParser(Source, Error).Parse(Text, Config);
}

bool ReadGatewayConfig(const QString& Path, TGatewayConfig& Config, QString& Error) {
    // A regular file only: a FIFO would hold the start until a writer comes.
    QByteArray bytes;
    QString why;
    if (UserFile::ReadAll(Path, 1 << 20, bytes, why) != UserFile::Opened) {
        Error = QStringLiteral("%1: %2").arg(Path, why);
        return false;
    }
    return ParseGatewayConfig(QString::fromUtf8(bytes), Path, Config, Error);
}
