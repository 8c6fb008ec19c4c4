#pragma once
// INI settings file: case-insensitive sections and keys, every write goes to
// the file at once, missing files and keys give the default. A corrupt, unreadable or oversized
// file reads as empty, and one that was not read whole is never rewritten; a file in code page
// 1252 (not UTF-8) is written back in it, with its line endings and byte-order mark. A write that
// cannot reach the disk is reported by the return value, never thrown, and once to the report
// handler.
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TIniFile {
public:
    explicit TIniFile(const QString& FileName);
    ~TIniFile();

    // Folder of the settings files (see SettingsFolder.h) unless a test or an option pointed it
    // elsewhere.
    static QString SettingsFolder();
    static void SetSettingsFolder(const QString& Folder); // empty restores the usual folder
    // Where problems with a settings file go (each once: a file not read whole, a file or folder
    // that cannot be written), as one line naming the file and the reason. Empty: standard error.
    using TReportHandler = std::function<void(const QString& Text)>;
    static TReportHandler SetReportHandler(TReportHandler Handler);

    // SettingsFolder() + "/" + Name.
    static QString PathFor(const QString& Name);

    QString FileName() const;
    QString ReadString(const QString& Section, const QString& Key, const QString& Default) const;
    int ReadInteger(const QString& Section, const QString& Key, int Default) const;
    bool WriteString(const QString& Section, const QString& Key, const QString& Value);
    bool WriteInteger(const QString& Section, const QString& Key, int Value);
    bool SectionExists(const QString& Section) const;
    bool ValueExists(const QString& Section, const QString& Key) const;
    void EraseSection(const QString& Section);

private:
    struct TData;
    std::unique_ptr<TData> D;
};
