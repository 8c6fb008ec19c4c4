// The window frame without a device peer: the placement value, the refusal to build a window
// without a device, and the console's style.
#include "ConsoleStyle.h"
#include "IniFile.h"
#include "MainFormBaseClass.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "WindowPlacement.h"
#include "ZELMainWin.h"

#include <QScreen>
#include <QStyleFactory>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {
class Placement : public SettingsFolderTest {};

class NoDeviceWindow : public TMainWinBase {
public:
    NoDeviceWindow() { FinishCreate(); }
};
} // namespace

TEST(PlacementValue, ParseAcceptsExactlySevenFieldsWithMarker200) {
    struct Row {
        const char* Text;
        bool Valid;
    };
    const Row rows[] = {
        {"200,0,1,10,20,830,817", true},    {"200,2,2,-5,0,100,600", true},
        {"201,0,1,10,20,830,817", false},   {"200,0,1,10,20,830", false},
        {"200,0,1,10,20,830,817,5", false}, {"", false},
        {"200,0,1,ten,20,830,817", false},  {"200,0,1,10,20,10,817", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TWindowPlacement::Parse(r.Text).has_value(), r.Valid) << r.Text;
    const auto p = TWindowPlacement::Parse("200,0,3,10,20,830,817");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Normal, QRect(10, 20, 820, 797));
    EXPECT_EQ(p->ShowCmd, TWindowPlacement::ShowMaximized);
    EXPECT_EQ(p->Format(), "200,0,3,10,20,830,817");
}

TEST(PlacementValue, RectangleIsMovedNotResizedOntoTheDesktop) {
    const QRect desk(0, 0, 1280, 1024);
    struct Row {
        QRect In, Out;
    };
    const Row rows[] = {
        {{100, 100, 820, 797}, {100, 100, 820, 797}}, // inside: unchanged
        {{900, 500, 820, 797}, {460, 227, 820, 797}}, // beyond right and bottom
        {{-300, -50, 820, 797}, {0, 0, 820, 797}},    // beyond left and top
        {{-10, 0, 1400, 797}, {0, 0, 1400, 797}},     // wider than the desktop: left edge wins
    };
    for (const Row& r : rows)
        EXPECT_EQ(TWindowPlacement::MoveOnto(r.In, desk), r.Out);
}

TEST_F(Placement, WrittenAtCloseReadBackAndMalformedIgnored) {
    TRecordingErrorHandler errors;
    {
        TMainWin w;
        w.setGeometry(40, 30, 600, 520);
        w.show();
        w.close();
    }
    const QString stored = TIniFile(Settings.Path("settings.ini")).ReadString("Common", "MainWin", "");
    ASSERT_TRUE(stored.startsWith("200,0,1,")) << stored.toStdString();
    const auto p = TWindowPlacement::Parse(stored);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Normal.size(), QSize(600, 520));
    {
        TMainWin w;
        EXPECT_EQ(w.size(), QSize(600, 520));
        EXPECT_EQ(w.geometry().topLeft(), p->Normal.topLeft());
    }
    // Far off the desktop: moved back on, size kept.
    TIniFile(Settings.Path("settings.ini")).WriteString("Common", "MainWin", "200,0,1,5000,4000,5600,4520");
    {
        TMainWin w;
        EXPECT_EQ(w.size(), QSize(600, 520));
        const QRect desk = w.screen()->availableVirtualGeometry();
        EXPECT_EQ(w.geometry().right(), desk.right());
        EXPECT_EQ(w.geometry().bottom(), desk.bottom());
    }
    TIniFile(Settings.Path("settings.ini")).WriteString("Common", "MainWin", "199,0,1,10,10,400,500");
    {
        TMainWin w;
        EXPECT_EQ(w.size(), QSize(820, 797)) << "a malformed value leaves the window's own size";
    }
    EXPECT_EQ(errors.Count(), 0);
}

TEST(MainWindowFrame, RefusesToBeBuiltWithoutADevice) {
    TRecordingErrorHandler errors;
    try {
        NoDeviceWindow w;
        ADD_FAILURE() << "built without a device";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(),
                     "KORADevice must be initialized when calling the main form's inherited create");
    }
}

// The console's style hands out the menu bar's overflow arrows unread; once asked for, they are the
// platform style's own pictures, and every other standard picture comes straight from it.
TEST(ConsoleStyle, OverflowArrowsAreTheBaseStylesPicturesReadOnFirstUse) {
    TConsoleStyle console;
    std::unique_ptr<QStyle> base(QStyleFactory::create(console.baseStyle()->name()));
    ASSERT_TRUE(base);
    for (QStyle::StandardPixmap p : {QStyle::SP_ToolBarHorizontalExtensionButton,
                                     QStyle::SP_ToolBarVerticalExtensionButton, QStyle::SP_DialogOkButton})
        for (int size : {8, 16, 32})
            EXPECT_EQ(console.standardIcon(p).pixmap(size).toImage(),
                      base->standardIcon(p).pixmap(size).toImage())
                << p << " " << size;
}
