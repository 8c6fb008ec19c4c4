// gtest main for test binaries that need Qt's event loop but no widgets: what a program on the
// device library has.
#include "platform/QtDebugSink.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zel-tests"));
    RouteDebugOutToQt();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
