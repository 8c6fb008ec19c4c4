#include "platform/UserFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UserFile {
namespace {
QString SystemError(int Code) {
    return QString::fromLocal8Bit(std::strerror(Code));
}
} // namespace

QString SizeText(qint64 Bytes) {
    if (Bytes >= (qint64(1) << 30) && Bytes % (qint64(1) << 30) == 0)
        return QStringLiteral("%1 GiB").arg(Bytes >> 30);
    if (Bytes >= (qint64(1) << 20) && Bytes % (qint64(1) << 20) == 0)
        return QStringLiteral("%1 MiB").arg(Bytes >> 20);
    return QStringLiteral("%1 bytes").arg(Bytes);
}

TResult Open(QFile& File, const QString& Path, qint64 Limit, QString& Error) {
    File.close();
    File.setFileName(Path);
    const QByteArray name = QFile::encodeName(Path);
    // Non-blocking, so that opening a FIFO returns at once; what it is is asked of the open file,
    // not of the name, which could be swapped in between.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        Error = SystemError(code);
        return code == ENOENT || code == ENOTDIR ? Missing : Unreadable;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        Error = SystemError(errno);
        ::close(fd);
        return Unreadable;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        Error = S_ISDIR(st.st_mode) ? QStringLiteral("a folder, not a file")
                                    : QStringLiteral("not a regular file (a pipe, socket or device)");
        return NotRegular;
    }
    if (st.st_size > Limit) {
        ::close(fd);
        Error = QStringLiteral("larger than %1, the most that is read").arg(SizeText(Limit));
        return TooLarge;
    }
    // A regular file never makes a read wait; plain reads from here on.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!File.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        Error = File.errorString();
        ::close(fd);
        return Unreadable;
    }
    return Opened;
}

TResult ReadAll(const QString& Path, qint64 Limit, QByteArray& Data, QString& Error) {
    Data.clear();
    QFile file;
    const TResult r = Open(file, Path, Limit, Error);
    if (r != Opened)
        return r;
    Data = file.read(Limit + 1);
    if (file.error() != QFileDevice::NoError) {
        Error = file.errorString();
        Data.clear();
        return Unreadable;
    }
    if (Data.size() > Limit) {
        Error = QStringLiteral("larger than %1, the most that is read").arg(SizeText(Limit));
        Data.clear();
        return TooLarge;
    }
    return Opened;
}

} // namespace UserFile
