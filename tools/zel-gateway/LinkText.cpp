#include "LinkText.h"

bool ParseLinkText(const QString& Text, TLinkAddress& Address, QString& Error) {
    const int scheme = Text.indexOf(QLatin1String("://"));
    if (scheme < 0) {
        Error = QStringLiteral("link \"%1\" has no scheme: write tcp://HOST[:PORT]").arg(Text);
        return false;
    }
    const QString kind = Text.left(scheme).toLower();
    if (kind != QLatin1String("tcp")) {
        Error = QStringLiteral("link \"%1\": the gateway serves tcp:// links").arg(Text);
        return false;
    }
    const QString rest = Text.mid(scheme + 3);
    QString host;
    QString port;
    bool hasPort = false;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) {
            Error = QStringLiteral("link \"%1\": an IPv6 host ends with ]").arg(Text);
            return false;
        }
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':'))) {
                Error = QStringLiteral("link \"%1\": only :PORT may follow the host").arg(Text);
                return false;
            }
            port = after.mid(1);
            hasPort = true;
        }
    } else {
        const int colon = rest.indexOf(QLatin1Char(':'));
        host = colon < 0 ? rest : rest.left(colon);
        if (colon >= 0) {
            port = rest.mid(colon + 1);
            hasPort = true;
        }
    }
    if (host.isEmpty() || host.contains(QLatin1Char('/')) || host.contains(QLatin1Char('?'))) {
        Error = QStringLiteral("link \"%1\" has no host").arg(Text);
        return false;
    }
    TLinkAddress a;
    a.Host = host;
    if (hasPort) {
        bool ok = false;
        a.Port = port.toInt(&ok, 10);
        if (!ok || a.Port < 1 || a.Port > 65535) {
            Error = QStringLiteral("link \"%1\": the port must be 1 to 65535").arg(Text);
            return false;
        }
    }
    Address = a;
    return true;
}

bool CheckLinkText(const QString& Text, QString& Error) {
    TLinkAddress unused;
    return ParseLinkText(Text, unused, Error);
}
