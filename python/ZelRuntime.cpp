// Python's headers before Qt's, whose "slots" macro they would meet.
#include <pybind11/pybind11.h>

#include "ZelRuntime.h"

#include "platform/ErrorGuard.h"
#include "platform/IniFile.h"
#include "platform/MessageSeam.h"
#include "platform/QtDebugSink.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace py = pybind11;

namespace zelpy {
namespace {
// The application, once made here, lives until the process ends: Qt objects may still exist in
// Python's last garbage collection, after which nothing can be torn down in order.
QCoreApplication* GApp = nullptr;
std::once_flag GAppOnce;
// A device lives in the thread that created it, and everything it reports arrives there: each
// thread keeps its own errors, messages and wait.
thread_local std::deque<std::exception_ptr> GReported;
thread_local std::exception_ptr GInterrupt;
thread_local std::string GMessages;
thread_local QEventLoop* GLoop = nullptr;

// Signal handlers run only when the interpreter gets the lock back; waits look at them this often.
constexpr int SignalCheckMs = 100;

void PrepareEnvironment() {
    // Qt's own dispatcher costs less per pass than GLib's, and every exchange waits in passes.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

bool CheckSignals() {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0)
        return true;
    GInterrupt = std::make_exception_ptr(py::error_already_set());
    return false;
}
} // namespace

void EnsureApplication() {
    // Python threads are threads Qt did not start: their event dispatcher is made here, before a
    // device's timers need it (a temporary event loop makes it).
    const auto ensureDispatcher = [] {
        if (QAbstractEventDispatcher::instance() == nullptr)
            QEventLoop make;
    };
    std::call_once(GAppOnce, [] {
        if (QCoreApplication::instance() != nullptr)
            return;
        PrepareEnvironment();
        static int argc = 1;
        static char name[] = "zel";
        static char* argv[] = {name, nullptr};
        GApp = new QCoreApplication(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("zel"));
        // The protocol core's notes (a corrupt packet) follow Qt's logging rules like the rest:
        // silent unless QT_LOGGING_RULES asks for zel.protocol.
        RouteDebugOutToQt();
        // Each connect names its link completely; the transports' remembered parameters have no
        // use here and must not land beside the interpreter.
        static QTemporaryDir settings;
        TIniFile::SetSettingsFolder(settings.path());
        SetMessageHook([](const TMessage& Message) {
            GMessages += (GMessages.empty() ? "" : "\n") + Message.Text.toStdString();
        });
        SetApplicationErrorHandler([](std::exception_ptr Error) {
            GReported.push_back(Error);
            Wake();
        });
    });
    ensureDispatcher();
}

void Wake() {
    if (GLoop != nullptr)
        GLoop->quit();
}

bool PumpUntil(const std::function<bool()>& Done, double TimeoutSeconds) {
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = TimeoutSeconds < 0 ? -1 : qint64(TimeoutSeconds * 1000.0 + 0.5);
    qint64 nextSignalCheck = SignalCheckMs;
    while (!Done()) {
        const qint64 elapsed = clock.elapsed();
        if ((limitMs >= 0 && elapsed >= limitMs) || !GReported.empty() || GInterrupt)
            return false;
        if (elapsed >= nextSignalCheck) {
            nextSignalCheck = elapsed + SignalCheckMs;
            if (!CheckSignals())
                return false;
        }
        qint64 slice = nextSignalCheck - elapsed;
        if (limitMs >= 0)
            slice = std::min(slice, limitMs - elapsed);
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(int(std::max<qint64>(slice, 0)));
        QEventLoop* outer = GLoop;
        GLoop = &loop;
        loop.exec();
        GLoop = outer;
    }
    return true;
}

std::exception_ptr TakeReportedError() {
    if (GReported.empty())
        return nullptr;
    std::exception_ptr first = GReported.front();
    GReported.clear();
    return first;
}

std::exception_ptr TakeInterrupt() {
    std::exception_ptr e = GInterrupt;
    GInterrupt = nullptr;
    return e;
}

std::string TakeMessages() {
    std::string m;
    m.swap(GMessages);
    return m;
}

} // namespace zelpy
