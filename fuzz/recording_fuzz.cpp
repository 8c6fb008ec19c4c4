// Feeds arbitrary bytes as a file to the reader of sensor recordings, and checks what it accepts:
// a matrix that matches its header, and frames that are either read whole or refused.
//
// Input: the bytes of a recording file.
#include "ui/FrameFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

#include <unistd.h>

namespace {
// Memory-backed where there is one: every input is written and (settings) synced to disk.
QString ScratchFolder() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static const QString path = ScratchFolder() + QStringLiteral("/zel-recording-fuzz-%1.csv").arg(getpid());
    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        out.write(reinterpret_cast<const char*>(Data), qint64(Size));
    }
    TRecordingReader reader;
    QString error;
    if (!reader.Open(path, &error)) {
        if (error.isEmpty() || reader.IsOpen())
            std::abort();
        return 0;
    }
    const size_t cells = size_t(reader.Width()) * size_t(reader.Height());
    if (reader.Width() <= 0 || reader.Height() <= 0 || cells == 0)
        std::abort();
    for (int i = 0; i < reader.Count() && i < 64; ++i) {
        uint32_t stamp = 0;
        std::vector<int32_t> frame;
        if (reader.Frame(i, stamp, frame, &error) ? frame.size() != cells : error.isEmpty())
            std::abort();
    }
    uint32_t stamp = 0;
    std::vector<int32_t> frame;
    if (reader.Frame(reader.Count(), stamp, frame) || reader.Frame(-1, stamp, frame))
        std::abort();
    return 0;
}
