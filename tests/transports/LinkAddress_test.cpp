// Link texts: what each good one opens, and what each bad one is told.
#include "engine/LinkAddress.h"

#include <gtest/gtest.h>

TEST(LinkAddress, GoodLinksReadBackAsTheirCanonicalText) {
    const QList<QPair<QString, QString>> rows = {
        {"tcp://127.0.0.1", "tcp://127.0.0.1:1000"},
        {"TCP://gripper.local:5000/", "tcp://gripper.local:5000"},
        {"tcp://[::1]:2000", "tcp://[::1]:2000"},
        {"tcp://[fe80::1%eth0]", "tcp://[fe80::1%eth0]:1000"},
        {"udp://10.0.0.2", "udp://10.0.0.2:1500?listen=1501"},
        {"udp://10.0.0.2:1600?listen=1601", "udp://10.0.0.2:1600?listen=1601"},
        {"udp://[::1]?listen=7", "udp://[::1]:1500?listen=7"},
        {"udp://h%1x%0:5?listen=6", "udp://h%1x%0:5?listen=6"}, // a '%' is no place holder
        {"serial:///dev/ttyUSB0", "serial:///dev/ttyUSB0?baud=9600"},
        {"serial:///dev/ttyUSB0?baud=115200", "serial:///dev/ttyUSB0?baud=115200"},
        {"serial://ttyACM0?BAUD=57600", "serial://ttyACM0?baud=57600"},
        {"can://vcan0", "can://vcan0?id=100&bitrate=4"},
        {"can://can1?id=0x7F&bitrate=2", "can://can1?id=127&bitrate=2"},
        {"can://0?backend=virtualcan&id=5", "can://0?id=5&bitrate=4&backend=virtualcan"},
    };
    for (const auto& [text, canonical] : rows) {
        TLinkAddress link;
        QString error;
        ASSERT_TRUE(ParseLinkAddress(text, link, error)) << text.toStdString() << ": " << error.toStdString();
        EXPECT_EQ(link.Text(), canonical) << text.toStdString();
        TLinkAddress again;
        ASSERT_TRUE(ParseLinkAddress(link.Text(), again, error)) << error.toStdString();
        EXPECT_EQ(again.Text(), canonical);
    }
    TLinkAddress link;
    QString error;
    ASSERT_TRUE(ParseLinkAddress(QStringLiteral("udp://[::1]:9?listen=8"), link, error));
    EXPECT_EQ(link.TransportIndex(), 2);
    EXPECT_EQ(link.Udp, (TUdpSettings{QStringLiteral("::1"), 8, 9}));
    EXPECT_EQ(link.Description(), "UDP ::1:9, listening on 8");
    ASSERT_TRUE(ParseLinkAddress(QStringLiteral("tcp://a%1b"), link, error));
    EXPECT_EQ(link.Description(), "TCP a%1b:1000");
    ASSERT_TRUE(ParseLinkAddress(QStringLiteral("can://3"), link, error));
    EXPECT_EQ(link.Can.Net, 3);
    EXPECT_TRUE(link.Can.Interface.isEmpty());
    EXPECT_EQ(link.Description(), "CAN socketcan net 3, bit rate code 4, id 100");
}

TEST(LinkAddress, BadLinksSayWhatIsWrong) {
    const QList<QPair<QString, QString>> rows = {
        {"", "expected tcp://, udp://, serial:// or can:// at the start"},
        {"127.0.0.1:1000", "expected tcp://, udp://, serial:// or can:// at the start"},
        {"ftp://host", "unknown kind 'ftp': expected tcp, udp, serial or can"},
        {"tcp://", "the host is missing: expected tcp://HOST[:PORT]"},
        {"tcp://:1000", "the host is missing: expected tcp://HOST[:PORT]"},
        {"tcp://host:0", "port '0' is not a number from 1 to 65535"},
        {"tcp://host:70000", "port '70000' is not a number from 1 to 65535"},
        {"tcp://host:+80", "port '+80' is not a number from 1 to 65535"},
        {"tcp://host:", "port '' is not a number from 1 to 65535"},
        {"tcp://::1:1000", "an IPv6 address goes in brackets: tcp://HOST[:PORT]"},
        {"tcp://[::1", "the IPv6 address lacks its closing ']'"},
        {"tcp://[::1]x", "unexpected 'x' after the IPv6 address"},
        {"tcp://[host]:1", "'[host]' is not an IPv6 address"},
        {"tcp://host/path", "unexpected '/path' after the host: expected tcp://HOST[:PORT]"},
        {"tcp://host?listen=5", "this link takes no option 'listen'"},
        {"udp://host?listen=0", "listening port '0' is not a number from 1 to 65535"},
        {"udp://host?listen", "option 'listen' is not KEY=VALUE"},
        {"udp://host?listen=5&listen=6", "option 'listen' is given twice"},
        {"udp://host?port=5", "unknown option 'port' (expected listen)"},
        {"serial://", "the port is missing: expected serial:///dev/PORT or serial://PORT"},
        {"serial:///dev/ttyS0?baud=fast", "baud rate 'fast' is not a number from 1 to 100000000"},
        {"serial:///dev/ttyS0?speed=9600", "unknown option 'speed' (expected baud)"},
        {"serial:///dev/ttyS0?baud=%3", "baud rate '%3' is not a number from 1 to 100000000"},
        {"can://", "the interface is missing: expected can://INTERFACE or can://NET"},
        {"can://can 0", "'can 0' is not an interface name or net number"},
        {"can://vcan0?id=4096", "identifier '4096' is not a number from 0 to 2046"},
        {"can://vcan0?bitrate=99", "bit rate code '99' names no bit rate"},
        {"can://vcan0?backend=peak", "backend 'peak' is not socketcan or virtualcan"},
        {"can://999", "net '999' is not a number from 0 to 255"},
        {"can://vcan0?id=5&", "option '' is not KEY=VALUE"},
    };
    for (const auto& [text, why] : rows) {
        TLinkAddress link;
        link.Tcp.Host = QStringLiteral("untouched");
        QString error;
        EXPECT_FALSE(ParseLinkAddress(text, link, error)) << text.toStdString();
        EXPECT_EQ(error, QStringLiteral("Invalid link '%1': %2").arg(text, why)) << text.toStdString();
        EXPECT_EQ(link.Tcp.Host, "untouched") << "a bad text leaves the link as it was";
    }
}
