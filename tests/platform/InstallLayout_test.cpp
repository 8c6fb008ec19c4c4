#include "platform/InstallLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
void Put(const QString& Path, const QByteArray& Content) {
    QDir().mkpath(QFileInfo(Path).path());
    QFile f(Path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Content);
}
} // namespace

// The documentation label opens the installed README or the project's README beside the build
// the program runs from, and never a README that merely lies somewhere above the program.
TEST(InstallLayout, ReadmeIsTheInstalledOneOrTheProjectsOwn) {
    const struct {
        const char* Case;
        const char* Program;
        std::vector<const char*> Files; // "@" in a file stands for the root folder
        const char* Expected;           // below the root; empty: none
    } rows[] = {
        {"installed",
         "usr/bin",
         {"usr/share/doc/zel-console/README.md"},
         "usr/share/doc/zel-console/README.md"},
        {"installed without documentation", "usr/bin", {"usr/README.md", "README.md"}, ""},
        {"build tree inside the project",
         "src/build/src/ui",
         {"src/README.md", "src/build/CMakeCache.txt:CMAKE_HOME_DIRECTORY:INTERNAL=@/src"},
         "src/README.md"},
        {"build tree outside the project",
         "b/tools/zelctl",
         {"p/README.md", "b/CMakeCache.txt:X:STRING=1\nCMAKE_HOME_DIRECTORY:INTERNAL=@/p"},
         "p/README.md"},
        {"build tree of a project without README",
         "b/ui",
         {"b/README.md", "b/CMakeCache.txt:CMAKE_HOME_DIRECTORY:INTERNAL=@/p"},
         ""},
        {"a copy somewhere", "copy/zel", {"copy/README.md", "README.md"}, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.Case);
        QTemporaryDir root;
        const QDir dir(root.path());
        dir.mkpath(r.Program);
        for (QString file : r.Files) {
            file.replace("@", root.path());
            const qsizetype colon = file.indexOf(':');
            Put(dir.filePath(file.left(colon)), colon < 0 ? "# README" : file.mid(colon + 1).toUtf8());
        }
        const QString expected = *r.Expected ? dir.filePath(r.Expected) : QString();
        EXPECT_EQ(InstallLayout::Readme(dir.filePath(r.Program)), expected);
    }
}
