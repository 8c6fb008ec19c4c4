#include "ui/DeviceTagDialog.h"
#include "widgets/FloatEdit.h"
#include "ui/FloatEditDialog.h"
#include "ui/ListBoxDialog.h"
#include "ui/MIVListBox.h"
#include "ModalDriver.h"
#include "TestWait.h"
#include "WindowControls.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {
void TypeInto(QLineEdit* E, const QString& Text) {
    E->setFocus();
    E->selectAll();
    QTest::keyClicks(E, Text);
}

// Pixel position of a header section's middle.
QPoint SectionMiddle(TMIVListBox* L, int Section) {
    return {L->Header()->SectionLeft(Section) + L->Section(Section).Width / 2, L->Header()->height() / 2};
}
} // namespace

TEST(FloatEditDlg, EditMovesTheTrackBarWithHalvesToEven) {
    struct {
        double Min, Max, Value;
        int Position;
    } rows[] = {
        {2, 65, 33.5, 100}, {2, 65, 2, 0},  {2, 65, 65, 200}, {2, 65, 10, 25},
        {0, 400, 5, 2},     {0, 400, 7, 4}, {0, 400, 3, 2},   {0, 0, 5, 0}, // no range
    };
    TFloatEditDlg d;
    auto* tb = Control<QSlider>(d, "tb");
    EXPECT_EQ(tb->value(), 152) << "the design value 50";
    for (const auto& r : rows) {
        d.SetUnit("N");
        d.SetMinValue(r.Min);
        d.SetMaxValue(r.Max);
        d.SetValue(r.Value);
        EXPECT_EQ(tb->value(), r.Position) << r.Value << " in " << r.Min << ".." << r.Max;
        EXPECT_DOUBLE_EQ(d.Value(), r.Value);
    }
    EXPECT_EQ(Control<QLabel>(d, "lbUnit")->text(), "N");

    d.SetMinValue(2);
    d.SetMaxValue(65);
    EXPECT_THROW(d.SetValue(70), EConvertError);
    try {
        d.Value();
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Edit field does not contain a valid number");
    }
}

TEST(FloatEditDlg, OperatorMovesTheTrackBarOrTypesAndClosesByKeyboard) {
    TFloatEditDlg d;
    d.setWindowTitle("Acceleration");
    d.SetUnit("mm/s²");
    d.SetMinValue(2);
    d.SetMaxValue(65);
    d.SetValue(20);
    TModalDriver driver;
    driver.ThenAs<TFloatEditDlg>([](TFloatEditDlg* D) {
        auto* tb = Control<QSlider>(*D, "tb");
        auto* ed = Control<TFloatEdit>(*D, "ed");
        // Activation of a new window is asynchronous; under load it can trail the first step.
        EXPECT_TRUE(WaitUntil([ed] { return QApplication::focusWidget() == ed; }, 2000));
        tb->setFocus();
        QTest::keyClick(tb, Qt::Key_Home);
        EXPECT_EQ(ed->text(), "2");
        for (int i = 0; i < 10; ++i)
            QTest::keyClick(tb, Qt::Key_PageUp);
        EXPECT_EQ(tb->value(), 100);
        EXPECT_EQ(ed->text(), "33.5");
        QTest::keyClick(tb, Qt::Key_Right); // 33.815 shown to one decimal
        EXPECT_EQ(ed->text(), "33.8");
        EXPECT_EQ(tb->value(), 101);

        // Typing moves the bar; an entry out of range leaves it.
        TypeInto(ed, "10");
        EXPECT_EQ(ed->text(), "10");
        EXPECT_EQ(tb->value(), 25);
        TypeInto(ed, "0.5");
        EXPECT_FALSE(ed->Valid());
        EXPECT_EQ(tb->value(), 25);

        // The wheel over the bar counts as the operator's input even without focus.
        TypeInto(ed, "2");
        QWheelEvent wheel(QPointF(5, 5), tb->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tb, &wheel);
        EXPECT_GT(tb->value(), 0);
        EXPECT_DOUBLE_EQ(ed->Value(), std::nearbyint((2 + tb->value() * 63 / 200.0) * 10) / 10);

        TypeInto(ed, "12.5");
        QTest::keyClick(ed, Qt::Key_Return);
    });
    driver.Then(TModalDriver::PressKey(Qt::Key_Escape));
    driver.Then([](QWidget* W) {
        // OK stays available with an invalid entry; reading the value then fails.
        auto* dlg = qobject_cast<TFloatEditDlg*>(W);
        TypeInto(Control<TFloatEdit>(*dlg, "ed"), "abc");
        Control<QPushButton>(*dlg, "btnOk")->click();
    });
    EXPECT_TRUE(d.Execute());
    EXPECT_DOUBLE_EQ(d.Value(), 12.5);
    EXPECT_FALSE(d.Execute());
    EXPECT_TRUE(d.Execute());
    EXPECT_THROW(d.Value(), std::runtime_error);
    EXPECT_TRUE(driver.Done());
    EXPECT_EQ(driver.Titles().value(0), "Acceleration");
}

