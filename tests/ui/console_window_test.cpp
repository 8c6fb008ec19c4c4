// The window frame without a device peer: the placement value, the refusal to build a window
// without a device, the layout at every size, the keyboard order and the frame's menus.
#include "platform/IniFile.h"
#include "ui/MainFormBaseClass.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "ui/WindowPlacement.h"
#include "widgets/RollPanel.h"
#include "TestWait.h"
#include "ui/GripperResults.h"
#include "WindowControls.h"
#include "ui/ZELMainWin.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
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
        EXPECT_EQ(w.size(), TMainWin::FitOnScreen(QSize(820, 797), w.screen()->availableGeometry()))
            << "a malformed value leaves the window's own size";
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

namespace {
// What an operator reads or works: buttons, labels, edits, lists, track bars, the results memo.
bool IsControl(const QWidget* W) {
    return qobject_cast<const QAbstractButton*>(W) || qobject_cast<const QLabel*>(W) ||
           qobject_cast<const QLineEdit*>(W) || qobject_cast<const QComboBox*>(W) ||
           (qobject_cast<const QAbstractSlider*>(W) && !qobject_cast<const QScrollBar*>(W)) ||
           qobject_cast<const QPlainTextEdit*>(W);
}

// The part of W that can be seen, in window coordinates: clipped by every ancestor.
QRect VisibleRect(const QWidget* W) {
    QRect r(W->mapTo(W->window(), QPoint(0, 0)), W->size());
    for (const QWidget* p = W->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        r &= QRect(p->mapTo(p->window(), QPoint(0, 0)), p->size());
    return r;
}

// The controls of the window's central area that are visible and not part of another control.
std::vector<QWidget*> Controls(QMainWindow& W) {
    std::vector<QWidget*> found;
    for (QWidget* w : W.centralWidget()->findChildren<QWidget*>()) {
        if (!IsControl(w) || !w->isVisible())
            continue;
        bool inner = false;
        for (QWidget* p = w->parentWidget(); p && !inner; p = p->parentWidget())
            inner = IsControl(p);
        if (!inner)
            found.push_back(w);
    }
    return found;
}

QString Describe(const QWidget* W) {
    const QString name = W->objectName().isEmpty() ? QString::fromLatin1(W->metaObject()->className())
                                                   : W->objectName();
    if (auto* l = qobject_cast<const QLabel*>(W))
        return name + " \"" + l->text().left(20) + '"';
    if (auto* b = qobject_cast<const QAbstractButton*>(W))
        return name + " \"" + b->text() + '"';
    return name;
}
} // namespace

// At every size the controls keep at least their minimum size and never overlap; what does not fit
// scrolls vertically, never sideways, so the command buttons stay in view. With ZEL_SCREENSHOT_DIR
// set, the window is saved at each size and in a dark palette, to be looked at.
TEST_F(Placement, EverySizeKeepsControlsApartAndWhole) {
    TRecordingErrorHandler errors;
    const QString pictures = qEnvironmentVariable("ZEL_SCREENSHOT_DIR");
    TMainWin w;
    w.show();
    auto* sbCommands = Control<QScrollArea>(w, "sbCommands");
    auto* sbState = Control<QScrollArea>(w, "sbState");
    auto* btnEmergencyStop = Control<QPushButton>(w, "btnEmergencyStop");
    TRollPanel* RollPanel2 = &w.Results();
    for (const QSize size : {QSize(820, 797), QSize(820, 600), QSize(560, 797), QSize(300, 480)}) {
        w.resize(size);
        ProcessEventsFor(50);
        // A slow run (sanitizers, a loaded machine) may need more passes before the layout settles.
        for (int i = 0; i < 40 && (w.Stacked() != (size.width() < 400) ||
                                   sbCommands->horizontalScrollBar()->isVisible() ||
                                   sbState->horizontalScrollBar()->isVisible());
             ++i)
            ProcessEventsFor(50);
        const std::string at = std::to_string(size.width()) + "x" + std::to_string(size.height());
        if (!pictures.isEmpty())
            w.grab().save(pictures + "/console-" + QString::fromStdString(at) + ".png");
        EXPECT_EQ(w.size(), size) << at;
        EXPECT_FALSE(sbCommands->horizontalScrollBar()->isVisible()) << at;
        EXPECT_FALSE(sbState->horizontalScrollBar()->isVisible()) << at;
        EXPECT_TRUE(btnEmergencyStop->isVisible() && !VisibleRect(btnEmergencyStop).isEmpty()) << at;
        EXPECT_EQ(w.Stacked(), size.width() < 400) << at;
        const std::vector<QWidget*> controls = Controls(w);
        for (QWidget* c : controls) {
            const QSize least = c->minimumSizeHint().expandedTo(c->minimumSize());
            const QSizePolicy policy = c->sizePolicy();
            if (policy.horizontalPolicy() != QSizePolicy::Ignored) {
                EXPECT_GE(c->width(), least.width()) << at << " " << Describe(c).toStdString();
            }
            if (policy.verticalPolicy() != QSizePolicy::Ignored) {
                EXPECT_GE(c->height(), least.height()) << at << " " << Describe(c).toStdString();
            }
        }
        for (size_t i = 0; i < controls.size(); ++i)
            for (size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(VisibleRect(controls[i]).intersects(VisibleRect(controls[j])))
                    << at << " " << Describe(controls[i]).toStdString() << " overlaps "
                    << Describe(controls[j]).toStdString();
    }

    // A collapsed results panel gives its room back to the commands, and takes it again.
    w.resize(820, 797);
    ProcessEventsFor(50);
    const int commands = sbCommands->height();
    RollPanel2->SetExpanded(false, false);
    ProcessEventsFor(50);
    EXPECT_LE(RollPanel2->height(), RollPanel2->Header()->height() + 4);
    EXPECT_GT(sbCommands->height(), commands);
    RollPanel2->SetExpanded(true, false);
    ProcessEventsFor(50);
    EXPECT_EQ(sbCommands->height(), commands);
    if (!pictures.isEmpty()) {
        const QPalette light = QApplication::palette();
        QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2a, 0x2a, 0x2a));
        dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
        dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
        dark.setColor(QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0));
        QApplication::setPalette(dark);
        ProcessEventsFor(50);
        w.grab().save(pictures + "/console-dark.png");
        QApplication::setPalette(light);
    }
    EXPECT_EQ(errors.Count(), 0);
}

