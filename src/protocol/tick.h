#pragma once
// Millisecond tick counter from a monotonic clock, wrapping at 2^32. Tests substitute their own.
#include <cstdint>
#include <functional>

using TTickSource = std::function<uint32_t()>;

uint32_t GetTickCount32();
// An empty source restores the monotonic clock.
void SetTickSource(TTickSource Source);
// Elapsed milliseconds from Start to Now; correct across a wrap of the counter.
inline uint32_t TicksSince(uint32_t Start, uint32_t Now) { return Now - Start; }
