#include "SimSession.h"

#include "Dispatcher.h"

#include <chrono>

namespace zelsim {

TSimSession::TSimSession(TDispatcher& Dispatcher, const QString& Name, TByteSink& Sink, QObject* Parent)
    : QObject(Parent), FDispatcher(Dispatcher), FId(Dispatcher.NewSessionId()), FName(Name),
      FWriter(Sink, Dispatcher.Faults(), this),
      FUpdates([this](uint8_t id, const TByteArray& payload) { Send(id, payload); }, this) {
    // The device keeps its own time: a test that fakes the console's tick counter must not stall it.
    FReceiver.Clock = [] {
        using namespace std::chrono;
        return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
    FReceiver.Store = &FStore;
    FReceiver.OnPacket = [this] {
        TPacket p;
        while (FStore.Get(p))
            FDispatcher.Handle(*this, p);
    };
    FDispatcher.Attach(this);
}

TSimSession::~TSimSession() {
    FDispatcher.Detach(this);
}

void TSimSession::Receive(const uint8_t* Data, size_t Count) {
    // A link that the close-after fault ended listens no more either.
    if (!FWriter.Closed())
        FReceiver.Feed(Data, Count);
}

void TSimSession::Send(uint8_t CommandID, const TByteArray& Payload, bool Answer) {
    FWriter.Send(CommandID, Payload, Answer);
}

} // namespace zelsim
