// The console's own start: its application object, the main window, the first paint and an
// orderly end. Runs with its own main, as the program does.
#include "ui/ConsoleApplication.h"
#include "ui/DeviceTagDialog.h"
#include "platform/IniFile.h"
#include "WindowControls.h"
#include "ui/ZELMainWin.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
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

TEST(ConsoleStart, WindowPaintsAndCloses) {
    QTemporaryDir settings;
    TIniFile::SetSettingsFolder(settings.path());
    InitConsoleApplication(*qApp);
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
        EXPECT_EQ(Control<QLabel>(window, "imgGripper")->pixmap().size(), QSize(64, 64));
        EXPECT_GT(Control<QLabel>(window, "lbPosition")->fontMetrics().height(), 0);
    }
    EXPECT_TRUE(DeviceTagDlg.isNull()) << "the shared tag dialog went with its window";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TConsoleApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
