#include "protocol/debugout.h"

#include <cstdio>

namespace {
TDebugSink& Sink() {
    static TDebugSink s;
    return s;
}
} // namespace

void DebugOut(const std::string& Text) {
    if (const auto& s = Sink()) {
        s(Text);
        return;
    }
    std::fprintf(stderr, "%s\n", Text.c_str());
}

TDebugSink SetDebugSink(TDebugSink NewSink) {
    TDebugSink old = std::move(Sink());
    Sink() = std::move(NewSink);
    return old;
}
