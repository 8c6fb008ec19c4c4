#include "protocol/tick.h"

#include <chrono>

namespace {
TTickSource& Source() {
    static TTickSource s;
    return s;
}
} // namespace

uint32_t GetTickCount32() {
    if (const auto& s = Source())
        return s();
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetTickSource(TTickSource Source_) { Source() = std::move(Source_); }
