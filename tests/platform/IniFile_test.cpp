#include "platform/IniFile.h"
#include "TempSettingsFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using IniFileTest = SettingsFolderTest;

TEST_F(IniFileTest, MissingFileGivesDefaultsAndWritesGoThroughAtOnce) {
    TIniFile ini(TIniFile::PathFor("uart.cfg"));
    EXPECT_EQ(ini.FileName(), Settings.Path("uart.cfg"));
    EXPECT_EQ(ini.ReadInteger("common", "baudrate", 9600), 9600);
    EXPECT_EQ(ini.ReadString("common", "host", "none"), "none");
    EXPECT_FALSE(Settings.Exists("uart.cfg"));

    ASSERT_TRUE(ini.WriteInteger("common", "baudrate", 57600));
    EXPECT_EQ(Settings.ReadFile("uart.cfg"), "[common]\nbaudrate=57600\n");
    // A second object sees the value without any save step.
    TIniFile other(Settings.Path("uart.cfg"));
    EXPECT_EQ(other.ReadInteger("common", "baudrate", 0), 57600);
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
    Settings.WriteFile("tcp.cfg", "[Common]\r\nHost = device.local \r\nPORT=1234\r\n");
    TIniFile ini(Settings.Path("tcp.cfg"));
    EXPECT_EQ(ini.ReadString("common", "host", ""), "device.local");
    EXPECT_EQ(ini.ReadInteger("COMMON", "port", 0), 1234);
    EXPECT_TRUE(ini.SectionExists("cOmMoN"));
    EXPECT_TRUE(ini.ValueExists("common", "Port"));

    // Rewriting a key keeps its spelling and its section; no duplicate appears.
    ASSERT_TRUE(ini.WriteInteger("common", "port", 1000));
    EXPECT_EQ(Settings.ReadFile("tcp.cfg"), "[Common]\r\nHost = device.local \r\nPORT=1000\r\n");
}

TEST_F(IniFileTest, WritesKeepOtherSectionsCommentsAndOrder) {
    Settings.WriteFile("udp.cfg", "; kept\n[a]\nx=1\n\n[b]\ny=2\n");
    TIniFile ini(Settings.Path("udp.cfg"));
    ASSERT_TRUE(ini.WriteString("A", "z", "3"));
    ASSERT_TRUE(ini.WriteString("c", "w", "4"));
    EXPECT_EQ(Settings.ReadFile("udp.cfg"), "; kept\n[a]\nx=1\nz=3\n\n[b]\ny=2\n\n[c]\nw=4\n");
    ini.EraseSection("B");
    EXPECT_FALSE(ini.SectionExists("b"));
    EXPECT_EQ(ini.ReadString("a", "z", ""), "3");
    EXPECT_EQ(ini.ReadString("c", "w", ""), "4");
}

TEST_F(IniFileTest, IntegersAcceptHexAndFallBackOnGarbage) {
    Settings.WriteFile("can.cfg", "[common]\na=$1F\nb=0x10\nc=-7\nd=12abc\ne=99999999999\nf=\n");
    TIniFile ini(Settings.Path("can.cfg"));
    EXPECT_EQ(ini.ReadInteger("common", "a", 0), 31);
    EXPECT_EQ(ini.ReadInteger("common", "b", 0), 16);
    EXPECT_EQ(ini.ReadInteger("common", "c", 0), -7);
    EXPECT_EQ(ini.ReadInteger("common", "d", 5), 5);
    EXPECT_EQ(ini.ReadInteger("common", "e", 5), 5);
    EXPECT_EQ(ini.ReadInteger("common", "f", 5), 5);
}

TEST_F(IniFileTest, ValuesCannotBreakTheLineStructure) {
    TIniFile ini(Settings.Path("x.cfg"));
    ASSERT_TRUE(ini.WriteString("common", "host", "evil\n[common]\nport=1"));
    EXPECT_EQ(ini.ReadString("common", "host", ""), "evil [common] port=1");
    EXPECT_FALSE(ini.ValueExists("common", "port"));
}

