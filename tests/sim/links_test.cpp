// UDP, pseudo-terminal and CAN links: the same device behind each, one receiver per link.
#include "SimClient.h"

#include "SimCommands.h"
#include "Simulator.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace simtest;
using namespace zelsim;

TEST(UdpLink, AnswersEachSenderWithOnePacketPerDatagram) {
    EnsureApp();
    TSimConfig c;
    c.UdpPort = 0;
    TSimThread sim(c);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;

    QUdpSocket a, b;
    ASSERT_TRUE(a.bind(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(b.bind(QHostAddress::LocalHost, 0));
    // Three packets in one datagram, the third split across a second one.
    TByteArray bytes = MakeFrame(LOOP, {1});
    const TByteArray two = MakeFrame(GET_SYSINFO, {}), three = MakeFrame(LOOP, {3, 3});
    bytes.insert(bytes.end(), two.begin(), two.end());
    bytes.insert(bytes.end(), three.begin(), three.begin() + 4);
    a.writeDatagram(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()),
                    QHostAddress::LocalHost, sim.UdpPort());
    a.writeDatagram(reinterpret_cast<const char*>(three.data() + 4), qint64(three.size() - 4),
                    QHostAddress::LocalHost, sim.UdpPort());
    std::vector<QByteArray> datagrams;
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (datagrams.size() < 3 && Clock::now() < until)
        if (a.waitForReadyRead(100))
            while (a.hasPendingDatagrams())
                datagrams.push_back(a.receiveDatagram().data());
    ASSERT_EQ(datagrams.size(), 3u);
    const auto as = [](const QByteArray& d) { return TByteArray(d.begin(), d.end()); };
    EXPECT_EQ(as(datagrams[0]), MakeFrame(LOOP, {0, 0, 1}));
    EXPECT_EQ(uint8_t(datagrams[1][3]), GET_SYSINFO);
    EXPECT_EQ(as(datagrams[2]), MakeFrame(LOOP, {0, 0, 3, 3}));

    // The next sender gets the answers, the first one nothing.
    TClient other(UdpTransport(sim.UdpPort()));
    EXPECT_TRUE(other.Exchange(LOOP, {7}).has_value());
    EXPECT_FALSE(a.waitForReadyRead(100));
}

TEST(PtyLink, SerialLineThroughTheSlaveAndItsLink) {
    EnsureApp();
    const std::string link = "/tmp/zel-sim-test-" + std::to_string(::getpid());
    TSimConfig c;
    c.Pty = true;
    c.PtyLink = link;
    c.Gripper.StartReferenced = true;
    auto sim = std::make_unique<TSimThread>(c);
    std::string error;
    ASSERT_TRUE(sim->Start(&error)) << error;
    ASSERT_FALSE(sim->PtyPath().empty());
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim->PtyPath());

    TClient client(PtyTransport(link));
    const auto loop = client.Exchange(LOOP, TByteArray(300, 0xAA)); // preamble bytes as data
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->Data(), TByteArray(300, 0xAA));
    const auto move = client.Exchange(gripper::MOVE, Floats({54, 400}, 0));
    ASSERT_TRUE(move);
    EXPECT_EQ(move->Status(), E_CMD_PENDING);
    const auto final = client.WaitFor(gripper::MOVE, 1000);
    ASSERT_TRUE(final);
    EXPECT_EQ(final->Status(), E_SUCCESS);

    sim->Stop();
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "the link outlived the simulator";
}

TEST(PtyLink, RefusesToReplaceARegularFile) {
    EnsureApp();
    const std::string path = "/tmp/zel-sim-test-file-" + std::to_string(::getpid());
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fclose(f);
    TSimConfig c;
    c.Pty = true;
    c.PtyLink = path;
    TSimThread sim(c);
    std::string error;
    EXPECT_FALSE(sim.Start(&error));
    EXPECT_NE(error.find(path), std::string::npos);
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0);
    ::unlink(path.c_str());
}
