#pragma once
// Bounded waiting for tests: processes Qt events until a condition holds.
#include <functional>

// True when Condition held before TimeoutMs passed.
bool WaitUntil(const std::function<bool()>& Condition, int TimeoutMs = 5000);
// Processes events for Ms milliseconds.
void ProcessEventsFor(int Ms);
