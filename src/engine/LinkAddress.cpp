#include "engine/LinkAddress.h"

#include "transports/CanLib.h"

#include <QStringList>

#include <optional>

namespace {
struct TOption {
    QString Key;
    QString Value;
};

class TLinkReader {
public:
    TLinkReader(const QString& Text, QString& Error) : FText(Text), FError(Error) {}

    bool Fail(const QString& Why) {
        FError = QStringLiteral("Invalid link '%1': %2").arg(FText, Why);
        return false;
    }

    // A decimal number (hex with 0x where Hex) in Low..High, named What in the message.
    std::optional<int> Number(const QString& Value, int Low, int High, const QString& What,
                              bool Hex = false) {
        bool ok = false;
        const bool hex = Hex && Value.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        const int v = hex ? Value.mid(2).toInt(&ok, 16) : Value.toInt(&ok, 10);
        // toInt takes a sign and spaces; a link has neither.
        for (const QChar c : Value)
            if (c == QLatin1Char('+') || c == QLatin1Char('-') || c.isSpace())
                ok = false;
        if (!ok || v < Low || v > High) {
            Fail(QStringLiteral("%1 '%2' is not a number from %3 to %4")
                     .arg(What, Value, QString::number(Low), QString::number(High)));
            return std::nullopt;
        }
        return v;
    }

    // HOST[:PORT] or [IPV6][:PORT]; Port keeps its default when none is given.
    bool HostPort(const QString& Authority, const QString& Form, QString& Host, int& Port) {
        QString rest;
        if (Authority.startsWith(QLatin1Char('['))) {
            const qsizetype close = Authority.indexOf(QLatin1Char(']'));
            if (close < 0)
                return Fail(QStringLiteral("the IPv6 address lacks its closing ']'"));
            Host = Authority.mid(1, close - 1);
            rest = Authority.mid(close + 1);
            if (Host.isEmpty() || !Host.contains(QLatin1Char(':')))
                return Fail(QStringLiteral("'[%1]' is not an IPv6 address").arg(Host));
            if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
                return Fail(QStringLiteral("unexpected '%1' after the IPv6 address").arg(rest));
        } else {
            const qsizetype colon = Authority.indexOf(QLatin1Char(':'));
            Host = colon < 0 ? Authority : Authority.left(colon);
            rest = colon < 0 ? QString() : Authority.mid(colon);
            if (rest.count(QLatin1Char(':')) > 1)
                return Fail(QStringLiteral("an IPv6 address goes in brackets: %1").arg(Form));
        }
        if (Host.isEmpty())
            return Fail(QStringLiteral("the host is missing: expected %1").arg(Form));
        if (!rest.isEmpty()) {
            const auto port = Number(rest.mid(1), 1, 65535, QStringLiteral("port"));
            if (!port)
                return false;
            Port = *port;
        }
        return true;
    }

    bool Options(const QString& Query, const QStringList& Known, std::vector<TOption>& Out) {
        if (Query.isEmpty())
            return true;
        for (const QString& item : Query.split(QLatin1Char('&'))) {
            const qsizetype eq = item.indexOf(QLatin1Char('='));
            if (item.isEmpty() || eq <= 0 || eq == item.size() - 1)
                return Fail(QStringLiteral("option '%1' is not KEY=VALUE").arg(item));
            TOption o{item.left(eq).toLower(), item.mid(eq + 1)};
            if (!Known.contains(o.Key))
                return Fail(Known.isEmpty() ? QStringLiteral("this link takes no option '%1'").arg(o.Key)
                                            : QStringLiteral("unknown option '%1' (expected %2)")
                                                  .arg(o.Key, Known.join(QStringLiteral(", "))));
            for (const TOption& seen : Out)
                if (seen.Key == o.Key)
                    return Fail(QStringLiteral("option '%1' is given twice").arg(o.Key));
            Out.push_back(std::move(o));
        }
        return true;
    }

private:
    const QString& FText;
    QString& FError;
};

QString HostText(const QString& Host) {
    return Host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(Host) : Host;
}
} // namespace

