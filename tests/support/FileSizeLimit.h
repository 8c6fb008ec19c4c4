#pragma once
// A full disk for one test: Body runs in a child process whose files cannot grow past Bytes
// (RLIMIT_FSIZE), so writes fail as on a full disk ("File too large"). Returns Body's result, or
// -1 when the child could not run or ended otherwise. Body must not use the event loop.
#include <cstdint>
#include <functional>

int RunWithFileSizeLimit(uint64_t Bytes, const std::function<int()>& Body);
