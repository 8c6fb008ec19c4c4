#include "SimClient.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace simtest {

void EnsureApp() {
    static int argc = 1;
    static char name[] = "sim_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

namespace {

class TTcp : public TTransport {
public:
    explicit TTcp(uint16_t Port) {
        FSocket.connectToHost("127.0.0.1", Port);
        FSocket.waitForConnected(2000);
        FSocket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }
    void Write(const TByteArray& b) override {
        FSocket.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
        FSocket.waitForBytesWritten(1000);
    }
    std::vector<TByteArray> Read(int Ms) override {
        std::vector<TByteArray> out;
        if (FSocket.bytesAvailable() > 0 || FSocket.waitForReadyRead(Ms)) {
            const QByteArray d = FSocket.readAll();
            out.emplace_back(d.begin(), d.end());
        }
        return out;
    }
    bool Connected() const override { return FSocket.state() == QAbstractSocket::ConnectedState; }

private:
    QTcpSocket FSocket;
};

class TUdp : public TTransport {
public:
    explicit TUdp(uint16_t Port) : FPort(Port) { FSocket.bind(QHostAddress::LocalHost, 0); }
    void Write(const TByteArray& b) override {
        FSocket.writeDatagram(reinterpret_cast<const char*>(b.data()), qint64(b.size()),
                              QHostAddress::LocalHost, FPort);
    }
    std::vector<TByteArray> Read(int Ms) override {
        std::vector<TByteArray> out;
        if (FSocket.hasPendingDatagrams() || FSocket.waitForReadyRead(Ms)) {
            while (FSocket.hasPendingDatagrams()) {
                const QByteArray d = FSocket.receiveDatagram().data();
                out.emplace_back(d.begin(), d.end());
            }
        }
        return out;
    }

private:
    QUdpSocket FSocket;
    uint16_t FPort;
};

class TPty : public TTransport {
public:
    explicit TPty(const std::string& Path) {
        FFd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (FFd >= 0 && tcgetattr(FFd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(FFd, TCSANOW, &t);
        }
    }
    ~TPty() override {
        if (FFd >= 0)
            ::close(FFd);
    }
    void Write(const TByteArray& b) override {
        size_t done = 0;
        while (FFd >= 0 && done < b.size()) {
            const ssize_t n = ::write(FFd, b.data() + done, b.size() - done);
            if (n > 0)
                done += size_t(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
        }
    }
    std::vector<TByteArray> Read(int Ms) override {
        std::vector<TByteArray> out;
        pollfd p{FFd, POLLIN, 0};
        if (FFd < 0 || ::poll(&p, 1, Ms) <= 0)
            return out;
        uint8_t buf[4096];
        const ssize_t n = ::read(FFd, buf, sizeof buf);
        if (n > 0)
            out.emplace_back(buf, buf + n);
        return out;
    }
    bool Connected() const override { return FFd >= 0; }

private:
    int FFd = -1;
};

class TCan : public TTransport {
public:
    TCan(QCanBusDevice* Device, uint32_t Id) : FDevice(Device), FId(Id) {}
    ~TCan() override {
        FDevice->disconnectDevice();
        delete FDevice;
    }
    void Write(const TByteArray& b) override {
        for (size_t off = 0; off < b.size(); off += 8) {
            const size_t n = std::min<size_t>(8, b.size() - off);
            FDevice->writeFrame(
                QCanBusFrame(FId, QByteArray(reinterpret_cast<const char*>(b.data() + off), qsizetype(n))));
        }
        QCoreApplication::processEvents();
    }
    std::vector<TByteArray> Read(int Ms) override {
        std::vector<TByteArray> out;
        const auto until = Clock::now() + std::chrono::milliseconds(Ms);
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            for (const QCanBusFrame& f : FDevice->readAllFrames()) {
                if (f.frameId() != FId + 1)
                    continue;
                const QByteArray d = f.payload();
                out.emplace_back(d.begin(), d.end());
            }
        } while (out.empty() && Clock::now() < until);
        return out;
    }

private:
    QCanBusDevice* FDevice;
    uint32_t FId;
};

} // namespace

std::unique_ptr<TTransport> TcpTransport(uint16_t Port) {
    return std::make_unique<TTcp>(Port);
}
std::unique_ptr<TTransport> UdpTransport(uint16_t Port) {
    return std::make_unique<TUdp>(Port);
}
std::unique_ptr<TTransport> PtyTransport(const std::string& Path) {
    return std::make_unique<TPty>(Path);
}

std::unique_ptr<TTransport> CanTransport(const std::string& Interface, uint32_t Id) {
    QCanBusDevice* d = QCanBus::instance()->createDevice("virtualcan", QString::fromStdString(Interface));
    if (!d)
        return nullptr;
    if (!d->connectDevice()) {
        delete d;
        return nullptr;
    }
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (d->state() != QCanBusDevice::ConnectedState && Clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (d->state() != QCanBusDevice::ConnectedState) {
        delete d;
        return nullptr;
    }
    return std::make_unique<TCan>(d, Id);
}

TClient::TClient(std::unique_ptr<TTransport> Transport) : FTransport(std::move(Transport)) {
    FReceiver.Store = &FStore;
    FReceiver.OnPacket = [this] {
        TPacket p;
        while (FStore.Get(p))
            FQueue.push_back({std::move(p), FChunkTime});
    };
}

void TClient::Send(uint8_t Id, const TByteArray& Payload) {
    FTransport->Write(MakeFrame(Id, Payload));
}

void TClient::SendRaw(const TByteArray& Bytes) {
    FTransport->Write(Bytes);
}

void TClient::Pump(int Ms) {
    for (const TByteArray& chunk : FTransport->Read(Ms)) {
        FChunkTime = Clock::now();
        if (RecordChunks)
            Chunks.emplace_back(FChunkTime, chunk);
        FReceiver.Feed(chunk.data(), chunk.size());
    }
}

std::optional<TRx> TClient::Next(int Ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(Ms);
    while (FQueue.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        Pump(int(left));
    }
    TRx rx = std::move(FQueue.front());
    FQueue.pop_front();
    return rx;
}

std::optional<TRx> TClient::WaitFor(uint8_t Id, int Ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(Ms);
    size_t scanned = 0;
    for (;;) {
        for (; scanned < FQueue.size(); ++scanned) {
            if (FQueue[scanned].Id() == Id) {
                TRx rx = std::move(FQueue[scanned]);
                FQueue.erase(FQueue.begin() + long(scanned));
                return rx;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        Pump(int(left));
    }
}

std::optional<TRx> TClient::Exchange(uint8_t Id, const TByteArray& Payload, int Ms) {
    Send(Id, Payload);
    return WaitFor(Id, Ms);
}

std::vector<TRx> TClient::Collect(int Ms) {
    std::vector<TRx> out;
    const auto until = Clock::now() + std::chrono::milliseconds(Ms);
    for (;;) {
        while (!FQueue.empty()) {
            out.push_back(std::move(FQueue.front()));
            FQueue.pop_front();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return out;
        Pump(int(left));
    }
}

TByteArray Floats(std::initializer_list<float> Values, std::optional<uint8_t> Prefix) {
    TByteArray out;
    if (Prefix)
        out.push_back(*Prefix);
    for (float v : Values) {
        uint8_t b[4];
        WriteSingle(b, v);
        out.insert(out.end(), b, b + 4);
    }
    return out;
}

double Ms(Clock::time_point From, Clock::time_point To) {
    return std::chrono::duration<double, std::milli>(To - From).count();
}

} // namespace simtest