namespace {
bool ParseIpLink(TLinkReader& r, bool Tcp, QString Rest, const QString& Query, TLinkAddress& Link) {
    const QString form = Tcp ? QStringLiteral("tcp://HOST[:PORT]") : QStringLiteral("udp://HOST[:TXPORT]");
    if (Rest.endsWith(QLatin1Char('/')))
        Rest.chop(1);
    if (const qsizetype slash = Rest.indexOf(QLatin1Char('/')); slash >= 0)
        return r.Fail(
            QStringLiteral("unexpected '%1' after the host: expected %2").arg(Rest.mid(slash), form));
    std::vector<TOption> options;
    if (!r.Options(Query, Tcp ? QStringList() : QStringList{QStringLiteral("listen")}, options))
        return false;
    if (Tcp) {
        Link.Kind = TLinkAddress::TKind::Tcp;
        Link.Tcp.Port = 1000;
        return r.HostPort(Rest, form, Link.Tcp.Host, Link.Tcp.Port);
    }
    Link.Kind = TLinkAddress::TKind::Udp;
    Link.Udp.TransmitPort = 1500;
    Link.Udp.ListeningPort = 1501;
    if (!r.HostPort(Rest, form, Link.Udp.Address, Link.Udp.TransmitPort))
        return false;
    for (const TOption& o : options) {
        const auto port = r.Number(o.Value, 1, 65535, QStringLiteral("listening port"));
        if (!port)
            return false;
        Link.Udp.ListeningPort = *port;
    }
    return true;
}

bool ParseSerialLink(TLinkReader& r, const QString& Rest, const QString& Query, TLinkAddress& Link) {
    // serial:///dev/ttyUSB0 names a path, serial://ttyUSB0 a port by name.
    if (Rest.isEmpty() || Rest == QLatin1String("/"))
        return r.Fail(QStringLiteral("the port is missing: expected serial:///dev/PORT or serial://PORT"));
    std::vector<TOption> options;
    if (!r.Options(Query, {QStringLiteral("baud")}, options))
        return false;
    Link.Kind = TLinkAddress::TKind::Serial;
    Link.Serial.Port = Rest;
    Link.Serial.Baudrate = 9600;
    for (const TOption& o : options) {
        const auto baud = r.Number(o.Value, 1, 100000000, QStringLiteral("baud rate"));
        if (!baud)
            return false;
        Link.Serial.Baudrate = *baud;
    }
    return true;
}

bool ParseCanOption(TLinkReader& r, const TOption& o, TLinkAddress& Link) {
    if (o.Key == QLatin1String("backend")) {
        if (o.Value != QLatin1String("socketcan") && o.Value != QLatin1String("virtualcan"))
            return r.Fail(QStringLiteral("backend '%1' is not socketcan or virtualcan").arg(o.Value));
        Link.CanBackend = o.Value;
        return true;
    }
    if (o.Key == QLatin1String("id")) {
        const auto id = r.Number(o.Value, 0, TCANDevice::MaxId, QStringLiteral("identifier"), true);
        if (!id)
            return false;
        Link.Can.Id = *id;
        return true;
    }
    const auto code = r.Number(o.Value, 0, 255, QStringLiteral("bit rate code"));
    if (!code)
        return false;
    if (CanBitrateForCode(uint32_t(*code)) == 0)
        return r.Fail(QStringLiteral("bit rate code '%1' names no bit rate").arg(o.Value));
    Link.Can.Bitrate = *code;
    return true;
}

bool ParseCanLink(TLinkReader& r, QString Rest, const QString& Query, TLinkAddress& Link) {
    if (Rest.endsWith(QLatin1Char('/')))
        Rest.chop(1);
    if (Rest.isEmpty())
        return r.Fail(QStringLiteral("the interface is missing: expected can://INTERFACE or can://NET"));
    for (const QChar c : Rest)
        if (!c.isLetterOrNumber() && c != QLatin1Char('_') && c != QLatin1Char('-') && c != QLatin1Char('.'))
            return r.Fail(QStringLiteral("'%1' is not an interface name or net number").arg(Rest));
    std::vector<TOption> options;
    if (!r.Options(Query, {QStringLiteral("id"), QStringLiteral("bitrate"), QStringLiteral("backend")},
                   options))
        return false;
    Link.Kind = TLinkAddress::TKind::Can;
    if (Rest.front().isDigit()) {
        const auto net = r.Number(Rest, 0, 255, QStringLiteral("net"));
        if (!net)
            return false;
        Link.Can.Net = *net;
    } else {
        Link.Can.Interface = Rest;
    }
    for (const TOption& o : options)
        if (!ParseCanOption(r, o, Link))
            return false;
    return true;
}
} // namespace

