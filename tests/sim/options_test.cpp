// Command line of zel-sim.
#include "Options.h"

#include <gtest/gtest.h>

using namespace zelsim;

namespace {
TOptions Parse(std::vector<std::string> Args) {
    Args.insert(Args.begin(), "zel-sim");
    return ParseOptions(Args);
}
} // namespace

TEST(Options, FullCommandLineFillsTheConfiguration) {
    const TOptions o = Parse({"--tcp",
                              "0",
                              "--udp",
                              "1600",
                              "--pty",
                              "/tmp/x-tty",
                              "--can",
                              "virtualcan:can1:0x120",
                              "--device",
                              "gripper",
                              "--device-type",
                              "0x81",
                              "--firmware",
                              "2.1.0-rc3",
                              "--serial",
                              "42",
                              "--temperature",
                              "61.5",
                              "--stroke",
                              "60",
                              "--max-speed",
                              "300",
                              "--referenced",
                              "--part",
                              "none",
                              "--lose-part-after",
                              "500",
                              "--fault",
                              "drop=0.25,split",
                              "--fault",
                              "pause=1:200",
                              "-v"});
    ASSERT_TRUE(o.Ok) << o.Message;
    const TSimConfig& c = o.Config;
    EXPECT_EQ(c.TcpPort, 0);
    EXPECT_EQ(c.UdpPort, 1600);
    EXPECT_TRUE(c.Pty);
    EXPECT_EQ(c.PtyLink, "/tmp/x-tty");
    EXPECT_EQ(c.Can, "virtualcan:can1:0x120");
    EXPECT_EQ(c.DeviceType(), 0x81);
    EXPECT_EQ(c.SysInfo.Firmware, 0x2103);
    EXPECT_EQ(c.SysInfo.SerialNumber, 42u);
    EXPECT_EQ(c.Temperature, 615);
    EXPECT_EQ(c.Gripper.Limits.Stroke, 60.0f);
    EXPECT_EQ(c.Gripper.Limits.MaxSpeed, 300.0f);
    EXPECT_TRUE(c.Gripper.StartReferenced);
    EXPECT_FALSE(c.Gripper.HasPart);
    EXPECT_EQ(c.Gripper.LosePartAfterMs, 500);
    EXPECT_EQ(c.Faults.DropShare, 0.25);
    EXPECT_TRUE(c.Faults.SplitWrites);
    EXPECT_EQ(c.Faults.PauseShare, 1.0);
    EXPECT_EQ(c.Faults.PauseMs, 200);
    EXPECT_TRUE(c.Verbose);
}

TEST(Options, DefaultsToTheConsolesPortsAndTheKindsDeviceType) {
    const TOptions g = Parse({});
    ASSERT_TRUE(g.Ok);
    EXPECT_EQ(g.Config.TcpPort, 1000);
    EXPECT_EQ(g.Config.UdpPort, 1500);
    EXPECT_FALSE(g.Config.Pty);
    EXPECT_EQ(g.Config.DeviceType(), 1);

    const TOptions s = Parse({"--device", "sensor", "--pty", "-", "--matrix", "4x3", "--cell-size", "2.5x3"});
    ASSERT_TRUE(s.Ok) << s.Message;
    EXPECT_EQ(s.Config.TcpPort, -1);
    EXPECT_TRUE(s.Config.Pty);
    EXPECT_TRUE(s.Config.PtyLink.empty());
    EXPECT_EQ(s.Config.DeviceType(), 4);
    EXPECT_EQ(s.Config.Sensor.MatrixWidth, 4);
    EXPECT_EQ(s.Config.Sensor.CellWidth, 250);
    EXPECT_EQ(s.Config.Sensor.CellHeight, 300);

    EXPECT_TRUE(Parse({"--help"}).Help);
}

TEST(Options, BadValuesAreRefused) {
    const std::vector<std::vector<std::string>> bad = {
        {"--tcp", "65536"},
        {"--tcp", "x"},
        {"--device", "robot"},
        {"--device-type", "256"},
        {"--firmware", "1.16.0"},
        {"--firmware", "1.2"},
        {"--min-speed", "500"},
        {"--stroke", "-1"},
        {"--accel", "6000"},
        {"--force-limit", "100"},
        {"--start-pos", "200"},
        {"--matrix", "300x300"},
        {"--matrix", "2.5x3"},
        {"--fault", "drop=2"},
        {"--fault", "explode"},
        {"--fault", "pause=1:0"},
        {"--tag", std::string(65, 'x')},
        {"--temperature", "nan"},
        {"--bogus"},
        {"extra"},
    };
    for (const auto& args : bad) {
        const TOptions o = Parse(args);
        EXPECT_FALSE(o.Ok) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(o.Message.empty());
    }
}
