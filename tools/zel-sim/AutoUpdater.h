#pragma once
// Packets a session sends on its own at a fixed period: the automatic state updates of the
// gripper and the sensor's periodic frames. One timer per identifier.
#include "protocol/Types.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QTimer;

namespace zelsim {

class TAutoUpdater : public QObject {
public:
    // Produces the payload to send now.
    using TProducer = std::function<TByteArray()>;
    using TSender = std::function<void(uint8_t CommandID, const TByteArray& Payload)>;

    explicit TAutoUpdater(TSender Sender, QObject* Parent = nullptr);
    ~TAutoUpdater() override;

    // LastSent is what the requester already has (the immediate answer), so an only-on-change
    // update stays quiet until the value really moves.
    void Enable(uint8_t CommandID, int PeriodMs, bool OnChangeOnly, TProducer Producer,
                const TByteArray& LastSent = {});
    void Disable(uint8_t CommandID);
    void DisableAll();
    bool IsEnabled(uint8_t CommandID) const { return FEntries.count(CommandID) != 0; }

private:
    struct TEntry {
        QTimer* Timer;
        bool OnChangeOnly;
        TProducer Producer;
        TByteArray Last;
    };
    void Tick(uint8_t CommandID);

    TSender FSender;
    std::map<uint8_t, TEntry> FEntries;
};

} // namespace zelsim
