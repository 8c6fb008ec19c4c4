#include "platform/SettingsFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
void Put(const QString& Path, const QByteArray& Content) {
    QDir().mkpath(QFileInfo(Path).path());
    QFile f(Path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Content);
}

QByteArray Get(const QString& Path) {
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}
} // namespace

// Where each kind of program keeps its settings, and what an earlier version left is not lost.
TEST(SettingsFolder, EachKindOfProgramFindsItsFolder) {
    const struct {
        const char* Case;
        const char* Program;                                    // the program's folder below the root
        std::vector<std::pair<const char*, const char*>> Files; // files present before
        const char* Expected;                                   // chosen folder below the root
        const char* ExpectedTcp;                                // tcp.cfg there afterwards
    } rows[] = {
        {"build tree", "build/src/ui", {{"build/CMakeCache.txt", ""}}, "build/src/ui", "(none)"},
        {"portable copy", "zel", {{"zel/tcp.cfg", "port=1"}}, "zel", "port=1"},
        {"fresh installation", "usr/bin", {}, "home/zel-console", "(none)"},
        {"writable folder without settings", "opt/zel", {}, "home/zel-console", "(none)"},
        {"earlier version beside an installed program",
         "usr/bin",
         {{"usr/bin/tcp.cfg", "port=2"}},
         "home/zel-console",
         "port=2"},
        {"earlier version's configuration folder",
         "usr/bin",
         {{"home/ZEL Duruzadud/tcp.cfg", "port=3"}},
         "home/zel-console",
         "port=3"},
        {"earlier zelctl folder",
         "usr/bin",
         {{"home/zelctl/tcp.cfg", "port=4"}},
         "home/zel-console",
         "port=4"},
        {"new folder in use: earlier files left alone",
         "usr/bin",
         {{"usr/bin/tcp.cfg", "port=2"}, {"home/zel-console/uart.cfg", "x"}},
         "home/zel-console",
         "(none)"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.Case);
        QTemporaryDir root;
        const QDir dir(root.path());
        dir.mkpath(r.Program);
        for (const auto& [name, content] : r.Files)
            Put(dir.filePath(name), content);
        const QString chosen = SettingsFolder::Choose(dir.filePath(r.Program), dir.filePath("home"));
        EXPECT_EQ(chosen, dir.filePath(r.Expected));
        EXPECT_TRUE(QFileInfo(chosen).isDir());
        EXPECT_EQ(Get(dir.filePath(r.Expected) + "/tcp.cfg"), r.ExpectedTcp);
    }
}

TEST(SettingsFolder, WithoutAConfigurationFolderTheProgramFolderStays) {
    QTemporaryDir root;
    Put(root.filePath("home"), "a plain file where the folder should be");
    EXPECT_EQ(SettingsFolder::Choose(root.filePath("usr/bin"), root.filePath("home")),
              root.filePath("usr/bin"));
    EXPECT_EQ(SettingsFolder::Choose(root.filePath("usr/bin"), QString()), root.filePath("usr/bin"));
}
