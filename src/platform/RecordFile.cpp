#include "platform/RecordFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {
QString SystemError(int Code) {
    return QString::fromLocal8Bit(std::strerror(Code));
}
} // namespace

TRecordFile::~TRecordFile() {
    Close();
}

bool TRecordFile::Create(const QString& Path, QString& Error) {
    Close();
    const QByteArray name = QFile::encodeName(Path);
    FFd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (FFd < 0) {
        Error = SystemError(errno);
        return false;
    }
    FSize = 0;
    return true;
}

bool TRecordFile::Append(const char* Data, size_t Size, QString& Error) {
    if (FFd < 0) {
        Error = QStringLiteral("the file is not open");
        return false;
    }
    size_t done = 0;
    while (done < Size) {
        const ssize_t n = ::write(FFd, Data + done, Size - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A short write is followed by one that fails with the reason; 0 would mean no progress.
        const int code = n < 0 ? errno : ENOSPC;
        Error = SystemError(code);
        if (done > 0 && ::ftruncate(FFd, off_t(FSize)) == 0)
            ::lseek(FFd, off_t(FSize), SEEK_SET);
        return false;
    }
    FSize += int64_t(Size);
    return true;
}

void TRecordFile::Close() {
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}
