#pragma once
// Qt's event loop is not exception-safe. Every place where Qt calls our code (slot, connected
// lambda, timer, socket notification, event override) runs its body through RunGuarded, which
// hands any exception to the application-wide handler instead of letting it unwind through Qt.
#include <exception>
#include <functional>
#include <string>

using TErrorHandler = std::function<void(std::exception_ptr)>;

// Installs the application-wide handler (main window, recording handler in tests, printing
// handler in zelctl). Returns the previous one. An empty handler restores the default, which
// writes the message to the debug output.
TErrorHandler SetApplicationErrorHandler(TErrorHandler Handler);

// Hands an exception to the application-wide handler; never throws.
void HandleException(std::exception_ptr Error) noexcept;

// The message text of an exception (what() for std::exception, a fixed text otherwise).
std::string ExceptionMessage(std::exception_ptr Error);

template <class F> void RunGuarded(F&& Body) noexcept {
    try {
        Body();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

// A slot that runs Object's member Handler through RunGuarded: connect(..., Guarded(this, &T::Click)).
template <class T, class TObject> auto Guarded(TObject* Object, void (T::*Handler)()) {
    return [Object, Handler] { RunGuarded([&] { (Object->*Handler)(); }); };
}
