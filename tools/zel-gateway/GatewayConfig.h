#pragma once
// The gateway's configuration file: a [gateway] section and one [device NAME] section per device.
// Anything the file does not say takes the safe default (loopback, writes off, nobody allowed).
#include <QHostAddress>
#include <QList>
#include <QString>

enum class TDeviceKind { Gripper = 1, Sensor = 2 };

struct TDeviceConfig {
    QString Name;
    QString Link;
    int Unit = 0;
    TDeviceKind Kind = TDeviceKind::Gripper;
    int ReportPeriod = 100; // ms between the device's own reports
    int Line = 0;           // of the section header, for messages
};

struct TGatewayConfig {
    QString ListenAddress = QStringLiteral("127.0.0.1");
    int ListenPort = 1502;
    // Where to serve /metrics and /healthz over HTTP; off while MetricsPort is 0.
    QString MetricsAddress = QStringLiteral("127.0.0.1");
    int MetricsPort = 0;
    bool Write = false;
    QList<QHostAddress> Allow;
    QList<TDeviceConfig> Devices;

    bool MayWrite(const QHostAddress& Client) const;
};

// Parses Text (the contents of a file named Source). On a mistake returns false with Error
// "SOURCE:LINE: reason".
bool ParseGatewayConfig(const QString& Text, const QString& Source, TGatewayConfig& Config, QString& Error);
bool ReadGatewayConfig(const QString& Path, TGatewayConfig& Config, QString& Error);
