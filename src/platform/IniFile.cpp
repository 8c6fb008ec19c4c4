#include "platform/IniFile.h"

#include "platform/Ansi.h"
#include "platform/SettingsFolder.h"
#include "platform/UserFile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>

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
// not read whole (not a regular file, unreadable, or too large); such a file must not be
// rewritten, or its content would be lost. A file that is not UTF-8 was written by an editor in
// code page 1252 and is written back in it; each line keeps its own ending and a byte-order mark
// stays, so that a file edited elsewhere keeps its bytes apart from the changed key.
struct TContent {
    QStringList Lines;
    QList<QByteArray> Endings; // one per line: "\n", "\r\n" or "" (a last line without one)
    bool Whole = true;
    bool Ansi = false;
    bool Bom = false;

    // The ending new lines get: the file's first one.
    QByteArray NewEnding() const {
        for (const QByteArray& e : Endings)
            if (!e.isEmpty())
                return e;
        return QByteArrayLiteral("\n");
    }
    void Insert(qsizetype At, const QString& Line) {
        Lines.insert(At, Line);
        Endings.insert(At, NewEnding());
    }
    void Append(const QString& Line) {
        // A last line without an ending gets one before anything follows it.
        if (!Endings.isEmpty() && Endings.last().isEmpty())
            Endings.last() = NewEnding();
        Insert(Lines.size(), Line);
    }
};

TIniFile::TReportHandler& ReportHandler() {
    static TIniFile::TReportHandler handler;
    return handler;
}

// Each problem once per file (or folder) and reason: reads and saves come often.
void Report(const QString& Path, const QString& Reason) {
    static QSet<QString> reported;
    static QMutex lock;
    {
        QMutexLocker guard(&lock);
        const QString key = Path + u'\n' + Reason;
        if (reported.contains(key))
            return;
        reported.insert(key);
    }
    const QString text = QStringLiteral("Settings file %1: %2").arg(QDir::toNativeSeparators(Path), Reason);
    if (const auto& h = ReportHandler())
        h(text);
    else
        qWarning().noquote() << text;
}

TContent Load(const QString& Path) {
    TContent c;
    QFile f;
    QString why;
    switch (UserFile::Open(f, Path, MaxFileSize, why)) {
    case UserFile::Opened:
        break;
    case UserFile::Missing:
        return c;
    case UserFile::NotRegular:
        // A FIFO or device would block the open, or never end; only plain files are settings.
        c.Whole = false;
        Report(Path, QStringLiteral("not a regular file; defaults are used and nothing is saved"));
        return c;
    case UserFile::TooLarge:
        c.Whole = false;
        Report(
            Path,
            QStringLiteral("larger than %1 bytes; defaults are used and nothing is saved").arg(MaxFileSize));
        return c;
    case UserFile::Unreadable:
        c.Whole = false;
        Report(Path, QStringLiteral("cannot be read (%1); defaults are used and nothing is saved").arg(why));
        return c;
    }
    // As much as the file holds (a regular file knows its size), and one byte to see it end.
    const QByteArray bytes = f.read(std::min(f.size(), MaxFileSize) + 1);
    if (bytes.size() > MaxFileSize || !f.atEnd()) {
        c.Whole = false;
        Report(
            Path,
            QStringLiteral("larger than %1 bytes; defaults are used and nothing is saved").arg(MaxFileSize));
        return c;
    }
    QByteArrayView body(bytes);
    if (body.startsWith("\xEF\xBB\xBF")) {
        c.Bom = true;
        body = body.sliced(3);
    }
    // Split on the raw bytes so that each line's ending is kept as it was.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString probe = utf8.decode(body); // lazy: decoded only when made a QString
    c.Ansi = utf8.hasError();
    qsizetype from = 0;
    while (from < body.size()) {
        const qsizetype nl = body.indexOf('\n', from);
        QByteArrayView line = body.sliced(from, (nl < 0 ? body.size() : nl) - from);
        QByteArray ending;
        if (nl >= 0) {
            ending = line.endsWith('\r') ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
            if (line.endsWith('\r'))
                line.chop(1);
        }
        c.Lines.append(c.Ansi
                           ? AnsiToString(reinterpret_cast<const uint8_t*>(line.data()), size_t(line.size()))
                           : QString::fromUtf8(line));
        c.Endings.append(ending);
        from = nl < 0 ? body.size() : nl + 1;
    }
    return c;
}

QStringList LoadLines(const QString& Path) {
    return Load(Path).Lines;
}

bool SaveLines(const QString& Path, const TContent& Content) {
    QByteArray data;
    if (Content.Bom)
        data += "\xEF\xBB\xBF";
    for (qsizetype i = 0; i < Content.Lines.size(); ++i) {
        const QString& l = Content.Lines[i];
        if (Content.Ansi) {
            const TByteArray bytes = StringToAnsi(l);
            data.append(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        } else {
            data += l.toUtf8();
        }
        data += Content.Endings.value(i, QByteArrayLiteral("\n"));
    }
    // Atomic replace when the folder allows it; a writable file in a read-only folder is still
    // written in place.
    QSaveFile sf(Path);
    if (sf.open(QIODevice::WriteOnly) && sf.write(data) == data.size() && sf.commit())
        return true;
    QFile f(Path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size())
        return true;
    // Once per folder when the folder is the cause, else once per file: never on every save.
    const QFileInfo info(Path);
    if (!QFileInfo(info.absolutePath()).isWritable() && !info.exists())
        Report(
            info.absolutePath(),
            QStringLiteral("the folder cannot be written (%1); settings are not saved").arg(f.errorString()));
    else
        Report(Path, QStringLiteral("cannot be written (%1); settings are not saved").arg(f.errorString()));
    return false;
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

TIniFile::TReportHandler TIniFile::SetReportHandler(TReportHandler Handler) {
    TReportHandler old = std::move(ReportHandler());
    ReportHandler() = std::move(Handler);
    return old;
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
                // Keep the key's spelling and what surrounds the value, so that only it changes.
                const QString& raw = lines[i];
                const qsizetype eq = raw.indexOf(u'=');
                qsizetype valueStart = eq + 1;
                while (valueStart < raw.size() && raw[valueStart].isSpace())
                    ++valueStart;
                qsizetype valueEnd = raw.size();
                while (valueEnd > valueStart && raw[valueEnd - 1].isSpace())
                    --valueEnd;
                lines[i] = raw.left(valueStart) + OneLine(Value) + raw.mid(valueEnd);
                return SaveLines(D->FileName, content);
            }
            if (l.Kind == TLine::Entry)
                insertAt = i + 1;
        }
    }
    if (insertAt >= 0) {
        // Inserted after the last line of the section: that line needs an ending now.
        if (content.Endings[insertAt - 1].isEmpty())
            content.Endings[insertAt - 1] = content.NewEnding();
        content.Insert(insertAt, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            content.Append(QString());
        content.Append(u'[' + OneLine(Section) + u']');
        content.Append(entry);
    }
    return SaveLines(D->FileName, content);
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
    TContent kept = content;
    kept.Lines.clear();
    kept.Endings.clear();
    bool skipping = false;
    for (qsizetype i = 0; i < content.Lines.size(); ++i) {
        const TLine l = Classify(content.Lines[i]);
        if (l.Kind == TLine::Section)
            skipping = Same(l.Name, Section);
        if (!skipping) {
            kept.Lines.append(content.Lines[i]);
            kept.Endings.append(content.Endings[i]);
        }
    }
    if (kept.Lines.size() != content.Lines.size())
        SaveLines(D->FileName, kept);
}
