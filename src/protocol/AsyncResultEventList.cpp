#include "protocol/AsyncResultEventList.h"

#include <algorithm>

void TAsyncResultEventList::Register(int32_t CommandID, TAsyncResultEvent Handler) {
    Unregister(CommandID);
    FEntries.push_back({CommandID, std::move(Handler)});
}

void TAsyncResultEventList::Unregister(int32_t CommandID) {
    auto it = std::find_if(FEntries.begin(), FEntries.end(),
                           [CommandID](const TEntry& e) { return e.CommandID == CommandID; });
    if (it != FEntries.end())
        FEntries.erase(it);
}

TAsyncResultEvent TAsyncResultEventList::Lookup(int32_t CommandID) const {
    for (const auto& e : FEntries)
        if (e.CommandID == CommandID)
            return e.Handler;
    return {};
}