bool ParseLinkAddress(const QString& Text, TLinkAddress& Link, QString& Error) {
    TLinkReader r(Text, Error);
    const qsizetype sep = Text.indexOf(QLatin1String("://"));
    if (sep <= 0)
        return r.Fail(QStringLiteral("expected tcp://, udp://, serial:// or can:// at the start"));
    const QString scheme = Text.left(sep).toLower();
    QString rest = Text.mid(sep + 3);
    QString query;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        query = rest.mid(q + 1);
        rest = rest.left(q);
    }
    TLinkAddress link;
    bool ok = false;
    if (scheme == QLatin1String("tcp") || scheme == QLatin1String("udp"))
        ok = ParseIpLink(r, scheme == QLatin1String("tcp"), rest, query, link);
    else if (scheme == QLatin1String("serial"))
        ok = ParseSerialLink(r, rest, query, link);
    else if (scheme == QLatin1String("can"))
        ok = ParseCanLink(r, rest, query, link);
    else
        return r.Fail(QStringLiteral("unknown kind '%1': expected tcp, udp, serial or can").arg(scheme));
    if (ok)
        Link = link;
    return ok;
}

int32_t TLinkAddress::TransportIndex() const {
    return int32_t(Kind); // the kinds are in the engine's order of transports
}

// Joined, not formatted with arg(): a host may hold a '%' that a later arg() would fill in.
QString TLinkAddress::Description() const {
    const auto n = [](int V) { return QString::number(V); };
    switch (Kind) {
    case TKind::Serial:
        return QStringLiteral("serial ") + Serial.Port + QStringLiteral(" at ") + n(Serial.Baudrate) +
               QStringLiteral(" Bd");
    case TKind::Tcp:
        return QStringLiteral("TCP ") + Tcp.Host + QLatin1Char(':') + n(Tcp.Port);
    case TKind::Udp:
        return QStringLiteral("UDP ") + Udp.Address + QLatin1Char(':') + n(Udp.TransmitPort) +
               QStringLiteral(", listening on ") + n(Udp.ListeningPort);
    case TKind::Can:
        return QStringLiteral("CAN ") + (CanBackend.isEmpty() ? QStringLiteral("socketcan") : CanBackend) +
               QLatin1Char(' ') +
               (Can.Interface.isEmpty() ? QStringLiteral("net ") + n(Can.Net) : Can.Interface) +
               QStringLiteral(", bit rate code ") + n(Can.Bitrate) + QStringLiteral(", id ") + n(Can.Id);
    }
    return {};
}

QString TLinkAddress::Text() const {
    const auto n = [](int V) { return QString::number(V); };
    switch (Kind) {
    case TKind::Serial:
        return QStringLiteral("serial://") + Serial.Port + QStringLiteral("?baud=") + n(Serial.Baudrate);
    case TKind::Tcp:
        return QStringLiteral("tcp://") + HostText(Tcp.Host) + QLatin1Char(':') + n(Tcp.Port);
    case TKind::Udp:
        return QStringLiteral("udp://") + HostText(Udp.Address) + QLatin1Char(':') + n(Udp.TransmitPort) +
               QStringLiteral("?listen=") + n(Udp.ListeningPort);
    case TKind::Can:
        return QStringLiteral("can://") + (Can.Interface.isEmpty() ? n(Can.Net) : Can.Interface) +
               QStringLiteral("?id=") + n(Can.Id) + QStringLiteral("&bitrate=") + n(Can.Bitrate) +
               (CanBackend.isEmpty() ? QString() : QStringLiteral("&backend=") + CanBackend);
    }
    return {};
}
