// Feeds arbitrary bytes as a settings file to the INI reader, then writes a key through it, and
// checks that a file read whole keeps the written value and every other key as it read them.
//
// Input: the bytes of a settings file.
#include "platform/IniFile.h"

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
    static const QString path = ScratchFolder() + QStringLiteral("/zel-ini-fuzz-%1.ini").arg(getpid());
    static const bool quiet = [] {
        TIniFile::SetReportHandler([](const QString&) {});
        return true;
    }();
    (void)quiet;
    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        out.write(reinterpret_cast<const char*>(Data), qint64(Size));
    }
    const QString sections[] = {QStringLiteral("common"), QStringLiteral("link"), QStringLiteral("Window")};
    const QString keys[] = {QStringLiteral("port"), QStringLiteral("host"), QStringLiteral("x")};
    QString before[3][3];
    {
        TIniFile ini(path);
        for (int s = 0; s < 3; ++s)
            for (int k = 0; k < 3; ++k)
                before[s][k] = ini.ReadString(sections[s], keys[k], QStringLiteral("(none)"));
        (void)ini.ReadInteger(sections[0], keys[0], 7);
        (void)ini.SectionExists(sections[1]);
        if (!ini.WriteString(QStringLiteral("link"), QStringLiteral("host"), QStringLiteral("fuzz \u00e9")))
            return 0; // not read whole: never rewritten
    }
    TIniFile again(path);
    for (int s = 0; s < 3; ++s)
        for (int k = 0; k < 3; ++k) {
            const QString now = again.ReadString(sections[s], keys[k], QStringLiteral("(none)"));
            const bool written = s == 1 && k == 1;
            if (written ? now != QStringLiteral("fuzz \u00e9") : now != before[s][k])
                std::abort();
        }
    return 0;
}
