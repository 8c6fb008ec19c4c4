#include "platform/InstallLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace InstallLayout {
namespace {
// The source folder a build tree was configured from, as its cache records it.
QString SourceOf(const QString& BuildTop) {
    QFile cache(QDir(BuildTop).filePath(QStringLiteral("CMakeCache.txt")));
    if (!cache.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QByteArray key("CMAKE_HOME_DIRECTORY:INTERNAL=");
    while (!cache.atEnd()) {
        const QByteArray line = cache.readLine().trimmed();
        if (line.startsWith(key))
            return QString::fromUtf8(line.mid(key.size()));
    }
    return {};
}

QString IfFile(const QString& Path) {
    return QFileInfo(Path).isFile() ? QDir::cleanPath(QFileInfo(Path).absoluteFilePath()) : QString();
}
} // namespace

QString BuildTreeTop(const QString& ProgramFolder) {
    QDir dir(ProgramFolder);
    for (int up = 0; up < 5; ++up) {
        if (dir.exists(QStringLiteral("CMakeCache.txt")))
            return dir.absolutePath();
        if (!dir.cdUp())
            break;
    }
    return {};
}

QString Readme(const QString& ProgramFolder) {
    const QString installed = IfFile(ProgramFolder + QStringLiteral("/../share/doc/zel-console/README.md"));
    if (!installed.isEmpty())
        return installed;
    const QString top = BuildTreeTop(ProgramFolder);
    const QString source = top.isEmpty() ? QString() : SourceOf(top);
    return source.isEmpty() ? QString() : IfFile(source + QStringLiteral("/README.md"));
}

} // namespace InstallLayout
