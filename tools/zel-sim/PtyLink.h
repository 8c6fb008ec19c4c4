#pragma once
// Serial line on a pseudo-terminal pair: the simulator holds the master, the console opens the
// slave (its path, or a symbolic link to it) as its serial port.
#include "ByteSink.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

class QSocketNotifier;

namespace zelsim {

class TDispatcher;
class TSimSession;

class TPtyLink : public QObject, public TByteSink {
public:
    TPtyLink(TDispatcher& Dispatcher, QObject* Parent = nullptr);
    ~TPtyLink() override;

    // LinkPath: where to put a symbolic link to the slave; empty for none.
    bool Open(const std::string& LinkPath, std::string& Error);
    const std::string& Path() const { return FPath; }
    const std::string& LinkPath() const { return FLinkPath; }

    void WriteBytes(const uint8_t* Data, size_t Count, bool Separate) override;
    void CloseLink() override {} // a serial line has no connection to end: it falls silent

private:
    void ReadMaster();
    void Flush();
    void Close();

    TDispatcher& FDispatcher;
    int FMaster = -1;
    int FSlave = -1; // kept open so that the line stays up while no console has it
    std::string FPath;
    std::string FLinkPath;
    QSocketNotifier* FReadNotifier = nullptr;
    QSocketNotifier* FWriteNotifier = nullptr;
    std::string FPending; // output the line has not taken yet
    std::unique_ptr<TSimSession> FSession;
};

} // namespace zelsim
