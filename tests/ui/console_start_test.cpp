// The console's own start: its application object (which reads the font configuration on a second
// thread while the display is connected), the main window built once the fonts are read, the first
// paint without any image format plug-in, and an orderly end. Runs with its own main, as the
// program does.
#include "ConsoleApplication.h"
#include "DeviceTagDialog.h"
#include "IniFile.h"
#include "ZELMainWin.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {
// The image format plug-ins mapped into this process.
QStringList ImagePluginsLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no /proc/self/maps)")};
    QStringList found;
    for (const QByteArray& line : maps.readAll().split('\n'))
        if (line.contains("/imageformats/"))
            found << QString::fromLocal8Bit(line.mid(line.indexOf('/')));
    found.removeDuplicates();
    return found;
}

class TPaintSeen : public QObject {
public:
    explicit TPaintSeen(QWidget* Window) : FWindow(Window) { qApp->installEventFilter(this); }
    bool eventFilter(QObject* O, QEvent* E) override {
        if (E->type() == QEvent::Paint && O->isWidgetType() && static_cast<QWidget*>(O)->window() == FWindow &&
            !Painted) {
            Painted = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }
    bool Painted = false;

private:
    QWidget* FWindow;
};
} // namespace

TEST(ConsoleStart, WindowPaintsWithTheWarmedFontsAndCloses) {
    QTemporaryDir settings;
    TIniFile::SetSettingsFolder(settings.path());
    InitConsoleApplication(*qApp);
    TConsoleApplication::WaitForFonts();
    EXPECT_FALSE(QFontDatabase::families().isEmpty());
    {
        TMainWin window;
        DeviceTagDlg = new TDeviceTagDlg(&window);
        TPaintSeen seen(&window);
        window.show();
        QTimer::singleShot(10000, qApp, &QCoreApplication::quit);
        QApplication::exec();
        EXPECT_TRUE(seen.Painted);
        EXPECT_EQ(window.windowTitle(), "ZEL Duruzadud 1.5.1");
        EXPECT_EQ(QApplication::applicationName(), "ZEL Duruzadud");
        EXPECT_FALSE(QApplication::windowIcon().isNull());
        EXPECT_EQ(window.imgGripper->pixmap().size(), QSize(64, 64));
        EXPECT_GT(window.lbPosition->fontMetrics().height(), 0);
        // Nothing on the way to the first picture needed an image format plug-in.
        EXPECT_EQ(ImagePluginsLoaded().join(QLatin1Char(' ')).toStdString(), "");
        // Quitting the loop above closed the window.
        window.show();
        // The menu bar's overflow arrow, left unread at start, is there when the menus no longer fit.
        QFont huge = window.MainMenu1->font();
        huge.setPixelSize(200);
        window.MainMenu1->setFont(huge);
        auto* overflow = window.MainMenu1->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button"));
        ASSERT_TRUE(overflow);
        QElapsedTimer waited;
        waited.start();
        while (!overflow->isVisible() && waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_TRUE(overflow->isVisible());
        EXPECT_FALSE(overflow->icon().pixmap(16).isNull());
        window.close();
    }
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TConsoleApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
