// zelctl's commands on a session whose link is gone: every exchange that did not take place is a
// failure on standard error, and nothing the device sends reaches the terminal raw.
#include "TempSettingsFolder.h"
#include "ZelctlRunner.h"
#include "ZelctlSession.h"

#include <QTextStream>

#include <gtest/gtest.h>

TEST(ZelctlRunner, CommandsWithoutALinkFailOnStandardError) {
    TTempSettingsFolder folder;
    TZelctlArguments args;
    QString parseError;
    ASSERT_TRUE(args.Parse({"--tcp", "127.0.0.1:1"}, parseError));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    TZelctlSession session(args, outStream, errStream);
    TZelctlRunner runner(session);
    const QList<QStringList> commands = {
        {"temperature"}, {"tag"},        {"tag", "bench 7"}, {"move", "50", "50"}, {"stop"},
        {"acc"},         {"acc", "500"}, {"stats"},          {"send", "6"},        {"watch", "0.1"},
    };
    for (const QStringList& c : commands) {
        out.clear();
        err.clear();
        EXPECT_FALSE(runner.Execute(TZelctlCommand{c[0], c.mid(1), QString()})) << c.join(' ').toStdString();
        EXPECT_TRUE(out.isEmpty()) << c.join(' ').toStdString() << ": " << out.toStdString();
        const QStringList lines = err.split('\n', Qt::SkipEmptyParts);
        EXPECT_FALSE(lines.isEmpty()) << c.join(' ').toStdString();
        for (const QString& line : lines)
            EXPECT_TRUE(line.startsWith("zelctl: ")) << line.toStdString();
    }
}

TEST(ZelctlRunner, DeviceTextIsPrintedWithControlBytesEscaped) {
    const std::pair<QString, QString> rows[] = {
        {"bench 7", "bench 7"},
        {QString::fromLatin1("a\x1B[2Jb"), "a\\x1B[2Jb"},
        {QString::fromLatin1("line\r\nnext\t\x7F"), "line\\x0D\\x0Anext\\x09\\x7F"},
        {QString(QChar(0x85)) + QChar(0xFC), QStringLiteral("\\x85\u00FC")},
        {"back\\slash", "back\\\\slash"},
    };
    for (const auto& [raw, shown] : rows)
        EXPECT_EQ(TZelctlRunner::Printable(raw), shown) << raw.toStdString();
}
