#include "IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// A settings file this large is not ours; treat it as empty rather than load it.
constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

QString& FolderOverride() {
    static QString folder;
    return folder;
}

struct TLine {
    enum EKind { Other, Section, Entry } Kind = Other;
    QString Name; // section name or key, trimmed
    QString Value;
};

TLine Classify(const QString& Raw) {
    TLine l;
    const QString t = Raw.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
        return l;
    if (t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        if (close > 0) {
            l.Kind = TLine::Section;
            l.Name = t.mid(1, close - 1).trimmed();
        }
        return l;
    }
    const qsizetype eq = t.indexOf(u'=');
    if (eq > 0) {
        l.Kind = TLine::Entry;
        l.Name = t.left(eq).trimmed();
        l.Value = t.mid(eq + 1).trimmed();
    }
    return l;
}

bool Same(const QString& A, const QString& B) {
    return A.compare(B, Qt::CaseInsensitive) == 0;
}

// Lines of the file; Ok is false when the file exists but cannot be read (then it must not be
// rewritten, or its content would be lost).
QStringList LoadLines(const QString& Path, bool* Ok = nullptr) {
    if (Ok)
        *Ok = true;
    QFile f(Path);
    if (!f.exists())
        return {};
    if (!f.open(QIODevice::ReadOnly)) {
        if (Ok)
            *Ok = false;
        return {};
    }
    if (f.size() > MaxFileSize)
        return {};
    const QString text = QString::fromUtf8(f.readAll());
    QStringList lines = text.split(u'\n');
    for (QString& l : lines)
        if (l.endsWith(u'\r'))
            l.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool SaveLines(const QString& Path, const QStringList& Lines) {
    QByteArray data;
    for (const QString& l : Lines) {
        data += l.toUtf8();
        data += '\n';
    }
    // Atomic replace when the folder allows it; a writable file in a read-only folder is still
    // written in place.
    QSaveFile sf(Path);
    if (sf.open(QIODevice::WriteOnly) && sf.write(data) == data.size() && sf.commit())
        return true;
    QFile f(Path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

QString OneLine(QString S) {
    S.replace(u'\r', u' ');
    S.replace(u'\n', u' ');
    return S;
}

bool FindValue(const QStringList& Lines, const QString& Section, const QString& Key, QString* Value) {
    bool inSection = false;
    for (const QString& raw : Lines) {
        const TLine l = Classify(raw);
        if (l.Kind == TLine::Section)
            inSection = Same(l.Name, Section);
        else if (inSection && l.Kind == TLine::Entry && Same(l.Name, Key)) {
            if (Value)
                *Value = l.Value;
            return true;
        }
    }
    return false;
}
} // namespace

struct TIniFile::TData {
    QString FileName;
};

TIniFile::TIniFile(const QString& FileName) : D(std::make_unique<TData>()) {
    D->FileName = FileName;
}

TIniFile::~TIniFile() = default;

QString TIniFile::SettingsFolder() {
    if (!FolderOverride().isEmpty())
        return FolderOverride();
    QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QDir::currentPath();
    if (QFileInfo(dir).isWritable())
        return dir;
    // An installed program's folder (/usr/bin) takes no files: every save would fail.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return ChooseSettingsFolder(dir, false, config);
}

QString TIniFile::ChooseSettingsFolder(const QString& ProgramFolder, bool ProgramFolderWritable,
                                       const QString& ConfigFolder) {
    if (ProgramFolderWritable || ConfigFolder.isEmpty() || !QDir().mkpath(ConfigFolder))
        return ProgramFolder;
    return ConfigFolder;
}

void TIniFile::SetSettingsFolder(const QString& Folder) {
    FolderOverride() = Folder;
}

QString TIniFile::PathFor(const QString& Name) {
    return SettingsFolder() + u'/' + Name;
}

QString TIniFile::FileName() const {
    return D->FileName;
}

QString TIniFile::ReadString(const QString& Section, const QString& Key, const QString& Default) const {
    QString v;
    return FindValue(LoadLines(D->FileName), Section, Key, &v) ? v : Default;
}

int TIniFile::ReadInteger(const QString& Section, const QString& Key, int Default) const {
    const QString s = ReadString(Section, Key, QString());
    if (s.isEmpty())
        return Default;
    bool ok = false;
    int v = 0;
    if (s.startsWith(u'$'))
        v = s.mid(1).toInt(&ok, 16);
    else if (s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = s.mid(2).toInt(&ok, 16);
    else
        v = s.toInt(&ok, 10);
    return ok ? v : Default;
}

bool TIniFile::WriteString(const QString& Section, const QString& Key, const QString& Value) {
    bool readable = true;
    QStringList lines = LoadLines(D->FileName, &readable);
    if (!readable)
        return false;
    const QString entry = OneLine(Key) + u'=' + OneLine(Value);

    bool inSection = false;
    qsizetype insertAt = -1; // after the last line of the first matching section
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const TLine l = Classify(lines[i]);
        if (l.Kind == TLine::Section) {
            if (insertAt >= 0)
                break;
            inSection = Same(l.Name, Section);
            if (inSection)
                insertAt = i + 1;
        } else if (inSection) {
            if (l.Kind == TLine::Entry && Same(l.Name, Key)) {
                lines[i] = l.Name + u'=' + OneLine(Value); // keep the key's spelling
                return SaveLines(D->FileName, lines);
            }
            if (l.Kind == TLine::Entry)
                insertAt = i + 1;
        }
    }
    if (insertAt >= 0) {
        lines.insert(insertAt, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QString());
        lines.append(u'[' + OneLine(Section) + u']');
        lines.append(entry);
    }
    return SaveLines(D->FileName, lines);
}

bool TIniFile::WriteInteger(const QString& Section, const QString& Key, int Value) {
    return WriteString(Section, Key, QString::number(Value));
}

bool TIniFile::SectionExists(const QString& Section) const {
    for (const QString& raw : LoadLines(D->FileName)) {
        const TLine l = Classify(raw);
        if (l.Kind == TLine::Section && Same(l.Name, Section))
            return true;
    }
    return false;
}

bool TIniFile::ValueExists(const QString& Section, const QString& Key) const {
    return FindValue(LoadLines(D->FileName), Section, Key, nullptr);
}

void TIniFile::EraseSection(const QString& Section) {
    bool readable = true;
    const QStringList lines = LoadLines(D->FileName, &readable);
    if (!readable)
        return;
    QStringList kept;
    bool skipping = false;
    for (const QString& raw : lines) {
        const TLine l = Classify(raw);
        if (l.Kind == TLine::Section)
            skipping = Same(l.Name, Section);
        if (!skipping)
            kept.append(raw);
    }
    if (kept.size() != lines.size())
        SaveLines(D->FileName, kept);
}
