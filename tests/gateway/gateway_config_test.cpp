// The configuration file: safe defaults, and every mistake refused with its line and reason.
#include "GatewayConfig.h"

#include <gtest/gtest.h>

namespace {

const char* const Device = "[device left]\nlink = tcp://127.0.0.1:1000\nunit = 1\n";

TEST(GatewayConfig, DefaultsAreLoopbackWithoutWrites) {
    TGatewayConfig c;
    QString error;
    ASSERT_TRUE(ParseGatewayConfig(QString::fromUtf8(Device), QStringLiteral("g.ini"), c, error))
        << error.toStdString();
    EXPECT_EQ(c.ListenAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(c.ListenPort, 1502);
    EXPECT_FALSE(c.Write);
    EXPECT_FALSE(c.MayWrite(QHostAddress(QStringLiteral("127.0.0.1"))));
    EXPECT_EQ(c.MetricsPort, 0); // no metrics
    ASSERT_EQ(c.Devices.size(), 1);
    EXPECT_EQ(c.Devices[0].Kind, TDeviceKind::Gripper);
    EXPECT_EQ(c.Devices[0].Unit, 1);
}

TEST(GatewayConfig, WritesOnlyFromAllowedClientsAndOnlyWhenOn) {
    TGatewayConfig c;
    QString error;
    const QString text =
        QStringLiteral("# cell 4\n[gateway]\nmodbus = 0.0.0.0:502\nwrite = on\nallow = 10.0.0.5, "
                       "::1\n\n[device right]\nlink = tcp://[::1]:2000\nunit = 247\nkind = sensor\n"
                       "[device bench]\nlink = serial:///dev/ttyUSB0?baud=115200\nunit = 9\n") +
        QString::fromUtf8(Device);
    ASSERT_TRUE(ParseGatewayConfig(text, QStringLiteral("g.ini"), c, error)) << error.toStdString();
    EXPECT_EQ(c.ListenAddress, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(c.ListenPort, 502);
    EXPECT_TRUE(c.MayWrite(QHostAddress(QStringLiteral("10.0.0.5"))));
    EXPECT_TRUE(
        c.MayWrite(QHostAddress(QStringLiteral("::ffff:10.0.0.5")))); // an IPv4 client on a dual socket
    EXPECT_TRUE(c.MayWrite(QHostAddress(QStringLiteral("::1"))));
    EXPECT_FALSE(c.MayWrite(QHostAddress(QStringLiteral("10.0.0.6"))));
    ASSERT_EQ(c.Devices.size(), 3);
    EXPECT_EQ(c.Devices[0].Kind, TDeviceKind::Sensor);
    c.Write = false;
    EXPECT_FALSE(c.MayWrite(QHostAddress(QStringLiteral("10.0.0.5"))));
}

TEST(GatewayConfig, MetricsServeOnLoopbackUnlessAnAddressIsGiven) {
    struct TRow {
        const char* Line;
        const char* Address;
        int Port;
    };
    const TRow rows[] = {{"metrics = 9464", "127.0.0.1", 9464},
                         {"metrics = 0.0.0.0:9100", "0.0.0.0", 9100},
                         {"metrics = [::1]:9100", "::1", 9100},
                         {"metrics = off", "127.0.0.1", 0}};
    for (const TRow& row : rows) {
        TGatewayConfig c;
        QString error;
        const QString text = QStringLiteral("[gateway]\n%1\n%2").arg(QLatin1String(row.Line), QLatin1String(Device));
        ASSERT_TRUE(ParseGatewayConfig(text, QStringLiteral("g.ini"), c, error)) << error.toStdString();
        EXPECT_EQ(c.MetricsAddress, QLatin1String(row.Address)) << row.Line;
        EXPECT_EQ(c.MetricsPort, row.Port) << row.Line;
    }
}

TEST(GatewayConfig, MistakesNameTheLineAndTheReason) {
    struct TRow {
        const char* Text;
        const char* Error;
    };
    const TRow rows[] = {
        {"", "g.ini:1: no [device NAME] section: nothing to serve"},
        {"modbus = 1.2.3.4:5\n", "g.ini:1: \"modbus\" comes before any section"},
        {"[gateway]\nmodbus = localhost:502\n",
         "g.ini:2: modbus wants ADDRESS:PORT with a numeric address, not \"localhost:502\""},
        {"[gateway]\nmodbus = 127.0.0.1:70000\n",
         "g.ini:2: the modbus port must be 1 to 65535, not \"70000\""},
        {"[gateway]\nmetrics = host:9100\n",
         "g.ini:2: metrics wants ADDRESS:PORT with a numeric address, not \"host:9100\""},
        {"[gateway]\nmetrics = 0\n", "g.ini:2: the metrics port must be 1 to 65535, not \"0\""},
        {"[gateway]\nmetrics = 1.2.3.4:0\n", "g.ini:2: the metrics port must be 1 to 65535, not \"0\""},
        {"[gateway]\nwrite = maybe\n", "g.ini:2: write must be on or off, not \"maybe\""},
        {"[gateway]\nallow = 10.0.0.1,plc\n", "g.ini:2: allow wants numeric addresses, not \"plc\""},
        {"[gateway]\nwrite = on\nwrite = off\n", "g.ini:3: \"write\" is given twice in this section"},
        {"[gateway]\nport = 2\n", "g.ini:2: unknown key \"port\" in [gateway] (modbus, metrics, write, allow)"},
        {"[gateway]\n[gateway]\n", "g.ini:2: a second [gateway] section"},
        {"[gripper a]\n", "g.ini:1: unknown section [gripper a] ([gateway] or [device NAME])"},
        {"[device a\n", "g.ini:1: a section header ends with ]"},
        {"[device ]\n", "g.ini:1: a device section needs a name: [device NAME]"},
        {"[device a]\nunit 1\n", "g.ini:2: expected KEY = VALUE or a [section], not \"unit 1\""},
        {"[device a]\nunit =\n", "g.ini:2: \"unit\" has no value"},
        {"[device a]\nunit = 0\n", "g.ini:2: unit must be 1 to 247, not \"0\""},
        {"[device a]\nunit = 248\n", "g.ini:2: unit must be 1 to 247, not \"248\""},
        {"[device a]\nkind = robot\n", "g.ini:2: kind must be gripper or sensor, not \"robot\""},
        {"[device a]\nlink = 127.0.0.1:1000\n",
         "g.ini:2: Invalid link '127.0.0.1:1000': expected tcp://, udp://, serial:// or can:// at the start"},
        {"[device a]\nlink = tcp://host:0\n",
         "g.ini:2: Invalid link 'tcp://host:0': port '0' is not a number from 1 to 65535"},
        {"[device a]\nlink = tcp://:1000\n",
         "g.ini:2: Invalid link 'tcp://:1000': the host is missing: expected tcp://HOST[:PORT]"},
        {"[device a]\nlink = tcp://[::1\n",
         "g.ini:2: Invalid link 'tcp://[::1': the IPv6 address lacks its closing ']'"},
        {"[device a]\nunit = 1\n\n[device b]\nlink = tcp://h\nunit = 2\n", "g.ini:1: [device a] has no link"},
        {"[device a]\nlink = tcp://h\n", "g.ini:1: [device a] has no unit"},
        {"[device a]\nlink = tcp://h\nunit = 3\n[device b]\nlink = tcp://h:2\nunit = 3\n",
         "g.ini:4: unit 3 is already taken by [device a]"},
        {"[device a]\nlink = tcp://h\nunit = 3\n[device a]\n", "g.ini:4: a second [device a] section"},
        {"[device a]\nreport = 600\n", "g.ini:2: report must be 1 to 500 ms, not \"600\""},
        {"[device a]\nspeed = 3\n",
         "g.ini:2: unknown key \"speed\" in [device a] (link, unit, kind, report)"},
    };
    for (const TRow& row : rows) {
        TGatewayConfig c;
        c.ListenPort = 7;
        QString error;
        EXPECT_FALSE(ParseGatewayConfig(QString::fromUtf8(row.Text), QStringLiteral("g.ini"), c, error))
            << row.Text;
        EXPECT_EQ(error.toStdString(), row.Error) << row.Text;
        EXPECT_EQ(c.ListenPort, 7) << "a refused file changes nothing";
    }
}

} // namespace
