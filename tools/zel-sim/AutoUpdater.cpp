#include "AutoUpdater.h"

#include <QTimer>

namespace zelsim {

TAutoUpdater::TAutoUpdater(TSender Sender, QObject* Parent) : QObject(Parent), FSender(std::move(Sender)) {}

TAutoUpdater::~TAutoUpdater() = default;

void TAutoUpdater::Enable(uint8_t CommandID, int PeriodMs, bool OnChangeOnly, TProducer Producer,
                          const TByteArray& LastSent) {
    Disable(CommandID);
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(PeriodMs);
    connect(timer, &QTimer::timeout, this, [this, CommandID] { Tick(CommandID); });
    FEntries[CommandID] = TEntry{timer, OnChangeOnly, std::move(Producer), LastSent};
    timer->start();
}

void TAutoUpdater::Disable(uint8_t CommandID) {
    auto it = FEntries.find(CommandID);
    if (it == FEntries.end())
        return;
    it->second.Timer->stop();
    it->second.Timer->deleteLater();
    FEntries.erase(it);
}

void TAutoUpdater::DisableAll() {
    while (!FEntries.empty())
        Disable(FEntries.begin()->first);
}

void TAutoUpdater::Tick(uint8_t CommandID) {
    auto it = FEntries.find(CommandID);
    if (it == FEntries.end())
        return;
    TByteArray payload = it->second.Producer();
    // The producer may have run model events that ended this subscription.
    it = FEntries.find(CommandID);
    if (it == FEntries.end())
        return;
    if (it->second.OnChangeOnly && payload == it->second.Last)
        return;
    it->second.Last = payload;
    FSender(CommandID, payload);
}

} // namespace zelsim
