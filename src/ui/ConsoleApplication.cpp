#include "ConsoleApplication.h"

#include "ErrorGuard.h"
#include "ZELMainWin.h"

#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QPixmapCache>

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
    Q_INIT_RESOURCE(console);
    App.setApplicationName(TMainWin::Caption);
    App.setWindowIcon(QIcon(ConsolePicture()));
}
