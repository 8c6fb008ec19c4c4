// The zelctl examples of the README and of the manual page (zelctl --help), taken from the texts
// themselves and run as written against the simulator as scripts/run.sh starts it: only the link's
// ports and the pseudo-terminal's path are the ones this test's simulator has.
#include "Simulator.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {
struct TExamples {
    QStringList Commands;             // each a shell line starting with the program
    std::map<QString, QString> Files; // script files the commands name, with their text
};

// The README's zelctl section: the program lines of its sh blocks; a text block is the script the
// commands run with --script.
TExamples FromReadme(const QString& Readme) {
    TExamples e;
    const qsizetype from = Readme.indexOf(QStringLiteral("\n## zelctl\n"));
    const qsizetype to = Readme.indexOf(QStringLiteral("\n## "), from + 1);
    if (from < 0)
        return e;
    const QStringList lines = Readme.mid(from, to < 0 ? -1 : to - from).split(QLatin1Char('\n'));
    const QString program = QStringLiteral("build/tools/zelctl/zelctl ");
    bool inBlock = false;
    QString language;
    QString text;
    QStringList scripts;
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("```"))) {
            if (!inBlock) {
                language = line.mid(3).trimmed();
                text.clear();
            } else if (language == QStringLiteral("text")) {
                scripts << text;
            }
            inBlock = !inBlock;
        } else if (inBlock && language == QStringLiteral("sh") && line.startsWith(program)) {
            e.Commands << line.mid(program.size());
        } else if (inBlock && language == QStringLiteral("text")) {
            text += line + QLatin1Char('\n');
        }
    }
    // The README's script is the file its commands name.
    for (const QString& c : e.Commands) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("--script (\\S+)")).match(c);
        if (m.hasMatch() && !scripts.isEmpty())
            e.Files[m.captured(1)] = scripts.constFirst();
    }
    return e;
}

// The manual page's "Examples:": "  zelctl ..." lines, and "  NAME:" followed by the file's lines
// indented by four.
TExamples FromHelp(const QString& Help) {
    TExamples e;
    const qsizetype from = Help.indexOf(QStringLiteral("\nExamples:\n"));
    if (from < 0)
        return e;
    QString file;
    for (const QString& line : Help.mid(from + 11).split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("  zelctl "))) {
            e.Commands << line.mid(9);
            file.clear();
        } else if (line.startsWith(QStringLiteral("    ")) && !file.isEmpty()) {
            e.Files[file] += line.mid(4) + QLatin1Char('\n');
        } else if (line.startsWith(QStringLiteral("  ")) && line.endsWith(QLatin1Char(':'))) {
            file = line.trimmed().chopped(1);
        }
    }
    return e;
}

class ReadmeExamples : public ::testing::Test {
protected:
    void SetUp() override {
        // As scripts/run.sh starts it: a gripper with the default model, TCP, UDP and a pseudo-terminal.
        zelsim::TSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.UdpPort = 0;
        cfg.Pty = true;
        Sim = std::make_unique<zelsim::TSimThread>(cfg);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
    }

    // Runs each command in a folder holding the scripts; every one must succeed.
    void Run(const TExamples& Examples, const char* Source) {
        ASSERT_FALSE(Examples.Commands.isEmpty()) << "no zelctl examples found in the " << Source;
        for (const auto& [name, text] : Examples.Files) {
            QFile f(Dir.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
            f.write(text.toUtf8());
        }
        for (QString line : Examples.Commands) {
            SCOPED_TRACE(std::string(Source) + ": zelctl " + line.toStdString());
            // The links of run.sh's simulator (root's ports and path) point at this one.
            line.replace(QStringLiteral("127.0.0.1:1000"),
                         QStringLiteral("127.0.0.1:%1").arg(Sim->TcpPort()));
            line.replace(QRegularExpression(QStringLiteral("--udp 127\\.0\\.0\\.1(:1500)?(?=\\s)")),
                         QStringLiteral("--udp 127.0.0.1:%1:%2").arg(Sim->UdpPort()).arg(Sim->UdpPort() + 1));
            line.replace(QStringLiteral("/tmp/zel-tty"), QString::fromStdString(Sim->PtyPath()));
            EXPECT_FALSE(line.contains(QStringLiteral("--can"))) << "run.sh's simulator has no CAN link";
            QProcess p;
            p.setWorkingDirectory(Dir.path());
            p.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("\"$0\" --settings \"$1\" ") + line,
                     QStringLiteral(ZELCTL_PATH), Dir.path()});
            ASSERT_TRUE(p.waitForFinished(120000));
            EXPECT_EQ(p.exitCode(), 0)
                << p.readAllStandardError().toStdString() << p.readAllStandardOutput().toStdString();
            const QRegularExpressionMatch junit =
                QRegularExpression(QStringLiteral("--junit (\\S+)")).match(line);
            if (junit.hasMatch()) {
                EXPECT_TRUE(QFile::exists(Dir.filePath(junit.captured(1))));
            }
        }
    }

    QTemporaryDir Dir;
    std::unique_ptr<zelsim::TSimThread> Sim;
};
} // namespace

TEST_F(ReadmeExamples, RunAsWrittenAgainstTheSimulator) {
    QFile readme(QStringLiteral(ZEL_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const TExamples fromReadme = FromReadme(QString::fromUtf8(readme.readAll()));
    EXPECT_EQ(fromReadme.Files.size(), 1u) << "the rig script and the command that runs it";
    Run(fromReadme, "README");

    QProcess help;
    help.start(QStringLiteral(ZELCTL_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(30000));
    const TExamples fromHelp = FromHelp(QString::fromUtf8(help.readAllStandardOutput()));
    EXPECT_EQ(fromHelp.Files.size(), 1u);
    Run(fromHelp, "manual page");
}
