#include "TestPeers.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QUdpSocket>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

uint16_t FreeUdpPort() {
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}

uint16_t ClosedTcpPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

TPty::TPty() {
    FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (FMaster < 0)
        return;
    if (grantpt(FMaster) != 0 || unlockpt(FMaster) != 0) {
        CloseMaster();
        return;
    }
    FSlavePath = QString::fromLocal8Bit(ptsname(FMaster));
    termios t{};
    if (tcgetattr(FMaster, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(FMaster, TCSANOW, &t);
    }
}

TPty::~TPty() {
    CloseMaster();
}

void TPty::CloseMaster() {
    if (FMaster >= 0)
        ::close(FMaster);
    FMaster = -1;
}

bool TPty::Send(const QByteArray& Data) {
    qsizetype done = 0;
    QElapsedTimer t;
    t.start();
    while (done < Data.size() && t.elapsed() < 2000) {
        const ssize_t n = ::write(FMaster, Data.constData() + done, size_t(Data.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN)
            return false;
    }
    return done == Data.size();
}

QByteArray TPty::Receive(int Count, int TimeoutMs) {
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (out.size() < Count && t.elapsed() < TimeoutMs) {
        pollfd p{FMaster, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(FMaster, buf, sizeof buf);
        if (n > 0)
            out.append(buf, n);
    }
    return out;
}