TEST(MainWindowFrame, DefaultSizeFitsTheScreen) {
    struct Row {
        QRect Available;
        QSize Expected;
    };
    const Row rows[] = {
        {{0, 0, 1280, 1024}, {820, 797}}, // fits: the window's own default
        {{0, 0, 1366, 738}, {820, 698}},  // a 768 px screen less its panel
        {{0, 0, 640, 480}, {624, 480}},   // never below the minimum
    };
    for (const Row& r : rows)
        EXPECT_EQ(TMainWin::FitOnScreen(QSize(820, 797), r.Available), r.Expected) << r.Available.height();
}

// Tab runs through the window as it reads: the command column top to bottom, the results, then
// the state column; every stop is a visible control that shows focus.
TEST_F(Placement, TabOrderFollowsTheWindow) {
    TMainWin w;
    w.show();
    QApplication::setActiveWindow(&w);
    w.EnableControls(true);
    Control<QPushButton>(w, "btnFastStopAcknowledge")->setEnabled(true);
    const QStringList expected{"btnAcc", "btnForce",
        "edGotoPos", "tbGotoPos", "edGotoSpeed", "tbGotoSpeed", "btnMove",
        "edGraspingPos", "tbGraspingPos", "edGraspingSpeed", "tbGraspingSpeed", "btnGrasp",
        "edReleasePos", "tbReleasePos", "edReleaseSpeed", "tbReleaseSpeed", "btnRelease",
        "cbHomingDir", "btnHoming", "btnStop", "btnFastStopAcknowledge",
        "RollPanel2", "LogMemo", "RollPanel3", "RollPanel1", "btnEmergencyStop", "lbWebSite"};
    QStringList seen;
    QWidget* btnAcc = Control<QPushButton>(w, "btnAcc");
    btnAcc->setFocus(Qt::TabFocusReason);
    for (QWidget* f = btnAcc; seen.size() < expected.size(); f = f->nextInFocusChain()) {
        if (!(f->focusPolicy() & Qt::TabFocus) || !f->isVisible() || !f->isEnabled() || f->window() != &w)
            continue;
        // A roll panel's header stands for its panel.
        const bool header = f->objectName() == "RollHeader";
        seen << (header ? f->parentWidget()->objectName() : f->objectName());
    }
    EXPECT_EQ(seen.join(' ').toStdString(), expected.join(' ').toStdString());
}

