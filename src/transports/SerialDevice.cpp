#include "transports/SerialDevice.h"

#include "platform/ErrorGuard.h"
#include "transports/baudrate.h"

#include <QCollator>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QSerialPortInfo>

#include <algorithm>

namespace {
const QString Common = QStringLiteral("common");
}

TSerialDevice::TSerialDevice(QObject* Owner)
    : TDevice(Owner, QStringLiteral("uart")) {
    FPort = new QSerialPort(this);
    FPort->setDataBits(QSerialPort::Data8);
    FPort->setParity(QSerialPort::NoParity);
    FPort->setStopBits(QSerialPort::OneStop);
    FPort->setFlowControl(QSerialPort::NoFlowControl);
    // Queued: the port does not signal again while a slot of its readyRead runs, so a handler
    // that waits in a nested event loop would never see the rest of an answer.
    connect(
        FPort, &QSerialPort::readyRead, this,
        [this] {
            RunGuarded([this] {
                if (IsOpen() && FPort->bytesAvailable() > 0)
                    NotifyDataAvailable(int32_t(FPort->bytesAvailable()));
            });
        },
        Qt::QueuedConnection);
    connect(FPort, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError E) { RunGuarded([&] { PortError(E); }); });
    InterfaceName = QStringLiteral("Serial (RS232)");
}

TSerialDevice::TQuestion& TSerialDevice::AskOperator() {
    static TQuestion question;
    return question;
}

TSerialSettings TSerialDevice::StoredSettings() const {
    return {GetLastPortName(), Settings().ReadInteger(Common, QStringLiteral("baudrate"), 9600)};
}

TSerialDevice::~TSerialDevice() {
    BeginDestroy();
    Close();
    FPort->disconnect(this);
}

TStat TSerialDevice::Open(const QString& PortName) {
    TSerialSettings settings{PortName, StoredSettings().Baudrate};
    if (AskOperator() && !AskOperator()(*this, settings))
        return E_CMD_ABORTED;
    if (IsOpen())
        Close();
    return OpenPort(settings.Port, BaudIndexToRate(BaudRateToIndex(settings.Baudrate)));
}

TStat TSerialDevice::OpenFromSettings(TIniFile& File, const QString& Section) {
    return OpenWith({File.ReadString(Section, QStringLiteral("port"), QString()),
                     File.ReadInteger(Section, QStringLiteral("baudrate"), 0)});
}

TStat TSerialDevice::OpenWith(const TSerialSettings& Given) {
    if (Given.Port.isEmpty() || Given.Baudrate == 0)
        return E_CMD_ABORTED;
    if (IsOpen())
        Close();
    // A speed the table lacks opens at the table's fallback, as the speed list would.
    return OpenPort(Given.Port, BaudIndexToRate(BaudRateToIndex(Given.Baudrate)));
}

TStat TSerialDevice::OpenPort(const QString& PortName, int Rate) {
    ClearLastError();
    if (PortName.trimmed().isEmpty()) {
        SetLastError(QStringLiteral("serial port"), QStringLiteral("no port name given"));
        return E_IO_ERROR;
    }
    FPort->setPortName(PortName.trimmed());
    FPort->setBaudRate(Rate);
    if (!FPort->open(QIODevice::ReadWrite)) {
        SetLastError(PortName.trimmed(), FPort->errorString());
        FPort->clearError();
        return E_IO_ERROR;
    }
    ++FOpenCount;
    // Lines a pseudo-terminal does not have may refuse to be set; that is no failure of the link.
    FPort->setDataTerminalReady(false);
    FPort->setRequestToSend(false);
    FPort->clearError();
    Settings().WriteInteger(Common, QStringLiteral("baudrate"), Rate);
    StartConnectPoll();
    return E_SUCCESS;
}

TStat TSerialDevice::Close() {
    StopConnectPoll();
    if (FPort->isOpen()) {
        QElapsedTimer t;
        t.start();
        while (FPort->bytesToWrite() > 0 && t.elapsed() < 1000) {
            FPort->waitForBytesWritten(20);
            // Keep the window painting, but let no click start anything while the link closes.
            if (!Destroying())
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            if (!FPort->isOpen())
                break;
        }
        FPort->close();
        FPort->clearError();
    }
    DoDisconnected();
    return E_SUCCESS;
}

