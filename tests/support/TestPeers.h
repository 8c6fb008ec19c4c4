#pragma once
// Small scripted peers for the transport tests: free loopback ports and a pseudo-terminal.
#include <QByteArray>
#include <QString>

#include <cstdint>

// A UDP port on 127.0.0.1 that was free a moment ago.
uint16_t FreeUdpPort();
// A TCP port on 127.0.0.1 on which nothing listens.
uint16_t ClosedTcpPort();

// The master side of a pseudo-terminal; the slave's path is what the serial transport opens.
class TPty {
public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    bool Ok() const { return FMaster >= 0; }
    const QString& SlavePath() const { return FSlavePath; }
    // Writes all bytes to the master (what the serial transport then reads).
    bool Send(const QByteArray& Data);
    // Reads what the transport wrote, waiting up to TimeoutMs for Count bytes.
    QByteArray Receive(int Count, int TimeoutMs = 2000);
    void CloseMaster();

private:
    int FMaster = -1;
    QString FSlavePath;
};
