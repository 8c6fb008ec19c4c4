// The widget set: roll-up panel by mouse and keyboard, the line cap of the memo, the band's title.
#include "BandPanel.h"
#include "LineMemo.h"
#include "RollPanel.h"
#include "TestWait.h"
#include "WrapLabel.h"

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

// The remembered heights must always be what QLabel itself answers, also after every change that
// alters the measure.
TEST(WrapLabel, HeightsMatchQLabelThroughTextFontAndMarginChanges) {
    const QString text = QStringLiteral("Acknowledge the FAST STOP state of the device and return back to operating mode.");
    TWrapLabel cached(text);
    QLabel plain(text);
    plain.setWordWrap(true);
    EXPECT_TRUE(cached.wordWrap());
    const std::vector<std::pair<const char*, std::function<void(QLabel&)>>> steps{
        {"as built", [](QLabel&) {}},
        {"longer text", [](QLabel& L) { L.setText(L.text() + L.text()); }},
        {"larger font", [](QLabel& L) { QFont f = L.font(); f.setPointSize(f.pointSize() * 2); L.setFont(f); }},
        {"margin", [](QLabel& L) { L.setMargin(12); }},
        {"indent", [](QLabel& L) { L.setIndent(30); }},
        {"contents margins", [](QLabel& L) { L.setContentsMargins(20, 0, 20, 0); }},
        {"short text", [](QLabel& L) { L.setText(QStringLiteral("OK")); }},
    };
    for (const auto& [name, change] : steps) {
        change(cached);
        change(plain);
        for (int width : {40, 90, 160, 400, 2000, 90}) // 90 twice: the second answer is remembered
            EXPECT_EQ(cached.heightForWidth(width), plain.heightForWidth(width)) << name << " at " << width;
    }
}
