// gtest main for test binaries with widgets: a QApplication with the console's link dialogs and
// message box installed, as the console installs them.
#include "linkdialogs/LinkDialogs.h"
#include "platform/MessageBox.h"
#include "platform/QtDebugSink.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Test discovery runs the binary outside CTest's environment; never ask for a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zel-tests"));
    RouteDebugOutToQt();
    InstallLinkDialogs();
    SetMessageHook(MessageBoxHook());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
