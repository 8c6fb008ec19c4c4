#pragma once
// A notification that many listeners hear at once: a window, a log, a plot, a script and a
// gateway may all listen to one device. Each listener is added under its owner (any pointer that
// identifies it, usually `this`) and removed by that owner alone, so that nobody needs to save or
// restore anybody else's handler. Adding again under the same owner replaces that owner's handler.
#include <cstdint>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

template <class... TArgs> class TListenerList {
public:
    using THandler = std::function<void(TArgs...)>;

    void Add(const void* Owner, THandler Handler) {
        Remove(Owner);
        if (Handler)
            FEntries.push_back({Owner, ++FSerial, std::move(Handler)});
    }
    // The one listener without an owner (a program's own handler); nullptr removes it. Other
    // listeners are left as they are.
    TListenerList& operator=(THandler Handler) {
        Add(nullptr, std::move(Handler));
        return *this;
    }
    TListenerList() = default;
    TListenerList(const TListenerList&) = delete;
    TListenerList& operator=(const TListenerList&) = delete;

    void Remove(const void* Owner) {
        std::erase_if(FEntries, [Owner](const TEntry& E) { return E.Owner == Owner; });
    }
    void Clear() { FEntries.clear(); }
    bool Has(const void* Owner) const {
        for (const TEntry& e : FEntries)
            if (e.Owner == Owner)
                return true;
        return false;
    }
    bool Empty() const { return FEntries.empty(); }
    explicit operator bool() const { return !FEntries.empty(); }

    // Every listener hears it, also when one of them raises; the first error is raised afterwards.
    // A listener removed by an earlier one is not called any more (its owner may be gone).
    void operator()(TArgs... Args) const {
        // Reports come a thousand times a second per device: one listener is called directly.
        if (FEntries.size() == 1) {
            const THandler handler = FEntries.front().Handler;
            handler(Args...);
            return;
        }
        std::vector<uint64_t> serials;
        serials.reserve(FEntries.size());
        for (const TEntry& e : FEntries)
            serials.push_back(e.Serial);
        std::exception_ptr first;
        for (const uint64_t serial : serials) {
            THandler handler;
            for (const TEntry& e : FEntries)
                if (e.Serial == serial) {
                    handler = e.Handler; // a copy: the listener may remove itself
                    break;
                }
            if (!handler)
                continue;
            try {
                handler(Args...);
            } catch (...) {
                if (!first)
                    first = std::current_exception();
            }
        }
        if (first)
            std::rethrow_exception(first);
    }

private:
    struct TEntry {
        const void* Owner;
        uint64_t Serial;
        THandler Handler;
    };
    std::vector<TEntry> FEntries;
    uint64_t FSerial = 0;
};
