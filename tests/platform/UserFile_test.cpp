// Files users hand the programs: only regular files up to a size are opened, without waiting; a
// record file ends after its last whole record when the disk fills.
#include "FileSizeLimit.h"
#include "platform/RecordFile.h"
#include "platform/SettingsFolder.h"
#include "platform/UserFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

TEST(UserFile, OnlyRegularFilesUpToTheLimitAreOpened) {
    QTemporaryDir dir;
    const QString plain = dir.filePath("log.csv");
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("0123456789");
    }
    const QString fifo = dir.filePath("fifo.csv");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString zero = dir.filePath("zero.csv");
    ASSERT_EQ(symlink("/dev/zero", zero.toLocal8Bit().constData()), 0);
    const struct {
        QString Path;
        qint64 Limit;
        UserFile::TResult Result;
        const char* Error;
    } rows[] = {
        {plain, 10, UserFile::Opened, ""},
        {plain, 9, UserFile::TooLarge, "larger than 9 bytes, the most that is read"},
        {fifo, 100, UserFile::NotRegular, "not a regular file (a pipe, socket or device)"},
        {zero, 100, UserFile::NotRegular, "not a regular file (a pipe, socket or device)"},
        {"/dev/urandom", 100, UserFile::NotRegular, "not a regular file (a pipe, socket or device)"},
        {dir.path(), 100, UserFile::NotRegular, "a folder, not a file"},
        {dir.filePath("none.csv"), 100, UserFile::Missing, "No such file or directory"},
        {plain + "/x.csv", 100, UserFile::Missing, "Not a directory"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.Path.toStdString());
        QFile file;
        QString error;
        EXPECT_EQ(UserFile::Open(file, r.Path, r.Limit, error), r.Result);
        EXPECT_EQ(error, QString::fromUtf8(r.Error));
        EXPECT_EQ(file.isOpen(), r.Result == UserFile::Opened);
        QByteArray data;
        EXPECT_EQ(UserFile::ReadAll(r.Path, r.Limit, data, error), r.Result);
        EXPECT_EQ(data, r.Result == UserFile::Opened ? QByteArray("0123456789") : QByteArray());
    }
    EXPECT_EQ(UserFile::SizeText(UserFile::MaxSize), "1 GiB");
    EXPECT_EQ(UserFile::SizeText(UserFile::MaxScriptSize), "16 MiB");
}

TEST(RecordFile, AFullDiskLeavesOnlyWholeRecordsAndSaysWhy) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rows.csv");
    const std::string record(100, 'x');
    // The child reports how many records it wrote and whether the reason was the system's.
    const int written = RunWithFileSizeLimit(1050, [&] {
        TRecordFile file;
        QString error;
        if (!file.Create(path, error))
            return 100;
        int n = 0;
        while (file.Append(record.data(), record.size(), error))
            ++n;
        if (error != QString::fromLocal8Bit(std::strerror(EFBIG)) || file.Size() != n * 100)
            return 101;
        // Later records are refused as well, and the file stays whole.
        return file.Append(record.data(), record.size(), error) ? 102 : n;
    });
    EXPECT_EQ(written, 10);
    EXPECT_EQ(QFileInfo(path).size(), 1000);
}

TEST(SettingsFolder, WithoutAHomeNothingIsWrittenAtTheRoot) {
    const struct {
        const char* Xdg;
        const char* Home;
        const char* Expected;
    } rows[] = {
        {"/cfg", "/home/u", "/cfg"},
        {"", "/home/u", "/home/u/.config"},
        {"rel/cfg", "/home/u/", "/home/u/.config"},
        {"", "", ""},
        {"", "/", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(SettingsFolder::ConfigHome(r.Xdg, r.Home), r.Expected) << r.Xdg << " " << r.Home;
}