int32_t TSerialDevice::BytesAvailable() {
    return IsOpen() ? int32_t(FPort->bytesAvailable()) : 0;
}

int32_t TSerialDevice::Read(uint8_t* Buffer, int32_t MaxCount) {
    if (!IsOpen())
        return -1;
    if (MaxCount <= 0)
        return 0;
    const qint64 n = FPort->read(reinterpret_cast<char*>(Buffer), MaxCount);
    return n < 0 ? -1 : int32_t(n);
}

TStat TSerialDevice::Write(const uint8_t* Buffer, int32_t Count) {
    if (!IsOpen())
        return E_NOT_OPENED;
    if (Count < 0)
        return E_INVALID_PARAMETER;
    if (FPort->write(reinterpret_cast<const char*>(Buffer), Count) != Count)
        return E_WRITE_ERROR;
    // What the driver takes at once needs no wait (and lets nothing run in between).
    FPort->flush();
    if (FPort->bytesToWrite() == 0)
        return E_SUCCESS;
    // The whole packet must reach the driver, which at a low speed takes long: events keep
    // running meanwhile, and the write gives up only when the port stops taking bytes.
    const QPointer<TSerialDevice> self(this);
    QSerialPort* port = FPort;
    const uint32_t opened = FOpenCount;
    TEventWait wait(WriteStallMs);
    qint64 pending = port->bytesToWrite();
    while (pending > 0) {
        wait.Pass();
        if (!self || !port->isOpen() || FOpenCount != opened)
            return E_WRITE_ERROR; // closed (and perhaps opened again) meanwhile
        const qint64 now = port->bytesToWrite();
        if (now < pending) {
            pending = now;
            wait.Restart();
        } else if (wait.Elapsed() >= WriteStallMs) {
            // Drop the rest so that no stale tail of this packet goes out later.
            port->clear(QSerialPort::Output);
            return E_WRITE_ERROR;
        }
    }
    return E_SUCCESS;
}

void TSerialDevice::GetPortList(QStringList& List) {
    List.clear();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (!List.contains(info.portName()))
            List.append(info.portName());
    QCollator order;
    order.setNumericMode(true);
    std::sort(List.begin(), List.end(),
              [&](const QString& A, const QString& B) { return order.compare(A, B) < 0; });
    // Pseudo-terminals (a simulator's, a serial-over-network bridge's) are not enumerated: a path
    // named in the settings is offered as long as it exists.
    const QString last = GetLastPortName();
    if (last.startsWith(QLatin1Char('/')) && !List.contains(last) && QFileInfo::exists(last))
        List.append(last);
}

void TSerialDevice::WriteSettings(TIniFile& File, const QString& Section) {
    if (!IsOpen())
        return;
    File.WriteString(Section, QStringLiteral("device"), InterfaceName);
    File.WriteInteger(Section, QStringLiteral("baudrate"), int(FPort->baudRate()));
    File.WriteString(Section, QStringLiteral("port"), FPort->portName());
}

void TSerialDevice::PortError(QSerialPort::SerialPortError Error) {
    // A vanished device (unplugged adapter, hung-up pseudo-terminal) fails every read from then
    // on, and Qt reports that again at every turn of the event loop. Stop reading from the dead
    // port and report it once: the disconnect as for any lost link, then the reason.
    if ((Error != QSerialPort::ResourceError && Error != QSerialPort::ReadError) || !FPort->isOpen())
        return;
    const QString text = FPort->errorString();
    SetLastError(FPort->portName(), text);
    StopConnectPoll();
    FPort->close();
    FPort->clearError();
    DoDisconnected();
    throw ECommunicationError(QStringLiteral("Serial port failure: %1").arg(LastError()).toStdString());
}

QString TSerialDevice::LinkDescription() const {
    if (!FPort)
        return InterfaceName;
    return QStringLiteral("Serial %1 %2 Bd").arg(FPort->portName()).arg(FPort->baudRate());
}
