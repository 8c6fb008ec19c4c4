#pragma once
// What every device object of the module shares: the Qt application the device library needs,
// the errors that reach the application-wide handler while events run, and waiting in the event
// loop of the calling thread (the device library delivers its sockets' data there).
#include <exception>
#include <functional>
#include <string>

namespace zelpy {

// Creates the application object when the process has none (offscreen, settings in a private
// temporary folder). Raises when the existing one cannot serve the device library.
void EnsureApplication();

// Runs the calling thread's events until Done holds, the time is up, an error reached the
// application-wide handler or Python asked to stop (Ctrl-C). Timeout below 0: no limit.
// Called without the interpreter lock. True when Done held.
bool PumpUntil(const std::function<bool()>& Done, double TimeoutSeconds);
// Ends the current PumpUntil pass early, so that Done is looked at again.
void Wake();

// The first error handed to the application-wide handler since the last call (null: none).
std::exception_ptr TakeReportedError();
// A KeyboardInterrupt or other error raised by a signal handler while PumpUntil ran.
std::exception_ptr TakeInterrupt();

// The texts the transports would have shown in a message box since the last call, joined by
// newlines (nothing can be shown or answered here; the transports also print them as warnings).
std::string TakeMessages();

} // namespace zelpy
