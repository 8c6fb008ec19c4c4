// Feeds arbitrary bytes to zel-gateway as a Modbus TCP client would send them: framing, routing by
// unit identifier, the map's refusals, writes and the command handshake, through the real server
// and units over a loopback connection. The devices behind the units answer every command at once.
//
// Input: the bytes a client sends before it closes its side.
#include "CellDevice.h"
#include "GatewayConfig.h"
#include "GatewayUnit.h"
#include "ModbusServer.h"

#include <QCoreApplication>

#include <cstdlib>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
class TAnsweringDevice : public TCellDevice {
public:
    using TCellDevice::TCellDevice;
    void Start() override {}
    bool LinkUp() const override { return true; }
    void Run(TCellCommand, const TCellArguments&, TOutcome Outcome) override {
        Outcome(E_CMD_PENDING, false);
        Outcome(E_SUCCESS, true);
    }
    void Stop(bool) override {}
};

struct TCell {
    TModbusServer* Server = nullptr;
    quint16 Port = 0;
};

TCell& Cell() {
    static TCell cell = [] {
        static int argc = 1;
        static char name[] = "gateway_fuzz";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
        TGatewayConfig config;
        config.ListenPort = 0;
        config.Write = true;
        config.Allow = {QHostAddress(QHostAddress::LocalHost)};
        auto* server = new TModbusServer(config, nullptr);
        const TDeviceKind kinds[] = {TDeviceKind::Gripper, TDeviceKind::Sensor};
        for (int unit = 1; unit <= 2; ++unit) {
            TDeviceConfig device;
            device.Name = QStringLiteral("d%1").arg(unit);
            device.Unit = unit;
            device.Kind = kinds[unit - 1];
            auto* cellDevice = new TAnsweringDevice(server);
            server->AddUnit(new TGatewayUnit(device, cellDevice, server));
        }
        QString error;
        if (!server->Listen(error))
            std::abort();
        return TCell{server, server->serverPort()};
    }();
    return cell;
}

// Closed with a reset, so that thousands of short connections leave nothing in TIME_WAIT.
void CloseHard(int Fd) {
    linger off{1, 0};
    ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &off, sizeof(off));
    ::close(Fd);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TCell& cell = Cell();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        std::abort();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(cell.Port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0)
        std::abort();
    for (int i = 0; i < 1000 && cell.Server->ClientCount() == 0; ++i)
        QCoreApplication::processEvents();
    if (Size > 0 && ::send(fd, Data, Size, MSG_NOSIGNAL) < 0) {
        CloseHard(fd);
        return 0;
    }
    ::shutdown(fd, SHUT_WR);
    // The gateway answers what it can frame and closes the client at the end of its stream.
    uint8_t answers[4096];
    for (int i = 0; i < 100000 && cell.Server->ClientCount() > 0; ++i) {
        QCoreApplication::processEvents();
        while (::recv(fd, answers, sizeof(answers), MSG_DONTWAIT) > 0) {
        }
    }
    if (cell.Server->ClientCount() != 0)
        std::abort(); // a client that closed must be let go
    CloseHard(fd);
    return 0;
}
