#pragma once
// The host's debug-output channel. The core writes to stderr; Qt programs route it to qDebug().
#include <functional>
#include <string>

using TDebugSink = std::function<void(const std::string&)>;

void DebugOut(const std::string& Text);
// An empty sink restores the default (stderr). Returns the previous sink.
TDebugSink SetDebugSink(TDebugSink Sink);
