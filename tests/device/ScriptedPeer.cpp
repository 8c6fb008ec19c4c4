#include "ScriptedPeer.h"

#include "protocol/convert.h"
#include "protocol/stat.h"

TPacket MakeTestPacket(int32_t CommandID, const TByteArray& Payload) {
    TPacket p;
    p.CommandID = CommandID;
    p.Length = int32_t(Payload.size());
    p.Payload = Payload;
    return p;
}

TScriptedPeer::TScriptedPeer() {
    SysInfoData = SysInfo(1);
    FReceiver.Store = &FStore;
    FReceiver.OnPacket = [this] {
        TPacket p;
        while (FStore.Get(p)) {
            Received.push_back(p);
            if (Responder)
                Responder(*this, p);
            else
                AnswerDefault(p);
        }
    };
    connect(&FServer, &QTcpServer::newConnection, this, &TScriptedPeer::OnNewConnection);
    FServer.listen(QHostAddress::LocalHost, 0);
}

TScriptedPeer::~TScriptedPeer() {
    DropClient();
}

void TScriptedPeer::DropClient() {
    if (FClient) {
        FClient->disconnect(this);
        FClient->abort();
        FClient->deleteLater();
        FClient = nullptr;
    }
}

void TScriptedPeer::OnNewConnection() {
    while (QTcpSocket* s = FServer.nextPendingConnection()) {
        DropClient();
        FClient = s;
        FReceiver.Reset();
        connect(s, &QTcpSocket::readyRead, this, &TScriptedPeer::OnReadyRead);
    }
}

void TScriptedPeer::OnReadyRead() {
    if (!FClient)
        return;
    const QByteArray bytes = FClient->readAll();
    FReceiver.Feed(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
}

int TScriptedPeer::CountOf(int32_t CommandID) const {
    int n = 0;
    for (const TPacket& p : Received)
        n += p.CommandID == CommandID ? 1 : 0;
    return n;
}

const TPacket* TScriptedPeer::Last(int32_t CommandID) const {
    for (auto it = Received.rbegin(); it != Received.rend(); ++it)
        if (it->CommandID == CommandID)
            return &*it;
    return nullptr;
}

void TScriptedPeer::SendRaw(const TByteArray& Bytes) {
    if (!FClient)
        return;
    FClient->write(reinterpret_cast<const char*>(Bytes.data()), qint64(Bytes.size()));
    FClient->flush();
}

void TScriptedPeer::Send(int32_t CommandID, const TByteArray& Payload) {
    SendRaw(MakeFrame(CommandID, Payload));
}

void TScriptedPeer::SendStatus(int32_t CommandID, uint16_t Status, const TByteArray& Data) {
    TByteArray payload(2);
    WriteWord(payload.data(), Status);
    payload.insert(payload.end(), Data.begin(), Data.end());
    Send(CommandID, payload);
}

void TScriptedPeer::SendTogether(const std::vector<TPacket>& Packets) {
    TByteArray all;
    for (const TPacket& p : Packets) {
        const TByteArray f = MakeFrame(p.CommandID, p.Payload);
        all.insert(all.end(), f.begin(), f.end());
    }
    SendRaw(all);
}

TByteArray TScriptedPeer::SysInfo(uint8_t Type, uint8_t Hardware, uint16_t Firmware, uint32_t Serial) {
    TByteArray d(8);
    d[0] = Type;
    d[1] = Hardware;
    WriteWord(&d[2], Firmware);
    WriteLongWord(&d[4], Serial);
    return d;
}

void TScriptedPeer::AnswerDefault(const TPacket& Request) {
    if (Request.CommandID == GET_SYSINFO)
        SendStatus(Request.CommandID, E_SUCCESS, SysInfoData);
    else if (Request.CommandID != ANNOUNCE_DISCONNECT)
        SendStatus(Request.CommandID, E_SUCCESS);
}
