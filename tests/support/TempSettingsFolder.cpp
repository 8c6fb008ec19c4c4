#include "TempSettingsFolder.h"

#include "platform/IniFile.h"

#include <QFile>

TTempSettingsFolder::TTempSettingsFolder() {
    TIniFile::SetSettingsFolder(FDir.path());
}

TTempSettingsFolder::~TTempSettingsFolder() {
    TIniFile::SetSettingsFolder(QString());
}

bool TTempSettingsFolder::Exists(const QString& Name) const {
    return QFile::exists(Path(Name));
}

QByteArray TTempSettingsFolder::ReadFile(const QString& Name) const {
    QFile f(Path(Name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TTempSettingsFolder::WriteFile(const QString& Name, const QByteArray& Content) const {
    QFile f(Path(Name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(Content);
}
