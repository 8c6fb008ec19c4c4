#pragma once
// Points the settings folder at a fresh temporary folder while in scope, so tests never write
// beside the test binary.
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class TTempSettingsFolder {
public:
    TTempSettingsFolder();
    ~TTempSettingsFolder();
    TTempSettingsFolder(const TTempSettingsFolder&) = delete;
    TTempSettingsFolder& operator=(const TTempSettingsFolder&) = delete;

    QString Folder() const { return FDir.path(); }
    QString Path(const QString& Name) const { return FDir.filePath(Name); }
    bool Exists(const QString& Name) const;
    QByteArray ReadFile(const QString& Name) const;
    void WriteFile(const QString& Name, const QByteArray& Content) const;

private:
    QTemporaryDir FDir;
};

// Fixture base for tests that create transports, engines or anything else that keeps settings.
class SettingsFolderTest : public ::testing::Test {
protected:
    TTempSettingsFolder Settings;
};
