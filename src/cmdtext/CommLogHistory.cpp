#include "cmdtext/CommLogHistory.h"

#include "cmdtext/CommLogText.h"
#include "protocol/convert.h"
#include "protocol/stat.h"

#include <algorithm>

bool TLogFilter::Passes(const TLogEntry& E) const {
    const bool received = (E.Copy.CommandID & LogReceivedFlag) != 0;
    if (received ? !Received : !Sent)
        return false;
    if (E.Update && !Updates)
        return false;
    return !HiddenIDs.test(size_t(E.Copy.CommandID & 0xFF));
}

void TLogHistory::SetKeep(int64_t Packets) {
    FKeep = std::clamp<int64_t>(Packets, 1, MaxKeep);
    while (int64_t(FItems.size()) > FKeep)
        DropOldest({});
}

void TLogHistory::DropOldest(const TDropped& Dropped) {
    const bool shown = !FShown.empty() && FShown.front() == FFirstSeq;
    if (Dropped)
        Dropped(FItems.front(), shown);
    if (shown)
        FShown.pop_front();
    FItems.pop_front();
    ++FFirstSeq;
}

bool TLogHistory::Add(TLogEntry Entry, const TDropped& Dropped) {
    while (int64_t(FItems.size()) > FKeep - 1)
        DropOldest(Dropped);
    const bool shown = FFilter.Passes(Entry);
    FItems.push_back(std::move(Entry));
    if (shown)
        FShown.push_back(FFirstSeq + FItems.size() - 1);
    return shown;
}

void TLogHistory::Clear() {
    FFirstSeq += FItems.size();
    FItems.clear();
    FShown.clear();
    FAwaiting.reset();
}

bool TLogHistory::IsUpdate(const TPacket& Copy, bool UpdateCommand) {
    const size_t id = size_t(Copy.CommandID & 0xFF);
    if ((Copy.CommandID & LogReceivedFlag) == 0) {
        FAwaiting.set(id);
        return false;
    }
    if (FAwaiting.test(id)) {
        FAwaiting.reset(id);
        return false;
    }
    return UpdateCommand;
}

void TLogHistory::SetFilter(const TLogFilter& Filter) {
    FFilter = Filter;
    FShown.clear();
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FFilter.Passes(FItems[i]))
            FShown.push_back(FFirstSeq + i);
}

int64_t TLogHistory::Find(int64_t From, bool Backward,
                          const std::function<bool(const TLogEntry&)>& Match) const {
    const int64_t n = ShownCount();
    if (n == 0)
        return -1;
    if (From < 0 || From >= n)
        From = Backward ? n : -1;
    for (int64_t step = 1; step <= n; ++step) {
        int64_t i = Backward ? From - step : From + step;
        i = ((i % n) + n) % n;
        if (Match(Shown(i)))
            return i;
    }
    return -1;
}

bool IsFailedAnswer(const TLogEntry& Entry, bool SensorDevice) {
    const TPacket& p = Entry.Copy;
    if ((p.CommandID & LogReceivedFlag) == 0 || p.Payload.size() < 2)
        return false;
    if (SensorDevice && (p.CommandID & 0xFF) == 0)
        return false;
    const uint16_t status = ReadWord(p.Payload.data());
    return status != E_SUCCESS && status != E_CMD_PENDING;
}

bool PayloadContains(const TByteArray& Payload, const TByteArray& Pattern) {
    if (Pattern.empty())
        return false;
    return std::search(Payload.begin(), Payload.end(), Pattern.begin(), Pattern.end()) != Payload.end();
}