TEST(DeviceTagDlg, ApplyOnlyAfterAnEditAndCloseReportsFalse) {
    TDeviceTagDlg d;
    EXPECT_EQ(d.windowTitle(), "Device Tag");
    TModalDriver driver;
    driver.ThenAs<TDeviceTagDlg>([](TDeviceTagDlg* D) {
        auto* ed = Control<QLineEdit>(*D, "ed");
        EXPECT_FALSE(Control<QPushButton>(*D, "btnApply")->isEnabled());
        EXPECT_EQ(ed->text(), "left finger");
        QTest::keyClick(ed, Qt::Key_Return);
        EXPECT_TRUE(D->isVisible()) << "Enter does nothing while Apply is disabled";
        Control<QPushButton>(*D, "btnClose")->click();
    });
    driver.ThenAs<TDeviceTagDlg>([](TDeviceTagDlg* D) {
        auto* ed = Control<QLineEdit>(*D, "ed");
        EXPECT_FALSE(Control<QPushButton>(*D, "btnApply")->isEnabled()) << "disabled again on every opening";
        QTest::keyClick(ed, Qt::Key_End);
        QTest::keyClicks(ed, " 2");
        EXPECT_TRUE(Control<QPushButton>(*D, "btnApply")->isEnabled());
        QTest::keyClick(ed, Qt::Key_Return);
    });
    driver.ThenAs<TDeviceTagDlg>([](TDeviceTagDlg* D) {
        auto* ed = Control<QLineEdit>(*D, "ed");
        TypeInto(ed, QString(70, u'x'));
        QTest::keyClick(ed, Qt::Key_Escape);
    });
    d.SetTag("left finger");
    EXPECT_FALSE(d.Execute());
    EXPECT_TRUE(d.Execute());
    EXPECT_EQ(d.GetTag(), "left finger 2");
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(d.GetTag(), QString(64, u'x')) << "no more than the device keeps";
    EXPECT_TRUE(driver.Done());
}

TEST(ListBoxDlg, RowsSplitIntoTwoColumnsAndHeaderClicksSort) {
    auto* d = new TListBoxDlg;
    auto* list = Control<TMIVListBox>(*d, "ListBox");
    d->setWindowTitle("Grasping Statistics");
    EXPECT_EQ(list->Count(), 0);
    EXPECT_FALSE(d->windowFlags() & Qt::WindowContextHelpButtonHint);
    d->AddRow("Stroke", "110 mm");
    d->AddRow("Total grasps", "12");
    d->AddRow("Lost parts", "3");
    d->AddRow("Failures", "");
    EXPECT_EQ(list->Cell(0, 0), "Stroke");
    EXPECT_EQ(list->Cell(0, 1), "110 mm");

    int refreshes = 0;
    d->SetRefreshHandler([&](TListBoxDlg* Sender) {
        ++refreshes;
        Sender->Clear();
        Sender->AddRow("Total grasps", "13");
        Sender->AddRow("Lost parts", "3");
    });
    TModalDriver driver;
    driver.ThenAs<TListBoxDlg>([&](TListBoxDlg* D) {
        TMIVListBox* L = Control<TMIVListBox>(*D, "ListBox");
        EXPECT_TRUE(Control<QPushButton>(*D, "btnRefresh")->isVisible());
        EXPECT_EQ(L->Section(0).Width, L->Painter().ContentWidth(0)) << "first column fitted on show";
        EXPECT_EQ(L->Section(0).Width + L->Section(1).Width, std::max(165 + 141, L->Header()->width() - 1));

        QTest::mouseClick(L->Header(), Qt::LeftButton, {}, SectionMiddle(L, 1));
        EXPECT_EQ(L->Items(), (QStringList{"Failures;", "Lost parts;3", "Total grasps;12", "Stroke;110 mm"}));
        QTest::mouseClick(L->Header(), Qt::LeftButton, {}, SectionMiddle(L, 0));
        QTest::mouseClick(L->Header(), Qt::LeftButton, {}, SectionMiddle(L, 0));
        EXPECT_EQ(L->Items(), (QStringList{"Total grasps;12", "Lost parts;3", "Failures;", "Stroke;110 mm"}));
        EXPECT_EQ(L->Header()->grab().toImage().pixelColor(L->Header()->SectionLeft(0) + 2, 3),
                  D->palette().color(QPalette::ToolTipBase));

        QTest::keyClick(Control<QPushButton>(*D, "btnRefresh"), Qt::Key_Space);
        EXPECT_EQ(L->Items(), (QStringList{"Total grasps;13", "Lost parts;3"}))
            << "refreshed rows keep the order";
        QTest::keyClick(L->List(), Qt::Key_Escape);
    });
    driver.ThenAs<TListBoxDlg>([](TListBoxDlg* D) {
        EXPECT_FALSE(Control<QPushButton>(*D, "btnRefresh")->isVisible());
        Control<QPushButton>(*D, "btnClose")->click();
    });
    d->ShowList();
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(Control<QPushButton>(*d, "btnRefresh")->isHidden());
    d->btnRefreshClick(); // the handler is gone
    EXPECT_EQ(refreshes, 1);
    d->ShowList();
    EXPECT_TRUE(driver.Done());
    delete d;
}

TEST(ListBoxDlg, OpensWiderWhenALongDescriptionWouldSqueezeTheValues) {
    TListBoxDlg d;
    d.AddRow("A description far longer than the first column's design width of the dialog", "110 mm");
    TModalDriver driver;
    driver.ThenAs<TListBoxDlg>([](TListBoxDlg* D) {
        TMIVListBox* L = Control<TMIVListBox>(*D, "ListBox");
        EXPECT_EQ(L->Section(0).Width, L->Painter().ContentWidth(0));
        EXPECT_GE(L->Section(1).Width, L->Painter().ContentWidth(1));
        D->reject();
    });
    d.ShowList();
    EXPECT_TRUE(driver.Done());
}
