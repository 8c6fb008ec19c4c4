#include "IniFile.h"

#include "Ansi.h"
#include "SettingsFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace {
// A settings file this large is not ours; it reads as empty and is never rewritten.
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

// The lines of a file and how to write them back. Whole is false when the file exists but was
// not read whole (unreadable, or too large); such a file must not be rewritten, or its content
// would be lost. A file that is not UTF-8 was written by an editor in code page 1252 and is
// written back in it, so that its bytes stay as they were.
struct TContent {
    QStringList Lines;
    bool Whole = true;
    bool Ansi = false;
};

TContent Load(const QString& Path) {
    TContent c;
    QFile f(Path);
    if (!f.exists())
        return c;
    if (!f.open(QIODevice::ReadOnly) || f.size() > MaxFileSize) {
        c.Whole = false;
        return c;
    }
    const QByteArray bytes = f.read(MaxFileSize + 1);
    if (bytes.size() > MaxFileSize || !f.atEnd()) {
        c.Whole = false;
        return c;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        c.Ansi = true;
        text = AnsiToString(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
    c.Lines = text.split(u'\n');
    for (QString& l : c.Lines)
        if (l.endsWith(u'\r'))
            l.chop(1);
    if (!c.Lines.isEmpty() && c.Lines.last().isEmpty())
        c.Lines.removeLast();
    return c;
}

QStringList LoadLines(const QString& Path) {
    return Load(Path).Lines;
}

bool SaveLines(const QString& Path, const QStringList& Lines, bool Ansi) {
    QByteArray data;
    for (const QString& l : Lines) {
        if (Ansi) {
            const TByteArray bytes = StringToAnsi(l);
            data.append(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        } else {
            data += l.toUtf8();
        }
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
    return SettingsFolder::ForThisProgram();
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
    TContent content = Load(D->FileName);
    if (!content.Whole)
        return false;
    QStringList& lines = content.Lines;
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
                return SaveLines(D->FileName, lines, content.Ansi);
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
    return SaveLines(D->FileName, lines, content.Ansi);
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
    const TContent content = Load(D->FileName);
    if (!content.Whole)
        return;
    const QStringList& lines = content.Lines;
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
        SaveLines(D->FileName, kept, content.Ansi);
}