// Tests, automation and the accessibility tree reach the window's controls by their object names:
// each name stands for one control of the window.
TEST_F(Placement, EachControlNameStandsForOneControl) {
    TMainWin w;
    const char* names[] = {
        "btnAcc", "lbAcc", "btnForce", "lbForce", "btnMove", "edGotoPos", "tbGotoPos", "edGotoSpeed",
        "tbGotoSpeed", "btnGrasp", "edGraspingPos", "tbGraspingPos", "edGraspingSpeed", "tbGraspingSpeed",
        "btnRelease", "edReleasePos", "tbReleasePos", "edReleaseSpeed", "tbReleaseSpeed", "cbHomingDir",
        "btnHoming", "btnStop", "btnFastStopAcknowledge", "sbCommands", "RollPanel2", "LogMemo",
        "StateColumn", "sbState", "RollPanel3", "lbPosition", "lbGraspingState", "lbGraspingForce",
        "RollPanel1", "lbSystemstate", "pnEmergency", "btnEmergencyStop", "imgGripper", "lbWebSite",
        "lbConnection", "miDevice", "miConnect", "miDisconnect", "miExit", "miCommands", "miDeviceTag",
        "miGetSystemInfo", "miGetTemperature", "miCustomCommands", "miView", "miCommandLog", "miLivePlot",
        "miZEL", "miSystemLimits", "miGraspingStatistics", "miHelp", "miAbout"};
    for (const char* name : names)
        EXPECT_EQ(w.findChildren<QObject*>(QString::fromLatin1(name)).size(), 1) << name;
}

// Exit (Ctrl+Q) closes the window; About names the program, its version, Qt's version and the licence.
TEST_F(Placement, ExitAndAbout) {
    TMessageRecorder messages;
    TMainWin w;
    w.show();
    auto* miExit = Control<QAction>(w, "miExit");
    EXPECT_EQ(Control<QMenu>(w, "miDevice")->actions().last(), miExit);
    EXPECT_EQ(miExit->text(), "E&xit");
    EXPECT_EQ(miExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(w.menuBar()->actions().last(), Control<QMenu>(w, "miHelp")->menuAction()) << "Help is the last menu";
    Control<QAction>(w, "miAbout")->trigger();
    ASSERT_EQ(messages.Count(), 1);
    const QString about = messages.Texts().front();
    for (const QString& part : {QStringLiteral("ZEL Duruzadud 1.5.1"), QString::fromLatin1(qVersion()),
                                TMainWinBase::LicenceLine})
        EXPECT_TRUE(about.contains(part)) << about.toStdString();
    auto* lbConnection = Control<QLabel>(w, "lbConnection");
    EXPECT_EQ(lbConnection->text(), "Disconnected");
    EXPECT_TRUE(w.statusBar()->isAncestorOf(lbConnection));
    miExit->trigger();
    EXPECT_FALSE(w.isVisible());
}
