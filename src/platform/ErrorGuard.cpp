#include "platform/ErrorGuard.h"
#include "platform/LogCategories.h"

#include <QDebug>

namespace {
TErrorHandler& Handler() {
    static TErrorHandler h;
    return h;
}
} // namespace

TErrorHandler SetApplicationErrorHandler(TErrorHandler NewHandler) {
    TErrorHandler old = std::move(Handler());
    Handler() = std::move(NewHandler);
    return old;
}

void HandleException(std::exception_ptr Error) noexcept {
    if (!Error)
        return;
    try {
        if (const auto& h = Handler()) {
            h(Error);
            return;
        }
        qCWarning(lcApp).noquote() << "Unhandled error:" << QString::fromStdString(ExceptionMessage(Error));
    } catch (...) {
        // A failing handler must not take the event loop down with it.
        qCWarning(lcApp) << "The error handler failed while reporting an error";
    }
}

std::string ExceptionMessage(std::exception_ptr Error) {
    if (!Error)
        return {};
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}
