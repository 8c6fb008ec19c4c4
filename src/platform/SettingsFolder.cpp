#include "platform/SettingsFolder.h"

#include "platform/InstallLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace SettingsFolder {
namespace {
const QString FolderName = QStringLiteral("zel-console");

// Folders where earlier versions kept the settings of a program whose folder was read-only.
const QStringList EarlierConfigFolders = {QStringLiteral("ZEL Duruzadud"), QStringLiteral("zelctl")};

bool HoldsSettings(const QString& Folder) {
    const QDir dir(Folder);
    for (const QString& name : FileNames())
        if (QFileInfo(dir.filePath(name)).isFile())
            return true;
    return false;
}

// /usr/bin, /usr/local/bin, ~/.local/bin: files there were left by an earlier version, not placed
// by the user as a portable copy.
bool IsInstallBin(const QString& ProgramFolder) {
    return QFileInfo(ProgramFolder).fileName() == QLatin1String("bin");
}

void CopyEarlierSettings(const QString& To, const QStringList& From) {
    const QDir target(To);
    for (const QString& folder : From) {
        if (!HoldsSettings(folder))
            continue;
        const QDir source(folder);
        for (const QString& name : FileNames())
            if (QFileInfo(source.filePath(name)).isFile())
                QFile::copy(source.filePath(name), target.filePath(name));
        return; // the first folder that has any is the one the user last worked with
    }
}
} // namespace

const QStringList& FileNames() {
    static const QStringList names = {QStringLiteral("uart.cfg"), QStringLiteral("tcp.cfg"),
                                      QStringLiteral("udp.cfg"), QStringLiteral("can.cfg"),
                                      QStringLiteral("settings.ini")};
    return names;
}

QString Choose(const QString& ProgramFolder, const QString& ConfigHome) {
    if (!InstallLayout::BuildTreeTop(ProgramFolder).isEmpty())
        return ProgramFolder;
    const bool writable = QFileInfo(ProgramFolder).isWritable();
    if (writable && !IsInstallBin(ProgramFolder) && HoldsSettings(ProgramFolder))
        return ProgramFolder;
    const QString folder = ConfigHome + u'/' + FolderName;
    if (ConfigHome.isEmpty() || !QDir().mkpath(folder))
        return ProgramFolder; // no home to write to: the program's folder is all there is
    if (!HoldsSettings(folder)) {
        QStringList earlier{ProgramFolder};
        for (const QString& name : EarlierConfigFolders)
            earlier.append(ConfigHome + u'/' + name);
        CopyEarlierSettings(folder, earlier);
    }
    return folder;
}

QString ConfigHome(const QString& XdgConfigHome, const QString& Home) {
    if (!XdgConfigHome.isEmpty() && QDir::isAbsolutePath(XdgConfigHome))
        return QDir::cleanPath(XdgConfigHome);
    // Qt's own answer would be /.config here.
    if (Home.isEmpty() || QDir::cleanPath(Home) == QLatin1String("/"))
        return QString();
    return QDir::cleanPath(Home) + QStringLiteral("/.config");
}

QString ForThisProgram() {
    static const QString folder = [] {
        QString dir = QCoreApplication::applicationDirPath();
        if (dir.isEmpty())
            dir = QDir::currentPath();
        return Choose(dir, ConfigHome(qEnvironmentVariable("XDG_CONFIG_HOME"), qEnvironmentVariable("HOME")));
    }();
    return folder;
}

} // namespace SettingsFolder
