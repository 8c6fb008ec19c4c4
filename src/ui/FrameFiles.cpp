#include "ui/FrameFiles.h"

#include "platform/UserFile.h"

#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <charconv>

namespace {
void Append(std::string& Line, int64_t Value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, Value).ptr;
    Line.append(buffer, end);
}

bool Fail(QString* Error, const QString& Text) {
    if (Error)
        *Error = Text;
    return false;
}

// One line of numbers separated by commas; false when a field is not an integer.
bool ParseLine(const QByteArray& Line, std::vector<int64_t>& Values) {
    Values.clear();
    const char* p = Line.constData();
    const char* end = p + Line.size();
    while (end > p && (end[-1] == '\n' || end[-1] == '\r'))
        --end;
    while (p <= end) {
        const char* comma = std::find(p, end, ',');
        int64_t v = 0;
        const char* s = p;
        while (s < comma && *s == ' ')
            ++s;
        const auto r = std::from_chars(s, comma, v);
        if (r.ec != std::errc() || r.ptr != comma)
            return false;
        Values.push_back(v);
        p = comma + 1;
    }
    return true;
}
} // namespace

bool WriteFrameCsv(const QString& Path, const std::vector<int32_t>& Cells, int Width, int Height,
                   QString* Error) {
    if (Width <= 0 || Height <= 0 || Cells.size() < size_t(Width) * size_t(Height))
        return Fail(Error, QStringLiteral("There is no frame to save."));
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return Fail(Error, file.errorString());
    std::string line;
    for (int y = 0; y < Height; ++y) {
        line.clear();
        for (int x = 0; x < Width; ++x) {
            if (x > 0)
                line += ',';
            Append(line, Cells[size_t(y) * Width + x]);
        }
        line += '\n';
        file.write(line.data(), qint64(line.size()));
    }
    if (!file.commit())
        return Fail(Error, file.errorString());
    return true;
}

TRecordingWriter::~TRecordingWriter() {
    Close();
}

bool TRecordingWriter::Open(const QString& Path, int Width, int Height, QString* Error) {
    Close();
    if (Width <= 0 || Height <= 0)
        return Fail(Error, QStringLiteral("The sensor has not described its matrix yet."));
    QString why;
    if (!FFile.Create(Path, why))
        return Fail(Error, why);
    std::string header = "timestamp";
    for (int y = 1; y <= Height; ++y)
        for (int x = 1; x <= Width; ++x) {
            header += ",r";
            Append(header, y);
            header += 'c';
            Append(header, x);
        }
    header += '\n';
    if (!FFile.Append(header.data(), header.size(), why)) {
        FFile.Close();
        return Fail(Error, why);
    }
    FFileName = Path;
    FWidth = Width;
    FHeight = Height;
    FCount = 0;
    FError.clear();
    return true;
}

bool TRecordingWriter::Add(uint32_t Timestamp, const std::vector<int32_t>& Cells) {
    if (!FFile.IsOpen())
        return false;
    const size_t n = size_t(FWidth) * size_t(FHeight);
    if (Cells.size() < n)
        return true; // not a frame of this matrix: nothing to record
    FLine.clear();
    Append(FLine, Timestamp);
    for (size_t i = 0; i < n; ++i) {
        FLine += ',';
        Append(FLine, Cells[i]);
    }
    FLine += '\n';
    if (!FFile.Append(FLine.data(), FLine.size(), FError)) {
        FFile.Close();
        return false;
    }
    ++FCount;
    return true;
}

void TRecordingWriter::Close() {
    FFile.Close();
}

bool TRecordingReader::Open(const QString& Path, QString* Error) {
    Close();
    QString why;
    if (UserFile::Open(FFile, Path, UserFile::MaxSize, why) != UserFile::Opened)
        return Fail(Error, QStringLiteral("%1: %2").arg(Path, why));
    FFileName = Path;
    const QByteArray header = FFile.readLine().trimmed();
    const QList<QByteArray> names = header.split(',');
    static const QRegularExpression cell(QStringLiteral("^r(\\d+)c(\\d+)$"));
    const auto last = cell.match(QString::fromLatin1(names.back()));
    if (names.size() < 2 || names.front() != "timestamp" || !last.hasMatch()) {
        Close();
        return Fail(Error, QStringLiteral("%1 is not a frame recording.").arg(Path));
    }
    FHeight = last.captured(1).toInt();
    FWidth = last.captured(2).toInt();
    if (FWidth <= 0 || FHeight <= 0 || qsizetype(FWidth) * FHeight != names.size() - 1) {
        Close();
        return Fail(Error, QStringLiteral("%1 is not a frame recording.").arg(Path));
    }
    // Only where each frame starts; the frames themselves are read when shown.
    while (!FFile.atEnd()) {
        const qint64 at = FFile.pos();
        const QByteArray line = FFile.readLine();
        if (!line.trimmed().isEmpty())
            FOffsets.push_back(at);
    }
    return true;
}

void TRecordingReader::Close() {
    FFile.close();
    FFileName.clear();
    FOffsets.clear();
    FWidth = FHeight = 0;
}

bool TRecordingReader::Frame(int Index, uint32_t& Timestamp, std::vector<int32_t>& Cells, QString* Error) {
    if (Index < 0 || Index >= Count() || !FFile.seek(FOffsets[size_t(Index)]))
        return Fail(Error, QStringLiteral("Frame %1 cannot be read.").arg(Index + 1));
    std::vector<int64_t> values;
    const size_t n = size_t(FWidth) * size_t(FHeight);
    if (!ParseLine(FFile.readLine(), values) || values.size() != n + 1)
        return Fail(Error, QStringLiteral("Frame %1 of the recording is damaged.").arg(Index + 1));
    Timestamp = uint32_t(values[0]);
    Cells.resize(n);
    for (size_t i = 0; i < n; ++i)
        Cells[i] = int32_t(values[i + 1]);
    return true;
}
