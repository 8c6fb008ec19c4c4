#include "ConsoleApplication.h"

#include "ConsoleStyle.h"
#include "ErrorGuard.h"
#include "ZELMainWin.h"

#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QPixmapCache>

#include <dlfcn.h>

#include <clocale>
#include <system_error>

namespace {
using TFcInit = int (*)();

// fontconfig's FcInit when this program has fontconfig loaded (as Qt's font back end on Linux).
TFcInit FontconfigInit() {
    void* library = dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return nullptr;
    auto init = reinterpret_cast<TFcInit>(dlsym(library, "FcInit"));
    dlclose(library); // still loaded: Qt depends on it
    return init;
}
} // namespace

TFontWarmUp::TFontWarmUp() {
    // The application object sets the program's locale from the environment as it starts, and the
    // font configuration reads numbers through the locale: set it here first, as the application
    // object will, so that the thread never reads the locale while it is being changed.
    std::setlocale(LC_ALL, "");
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No second thread: Qt reads the configuration itself when it first needs it.
    }
}

TFontWarmUp::~TFontWarmUp() {
    Tell(TStep::Abandon); // the application object may never have come
    Wait();
}

void TFontWarmUp::Run() {
    // fontconfig may be initialised from any thread; once it is, Qt's own call returns at once.
    if (const TFcInit init = FontconfigInit())
        init();
    std::unique_lock<std::mutex> lock(FMutex);
    FChanged.wait(lock, [this] { return FStep != TStep::WaitForApplication; });
    if (FStep != TStep::Go)
        return;
    lock.unlock();
    // Qt's font database may be used from any thread once the application object exists; the
    // window waits for this before it measures text, so the two never contend.
    QFontDatabase::families();
}

void TFontWarmUp::ApplicationReady() {
    Tell(TStep::Go);
}

void TFontWarmUp::Tell(TStep Step) {
    {
        const std::lock_guard<std::mutex> lock(FMutex);
        if (FStep != TStep::WaitForApplication)
            return;
        FStep = Step;
    }
    FChanged.notify_all();
}

void TFontWarmUp::Wait() {
    if (FThread.joinable())
        FThread.join();
}

TConsoleApplication::TConsoleApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
    ApplicationReady();
}

TConsoleApplication::~TConsoleApplication() {
    Wait(); // before QApplication goes
}

void TConsoleApplication::WaitForFonts() {
    if (auto* app = dynamic_cast<TConsoleApplication*>(QCoreApplication::instance()))
        app->Wait();
}

bool TConsoleApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

QPixmap ConsolePicture() {
    // Decoded once: the window icon and the gripper picture are both drawn from it.
    static const QString key = QStringLiteral("zel-console-picture");
    QPixmap picture;
    if (QPixmapCache::find(key, &picture))
        return picture;
    // The picture is a PNG of our own: read it with Qt's own PNG reader. Left to find a reader,
    // Qt would first load every image format plug-in to ask it, which costs more than the picture.
    QImageReader reader(QStringLiteral(":/zel-console.png"), "png");
    reader.setAutoDetectImageFormat(false);
    picture = QPixmap::fromImage(reader.read());
    QPixmapCache::insert(key, picture);
    return picture;
}

void InitConsoleApplication(QApplication& App) {
    QApplication::setStyle(new TConsoleStyle);
    Q_INIT_RESOURCE(console);
    App.setApplicationName(TMainWin::Caption);
    App.setWindowIcon(QIcon(ConsolePicture()));
}
