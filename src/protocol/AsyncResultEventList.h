#pragma once
// Per command identifier, the handler that wants the later result packets of that command.
#include "protocol/Types.h"
#include "protocol/stat.h"

#include <functional>
#include <vector>

class TKORADevice;

using TAsyncResultEvent =
    std::function<void(TKORADevice* Sender, int32_t CommandID, TStat Status, const TByteArray& Data)>;

class TAsyncResultEventList {
public:
    ~TAsyncResultEventList() { Clear(); }

    // Replaces any handler registered for CommandID; the new entry goes to the end.
    void Register(int32_t CommandID, TAsyncResultEvent Handler);
    void Unregister(int32_t CommandID);
    // The registered handler, or an empty one. The entry stays registered.
    TAsyncResultEvent Lookup(int32_t CommandID) const;
    void Clear() { FEntries.clear(); }
    int32_t Count() const { return int32_t(FEntries.size()); }

private:
    struct TEntry {
        int32_t CommandID;
        TAsyncResultEvent Handler;
    };
    std::vector<TEntry> FEntries;
};
