// grip: homes a ZEL gripper, moves it, grasps a part of the given width and releases it, printing
// position and force as the gripper reports them. No window and no display needed.
//   grip tcp HOST PORT [WIDTH]
//   grip udp HOST LISTENING_PORT TRANSMIT_PORT [WIDTH]
#include <engine/CommandComponent.h>
#include <zel/ZEL.h>
#include <ZelVersion.h>

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {
// Runs the event loop until Done() or the time is up: answers and reports arrive through it.
bool WaitFor(const std::function<bool()>& Done, uint32_t LimitMs) {
    TEventWait wait(LimitMs);
    while (!Done() && wait.Elapsed() < LimitMs)
        wait.Pass();
    return Done();
}

// Starts a motion and waits for its final result.
TStat Motion(const char* Name, const std::function<TStat(TAsyncResultEvent)>& Start) {
    bool done = false;
    TStat final = E_SUCCESS;
    const TStat first = Start([&](TKORADevice*, int32_t, TStat Status, const TByteArray&) {
        final = Status;
        done = true;
    });
    if (first == E_CMD_PENDING && !WaitFor([&] { return done; }, 20000))
        final = E_TIMEOUT;
    else if (first != E_CMD_PENDING)
        final = first;
    std::printf("%s: %s (%s)\n", Name, StatName(final).c_str(), StatToStr(final).c_str());
    return final;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool tcp = argc >= 4 && std::strcmp(argv[1], "tcp") == 0;
    const bool udp = argc >= 5 && std::strcmp(argv[1], "udp") == 0;
    if (!tcp && !udp) {
        std::fprintf(stderr, "usage: grip tcp HOST PORT [WIDTH] | grip udp HOST LISTEN TRANSMIT [WIDTH]\n");
        return 2;
    }
    const int widthArg = tcp ? 4 : 5;
    const float width = argc > widthArg ? float(std::atof(argv[widthArg])) : 20.0f;
    std::printf("ZEL device library %s\n", ZEL_VERSION);

    TZEL gripper(nullptr);
    bool connected = false;
    gripper.OnConnect = [&](TKORADevice*) { connected = true; };
    int reports = 0;
    gripper.OnPositionChange = [&](TKORADevice*) { ++reports; };

    const TStat opened = tcp ? gripper.Command()->Connect(TTcpSettings{argv[2], std::atoi(argv[3])})
                             : gripper.Command()->Connect(TUdpSettings{argv[2], std::atoi(argv[3]), std::atoi(argv[4])});
    if (opened != E_SUCCESS || !WaitFor([&] { return connected; }, 5000)) {
        std::fprintf(stderr, "grip: cannot connect: %s\n", StatToStr(opened).c_str());
        return 1;
    }
    std::printf("connected: serial number %u, stroke %.1f mm\n", unsigned(gripper.SerialNumber), gripper.Stroke);

    // Position and force come as automatic updates every 20 ms.
    gripper.AutoUpdatePosition(true, 20, false);
    gripper.AutoUpdateForce(true, 20, false);

    if (Motion("homing", [&](TAsyncResultEvent H) { return gripper.Homing(TZEL::HomeDefault, H); }) != E_SUCCESS)
        return 1;
    if (Motion("move to 60 mm", [&](TAsyncResultEvent H) { return gripper.Move(60, 100, H); }) != E_SUCCESS)
        return 1;
    WaitFor([] { return false; }, 100); // the next report carries the final position
    std::printf("position %.1f mm, force %.1f N\n", gripper.Position, gripper.Force);
    const TStat grasped = Motion("grasp", [&](TAsyncResultEvent H) { return gripper.Grasp(width, 50, H); });
    WaitFor([] { return false; }, 100);
    std::printf("position %.1f mm, force %.1f N\n", gripper.Position, gripper.Force);
    if (Motion("release", [&](TAsyncResultEvent H) { return gripper.Release(60, 100, H); }) != E_SUCCESS)
        return 1;
    std::printf("%d position reports\n", reports);

    gripper.AutoUpdatePosition(false, 20, false);
    gripper.AutoUpdateForce(false, 20, false);
    gripper.Disconnect();
    return grasped == E_SUCCESS && reports > 0 ? 0 : 1;
}
