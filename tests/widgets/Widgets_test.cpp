// The widget set: roll-up panel by mouse and keyboard, the line cap of the memo, the band's title.
#include "widgets/BandPanel.h"
#include "widgets/LineMemo.h"
#include "platform/OnScreen.h"
#include "widgets/RollPanel.h"
#include "TestWait.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

TEST(RollPanel, CollapsesAndExpandsByMouseAndKeyboard) {
    TRollPanel panel("Gripper");
    panel.SetContent(new QLabel("Position: 12 mm"));
    panel.resize(200, 150);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    QSignalSpy changed(&panel, &TRollPanel::ExpandedChanged);

    QTest::mouseClick(panel.Header(), Qt::LeftButton);
    EXPECT_FALSE(panel.Expanded());
    EXPECT_TRUE(WaitUntil([&] { return !panel.Body()->isVisible(); }, 2000)) << "body stays after collapse";

    panel.Header()->setFocus();
    QTest::keyClick(panel.Header(), Qt::Key_Space);
    EXPECT_TRUE(panel.Expanded());
    EXPECT_TRUE(WaitUntil([&] { return panel.Body()->height() >= panel.Body()->sizeHint().height(); }, 2000))
        << "body does not open to its full height";
    EXPECT_EQ(panel.Body()->maximumHeight(), QWIDGETSIZE_MAX);
    EXPECT_EQ(changed.count(), 2);

    // Without animation (hidden panel, or on request) the change is immediate.
    panel.SetExpanded(false, false);
    EXPECT_FALSE(panel.Body()->isVisible());
    EXPECT_FALSE(panel.Header()->isChecked());
}

TEST(LineMemo, KeepsTheNewestLinesUpToItsCap) {
    TLineMemo memo(100);
    EXPECT_TRUE(memo.Lines().isEmpty());
    for (int i = 1; i <= 250; ++i)
        memo.AddLine(QString("Command MOVE finished: %1.").arg(i));
    const QStringList lines = memo.Lines();
    ASSERT_EQ(lines.size(), 100);
    EXPECT_EQ(lines.first(), "Command MOVE finished: 151.");
    EXPECT_EQ(lines.last(), "Command MOVE finished: 250.");
    EXPECT_TRUE(memo.isReadOnly());
}

TEST(BandPanel, BandIsTallEnoughForItsTitle) {
    TBandPanel panel("RELEASE  ", Qt::darkGreen);
    auto* content = panel.Content();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->parent(), &panel);
    EXPECT_EQ(panel.accessibleName(), "RELEASE");
    EXPECT_GE(panel.minimumSizeHint().height(), panel.fontMetrics().horizontalAdvance("RELEASE"));
}

// A window centred on the main window is moved, not resized, wholly onto the main window's screen.
TEST(OnScreen, CentredWindowsAreMovedOntoTheScreen) {
    const QRect screen(0, 0, 1280, 1024);
    struct Row {
        QRect In, Out;
    };
    const Row rows[] = {
        {{100, 100, 400, 300}, {100, 100, 400, 300}},   // inside: unchanged
        {{-150, 200, 400, 300}, {0, 200, 400, 300}},    // past the left edge (main window at the edge)
        {{1100, 900, 400, 300}, {880, 724, 400, 300}},  // past the right and bottom edges
        {{-10, -10, 1400, 1100}, {0, 0, 1400, 1100}},   // larger than the screen: top-left shows
    };
    for (const Row& r : rows)
        EXPECT_EQ(MoveIntoArea(r.In, screen), r.Out) << r.In.x() << "," << r.In.y();
}
