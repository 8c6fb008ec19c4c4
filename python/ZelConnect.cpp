#include "ZelConnect.h"

#include "CommandComponent.h"
#include "IniFile.h"
#include "KORADevice.h"
#include "ZelErrors.h"
#include "ZelRuntime.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

#include <memory>

namespace zelpy {
namespace {
const QString Section = QStringLiteral("link");

[[noreturn]] void Bad(const std::string& Url, const std::string& Why) {
    throw TError(TFailure::ConnectFailed, "Invalid link '" + Url + "': " + Why);
}

int Number(const std::string& Url, const QString& Text, int Low, int High, const char* What) {
    bool ok = false;
    const int v = Text.toInt(&ok, 0);
    if (!ok || v < Low || v > High)
        Bad(Url, std::string("bad ") + What + " '" + Text.toStdString() + "'");
    return v;
}
} // namespace

TLink ParseLink(const std::string& Url) {
    const QUrl url(QString::fromStdString(Url), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        Bad(Url, "expected tcp://, udp://, serial:// or can://");
    QUrlQuery query(url);
    auto take = [&query](const char* Key, const QString& Default) {
        const QString key = QLatin1String(Key);
        const QString v = query.hasQueryItem(key) ? query.queryItemValue(key) : Default;
        query.removeAllQueryItems(key);
        return v;
    };
    TLink link;
    auto key = [&link](const char* Key, const QString& V) { link.Keys.append({QLatin1String(Key), V}); };
    const QString scheme = url.scheme().toLower();
    const QString host = url.host();
    if (scheme == QLatin1String("tcp") || scheme == QLatin1String("udp")) {
        if (host.isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/")))
            Bad(Url, "expected " + scheme.toStdString() + "://HOST[:PORT]");
        const bool tcp = scheme == QLatin1String("tcp");
        const int port = url.port(tcp ? 1000 : 1500);
        if (port < 1)
            Bad(Url, "bad port");
        if (tcp) {
            link.Transport = 1;
            key("host", host);
            key("port", QString::number(port));
            link.Description = QStringLiteral("TCP %1:%2").arg(host).arg(port).toStdString();
        } else {
            const int listen =
                Number(Url, take("listen", QStringLiteral("1501")), 1, 65535, "listening port");
            link.Transport = 2;
            key("ipaddr", host);
            key("transmit_port", QString::number(port));
            key("listening_port", QString::number(listen));
            link.Description =
                QStringLiteral("UDP %1:%2, listening on %3").arg(host).arg(port).arg(listen).toStdString();
        }
    } else if (scheme == QLatin1String("serial")) {
        // serial:///dev/ttyUSB0 names a path, serial://ttyUSB0 a port by name.
        const QString port = host.isEmpty() ? url.path() : host + url.path();
        if (port.isEmpty() || port == QLatin1String("/"))
            Bad(Url, "expected serial://PORT or serial:///PATH");
        const int baud = Number(Url, take("baud", QStringLiteral("9600")), 1, 100000000, "baud rate");
        link.Transport = 0;
        key("port", port);
        key("baudrate", QString::number(baud));
        link.Description = QStringLiteral("serial %1 at %2 Bd").arg(port).arg(baud).toStdString();
    } else if (scheme == QLatin1String("can")) {
        // As written: QUrl would read a net number as an IPv4 address.
        const QString raw = QString::fromStdString(Url);
        const qsizetype from = raw.indexOf(QLatin1String("://")) + 3;
        const qsizetype to = raw.indexOf(QRegularExpression(QStringLiteral("[/?#]")), from);
        const QString iface = raw.mid(from, to < 0 ? -1 : to - from);
        if (iface.isEmpty())
            Bad(Url, "expected can://INTERFACE or can://NET");
        const QString backend = take("backend", QStringLiteral("socketcan"));
        const int id = Number(Url, take("id", QStringLiteral("100")), 0, 0x7FF, "identifier");
        const int bitrate = Number(Url, take("bitrate", QStringLiteral("4")), 0, 255, "bit rate code");
        const bool net = iface.front().isDigit();
        if (net)
            Number(Url, iface, 0, 255, "net");
        link.Transport = 3;
        key("backend", backend);
        key(net ? "net" : "interface", iface);
        key("bitrate", QString::number(bitrate));
        key("id", QString::number(id));
        link.Description = QStringLiteral("CAN %1 %2, bit rate code %3, id %4")
                               .arg(backend, net ? QStringLiteral("net ") + iface : iface)
                               .arg(bitrate)
                               .arg(id)
                               .toStdString();
    } else {
        Bad(Url, "unknown scheme '" + scheme.toStdString() + "'");
    }
    if (!query.isEmpty())
        Bad(Url, "unknown option '" + query.queryItems().front().first.toStdString() + "'");
    return link;
}

void ConnectDevice(TKORADevice& Device, const TLink& Link, double TimeoutSeconds) {
    QTemporaryDir dir;
    if (!dir.isValid())
        throw TError(TFailure::ConnectFailed, "Cannot create a temporary folder for the link settings");
    TIniFile ini(dir.filePath(QStringLiteral("link.ini")));
    for (const auto& k : Link.Keys)
        ini.WriteString(Section, k.first, k.second);

    // The device's own connect sequence runs unchanged; this only notes that it has finished, so
    // that a refused device is told apart from one that is still connecting.
    auto sequenceDone = std::make_shared<bool>(false);
    TKORADevice* device = &Device;
    Device.Command()->SetOnConnected([device, sequenceDone](TDevice* Sender) {
        struct TDone {
            bool& Flag;
            ~TDone() {
                Flag = true;
                Wake();
            }
        } done{*sequenceDone};
        device->DoConnected(Sender);
    });
    bool accepted = false;
    const TDeviceNotifyEvent previous = Device.OnConnect;
    Device.OnConnect = [&accepted, previous](TKORADevice* Sender) {
        accepted = true;
        Wake();
        if (previous)
            previous(Sender);
    };
    struct TRestore {
        TKORADevice& D;
        TDeviceNotifyEvent Previous;
        ~TRestore() { D.OnConnect = Previous; }
    } restore{Device, previous};

    const std::string prefix = "Cannot connect over " + Link.Description + ": ";
    TakeMessages();
    // What the transport would have shown the operator says more than its status.
    auto reason = [](std::string Why) {
        const std::string shown = TakeMessages();
        return shown.empty() ? Why : Why + "\n" + shown;
    };
    TStat result = E_SUCCESS;
    try {
        result = Device.ConnectFromSettings(Link.Transport, ini, Section);
    } catch (const std::exception& e) {
        throw TError(TFailure::ConnectFailed, prefix + reason(e.what()));
    }
    if (result != E_SUCCESS)
        throw TError(TFailure::ConnectFailed, prefix + reason(StatToStr(result)), result);

    PumpUntil([&] { return accepted || *sequenceDone; }, TimeoutSeconds);
    std::string why;
    if (const std::exception_ptr e = TakeReportedError()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            why = x.what();
        } catch (...) {
            why = "unknown error";
        }
    } else if (!accepted && !*sequenceDone) {
        why = "no answer within the time limit";
    } else if (!accepted) {
        why = Device.IsConnected() ? "the device check failed"
                                   : "the device did not answer the system information request";
    }
    if (accepted && why.empty()) {
        TakeMessages();
        return;
    }
    why = reason(why);
    try {
        Device.Disconnect();
    } catch (const std::exception&) {
        // Already failing; the link is closed either way.
    }
    if (std::exception_ptr stop = TakeInterrupt())
        std::rethrow_exception(stop);
    throw TError(TFailure::ConnectFailed, prefix + why);
}

} // namespace zelpy