TEST_F(IniFileTest, CorruptOrUnreadableFilesReadAsEmpty) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 37) & 0xFF));
    Settings.WriteFile("bad.cfg", garbage);
    TIniFile bad(Settings.Path("bad.cfg"));
    EXPECT_EQ(bad.ReadInteger("common", "baudrate", 9600), 9600);
    EXPECT_TRUE(bad.WriteInteger("common", "baudrate", 4800));
    EXPECT_EQ(bad.ReadInteger("common", "baudrate", 9600), 4800);

    // A folder where the file should be cannot be read or written, and nothing throws.
    QDir(Settings.Folder()).mkdir("dir.cfg");
    TIniFile dir(Settings.Path("dir.cfg"));
    EXPECT_EQ(dir.ReadString("common", "host", "d"), "d");
    EXPECT_FALSE(dir.WriteString("common", "host", "x"));

    if (geteuid() != 0) {
        Settings.WriteFile("locked.cfg", "[common]\nport=5\n");
        QFile::setPermissions(Settings.Path("locked.cfg"), QFileDevice::WriteOwner);
        TIniFile locked(Settings.Path("locked.cfg"));
        EXPECT_EQ(locked.ReadInteger("common", "port", 1000), 1000);
        // Not readable means its content would be lost by a rewrite: refuse.
        EXPECT_FALSE(locked.WriteInteger("common", "other", 1));
        QFile::setPermissions(Settings.Path("locked.cfg"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_EQ(locked.ReadInteger("common", "port", 0), 5);
    }
}

TEST_F(IniFileTest, UnwritableFolderReportsFailedWritesWithoutThrowing) {
    // A folder below a plain file can be written by nobody, root included.
    Settings.WriteFile("plain", "x");
    TIniFile fresh(Settings.Path("plain") + "/udp.cfg");
    EXPECT_FALSE(fresh.WriteInteger("common", "port", 2));
    EXPECT_EQ(fresh.ReadInteger("common", "port", 7), 7);

    if (geteuid() == 0)
        return; // root ignores folder permissions
    Settings.WriteFile("tcp.cfg", "[common]\nport=1\n");
    QFile::setPermissions(Settings.Folder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    TIniFile existing(Settings.Path("tcp.cfg"));
    // A writable file in a read-only folder is still updated in place.
    EXPECT_TRUE(existing.WriteInteger("common", "port", 2));
    EXPECT_EQ(existing.ReadInteger("common", "port", 0), 2);
    QFile::setPermissions(Settings.Folder(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(IniFileFolder, DefaultsToTheProgramFolder) {
    TIniFile::SetSettingsFolder(QString());
    EXPECT_EQ(TIniFile::SettingsFolder(), QCoreApplication::applicationDirPath());
    EXPECT_EQ(TIniFile::PathFor("uart.cfg"), QCoreApplication::applicationDirPath() + "/uart.cfg");
}

TEST_F(IniFileTest, WritesNeverLoseWhatTheFileHeld) {
    // A settings file saved by a Windows editor: code page 1252, not UTF-8.
    const QByteArray ansi("; Gr\xFC\xDF" "e aus M\xFCnchen \x80\r\n[common]\r\nhost=M\xFCller-PC\r\n");
    const QByteArray utf8("; Gr\xC3\xBC\xC3\x9F" "e\n[common]\nhost=x\n");
    const struct {
        QByteArray Before;
        QString Host;       // as read
        QByteArray After;   // after writing port=5
    } rows[] = {
        {ansi, QStringLiteral("M\u00FCller-PC"),
         "; Gr\xFC\xDF" "e aus M\xFCnchen \x80\r\n[common]\r\nhost=M\xFCller-PC\r\nport=5\r\n"},
        {utf8, QStringLiteral("x"), utf8 + "port=5\n"},
    };
    for (const auto& row : rows) {
        Settings.WriteFile("mixed.cfg", row.Before);
        TIniFile ini(Settings.Path("mixed.cfg"));
        EXPECT_EQ(ini.ReadString("common", "host", ""), row.Host);
        ASSERT_TRUE(ini.WriteInteger("common", "port", 5));
        EXPECT_EQ(Settings.ReadFile("mixed.cfg"), row.After);
        // A value the old encoding can carry stays in it.
        ASSERT_TRUE(ini.WriteString("common", "host", QStringLiteral("K\u00F6ln")));
        EXPECT_EQ(ini.ReadString("common", "host", ""), QStringLiteral("K\u00F6ln"));
    }

    // A file too large to be a settings file reads as empty and is never rewritten.
    QByteArray huge("[common]\nport=1\n");
    huge += QByteArray(5 * 1024 * 1024, ';') + "\n";
    Settings.WriteFile("huge.cfg", huge);
    TIniFile big(Settings.Path("huge.cfg"));
    EXPECT_EQ(big.ReadInteger("common", "port", 7), 7);
    EXPECT_FALSE(big.WriteInteger("common", "port", 2));
    big.EraseSection("common");
    EXPECT_EQ(Settings.ReadFile("huge.cfg"), huge);
}

TEST_F(IniFileTest, RewritesKeepEachLineEndingAndTheByteOrderMark) {
    // A file edited on another system stays byte-identical apart from the changed key.
    const QByteArray bom("\xEF\xBB\xBF");
    const struct {
        QByteArray Before;
        const char* Section;
        const char* Key;
        const char* Value;
        QByteArray After;
    } rows[] = {
        {bom + "[common]\r\nhost = a \r\nport=1\r\n", "common", "host", "b",
         bom + "[common]\r\nhost = b \r\nport=1\r\n"},
        {"[common]\nport=1\r\n; no ending", "common", "port", "2", "[common]\nport=2\r\n; no ending"},
        {"[common]\r\nport=1", "common", "x", "3", "[common]\r\nport=1\r\nx=3\r\n"},
        {bom + "[a]\r\nk=1\r\n", "b", "y", "2", bom + "[a]\r\nk=1\r\n\r\n[b]\r\ny=2\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Before.toStdString());
        Settings.WriteFile("settings.ini", row.Before);
        TIniFile ini(Settings.Path("settings.ini"));
        ASSERT_TRUE(ini.WriteString(row.Section, row.Key, row.Value));
        EXPECT_EQ(Settings.ReadFile("settings.ini"), row.After);
        EXPECT_EQ(ini.ReadString(row.Section, row.Key, ""), row.Value); // the mark is no part of a name
    }
}

TEST_F(IniFileTest, AFifoIsNeverOpenedAndProblemsAreReportedOnce) {
    QStringList reports;
    const auto previous = TIniFile::SetReportHandler([&](const QString& Text) { reports << Text; });
    struct TRestore {
        TIniFile::TReportHandler H;
        ~TRestore() { TIniFile::SetReportHandler(std::move(H)); }
    } restore{previous};

    // Opening a FIFO for reading would wait for a writer forever.
    ASSERT_EQ(mkfifo(Settings.Path("settings.ini").toLocal8Bit().constData(), 0600), 0);
    TIniFile fifo(Settings.Path("settings.ini"));
    EXPECT_EQ(fifo.ReadInteger("Common", "x", 7), 7);
    EXPECT_FALSE(fifo.WriteInteger("Common", "x", 1));
    EXPECT_FALSE(fifo.WriteInteger("Common", "x", 2));
    EXPECT_TRUE(QFileInfo(Settings.Path("settings.ini")).exists());

    QByteArray huge("[common]\nport=1\n");
    huge += QByteArray(5 * 1024 * 1024, ';') + "\n";
    Settings.WriteFile("huge.cfg", huge);
    TIniFile big(Settings.Path("huge.cfg"));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(big.WriteInteger("common", "port", i));

    Settings.WriteFile("plain", "x");
    TIniFile nowhere(Settings.Path("plain") + "/udp.cfg");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(nowhere.WriteInteger("common", "port", i));

    ASSERT_EQ(reports.size(), 3) << reports.join("\n").toStdString();
    EXPECT_TRUE(reports[0].contains("settings.ini") && reports[0].contains("not a regular file"));
    EXPECT_TRUE(reports[1].contains("huge.cfg") && reports[1].contains("larger than"));
    EXPECT_TRUE(reports[2].contains("plain") && reports[2].contains("cannot be written"));
}
