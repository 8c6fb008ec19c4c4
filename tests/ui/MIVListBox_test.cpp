#include "ui/MIVListBox.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <numeric>

namespace {
struct TShownList {
    TMIVListBox L;
    explicit TShownList(const QStringList& Items, std::vector<int> Widths = {100, 100, 100}) {
        const char* captions[] = {"Name", "Value", "Note", "More"};
        for (size_t i = 0; i < Widths.size(); ++i)
            L.AddSection(captions[i], Widths[i]);
        L.SetItems(Items);
        // The header is one pixel wider than the sections, which start at x = 1.
        L.resize(std::accumulate(Widths.begin(), Widths.end(), 0) + 2 * L.frameWidth() + 1, 200);
        L.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&L));
    }
    QPoint HeaderPoint(int X) const { return {X, L.Header()->height() / 2}; }
    void ClickSection(int S) {
        const int x = L.Header()->SectionLeft(S) + L.Section(S).Width / 2;
        QTest::mouseClick(L.Header(), Qt::LeftButton, {}, HeaderPoint(x));
    }
    int RightEdge(int S) const { return L.Header()->SectionLeft(S + 1); }
    std::vector<int> Widths() {
        std::vector<int> w;
        for (int i = 0; i < L.SectionCount(); ++i)
            w.push_back(L.Section(i).Width);
        return w;
    }
    QRect RowRect(int Row) const { return L.List()->visualItemRect(L.List()->item(Row)); }
};
} // namespace

TEST(MIVListBox, HeaderClicksSortAscendingDescendingThenLeaveTheOrder) {
    TShownList t({"b;2", "a;10", "c;"}, {100, 100});
    t.L.List()->setCurrentRow(0); // "b;2" is selected and stays with its row
    struct {
        int Section;
        QStringList Order;
        TMIVSortState State;
    } steps[] = {
        {1, {"c;", "b;2", "a;10"}, {1, true}},  {1, {"a;10", "b;2", "c;"}, {1, false}},
        {1, {"a;10", "b;2", "c;"}, {-1, true}}, {0, {"a;10", "b;2", "c;"}, {0, true}},
        {0, {"c;", "b;2", "a;10"}, {0, false}},
    };
    for (const auto& s : steps) {
        t.ClickSection(s.Section);
        EXPECT_EQ(t.L.Items(), s.Order);
        EXPECT_EQ(t.L.SortState(), s.State);
        ASSERT_NE(t.L.List()->currentItem(), nullptr);
        EXPECT_EQ(t.L.List()->currentItem()->text(), "b;2");
        EXPECT_TRUE(t.L.List()->currentItem()->isSelected());
    }

    // The sorted section is tinted, the others have the button face.
    t.L.Header()->SetSortColor(QColor(255, 255, 200));
    const QImage header = t.L.Header()->grab().toImage();
    EXPECT_EQ(header.pixelColor(t.L.Header()->SectionLeft(0) + 2, 3), QColor(255, 255, 200));
    EXPECT_EQ(header.pixelColor(t.L.Header()->SectionLeft(1) + 2, 3),
              t.L.Header()->palette().button().color());

    t.L.Section(1).SortEnabled = false;
    t.ClickSection(1);
    EXPECT_EQ(t.L.SortState(), (TMIVSortState{0, false}));
    EXPECT_EQ(t.L.Items(), (QStringList{"c;", "b;2", "a;10"}));
}

TEST(MIVListBox, DraggingADividerResizesWithoutSortingAndTheLastSectionFillsTheHeader) {
    TShownList t({"alpha;1;x", "a much longer name;2;y"});
    EXPECT_EQ(t.Widths(), (std::vector<int>{100, 100, 100}));
    int resizes = 0;
    t.L.OnHeaderSectionResize = [&](TMIVListBox*, int Section) {
        EXPECT_EQ(Section, 0);
        ++resizes;
    };

    // One drag to the right as far as the others allow, then back to where it started: the
    // sections the drag narrowed regain their widths.
    const int start = t.RightEdge(0) - 3;
    QTest::mousePress(t.L.Header(), Qt::LeftButton, {}, t.HeaderPoint(start));
    EXPECT_EQ(t.L.Header()->cursor().shape(), Qt::SplitHCursor);
    QTest::mouseMove(t.L.Header(), t.HeaderPoint(start + 30));
    EXPECT_EQ(t.Widths(), (std::vector<int>{130, 70, 100}));
    QTest::mouseMove(t.L.Header(), t.HeaderPoint(start + 200));
    EXPECT_EQ(t.Widths(), (std::vector<int>{260, 20, 20}));
    QTest::mouseMove(t.L.Header(), t.HeaderPoint(start));
    EXPECT_EQ(t.Widths(), (std::vector<int>{100, 100, 100}));
    QTest::mouseRelease(t.L.Header(), Qt::LeftButton, {}, t.HeaderPoint(start));
    EXPECT_EQ(resizes, 3);
    EXPECT_EQ(t.L.SortState().Section, -1) << "releasing a drag is no sort click";

    // The last section's edge is no divider: pressing there sorts instead.
    QTest::mouseClick(t.L.Header(), Qt::LeftButton, {}, t.HeaderPoint(t.RightEdge(2) - 2));
    EXPECT_EQ(t.L.SortState(), (TMIVSortState{2, true}));
    EXPECT_EQ(t.Widths(), (std::vector<int>{100, 100, 100}));
}

TEST(MIVListBox, DoubleClickOnADividerFitsTheColumnToItsWidestText) {
    TShownList t({"alpha;1", "a much longer name than fits;2", "b;3"}, {60, 200});
    const auto doubleClick = [&](int X) {
        QTest::mouseClick(t.L.Header(), Qt::LeftButton, {}, t.HeaderPoint(X));
        QTest::mouseDClick(t.L.Header(), Qt::LeftButton, {}, t.HeaderPoint(X));
        QTest::mouseRelease(t.L.Header(), Qt::LeftButton, {}, t.HeaderPoint(X));
    };
    const QFontMetrics fm = t.L.List()->fontMetrics();
    const int fit = fm.horizontalAdvance("a much longer name than fits") + 10;
    doubleClick(t.RightEdge(0) - 4);
    EXPECT_EQ(t.Widths(), (std::vector<int>{fit, 260 - fit}));
    EXPECT_EQ(t.L.SortState().Section, -1);

    // The last section is never fitted (the first click there sorts); an empty list fits nothing.
    doubleClick(t.RightEdge(1) - 1);
    EXPECT_EQ(t.Widths(), (std::vector<int>{fit, 260 - fit}));
    t.L.Clear();
    t.L.FitColumn(0);
    EXPECT_EQ(t.Widths(), (std::vector<int>{fit, 260 - fit}));
}

TEST(MIVListBox, CheckBoxColumnTogglesByClickAndSpaceAndSortsCheckedFirst) {
    TShownList t({"one;1", "two;2", "three;3"}, {100, 100});
    t.L.SetCheckBoxColumn(0);
    t.L.List()->SetCheckState(2, TCheckBoxState::Grayed);
    std::vector<std::pair<int, TCheckBoxState>> clicks;
    int selects = 0;
    t.L.OnCheckBoxClick = [&](TMIVListBox*, int Row, TCheckBoxState S) { clicks.emplace_back(Row, S); };
    t.L.OnSelect = [&](TMIVListBox*) { ++selects; };

    const QPoint box1 = t.L.Painter().CheckBoxRect(t.L.Painter().CellRect(t.RowRect(1), 0)).center();
    QTest::mouseClick(t.L.List()->viewport(), Qt::LeftButton, {}, box1);
    EXPECT_TRUE(t.L.Checked(1));
    QTest::mouseClick(t.L.List()->viewport(), Qt::LeftButton, {},
                      t.L.Painter().CellRect(t.RowRect(1), 1).center());
    EXPECT_TRUE(t.L.Checked(1)) << "a click beside the box only selects";
    EXPECT_EQ(selects, 2);

    // Keyboard: arrows move the selection, Space toggles the selected row; grayed stays grayed.
    t.L.List()->setFocus();
    QTest::keyClick(t.L.List(), Qt::Key_Up);
    EXPECT_EQ(t.L.ItemIndex(), 0);
    QTest::keyClick(t.L.List(), Qt::Key_Space);
    QTest::keyClick(t.L.List(), Qt::Key_Down);
    QTest::keyClick(t.L.List(), Qt::Key_Space);
    QTest::keyClick(t.L.List(), Qt::Key_Down);
    QTest::keyClick(t.L.List(), Qt::Key_Space);
    EXPECT_EQ(t.L.ItemIndex(), 2);
    EXPECT_EQ(clicks, (std::vector<std::pair<int, TCheckBoxState>>{{1, TCheckBoxState::Checked},
                                                                   {0, TCheckBoxState::Checked},
                                                                   {1, TCheckBoxState::Unchecked},
                                                                   {2, TCheckBoxState::Grayed}}));

    // Sorting by the check-box column: checked rows first; state moves with its row.
    t.ClickSection(0);
    EXPECT_EQ(t.L.Item(0), "one;1");
    EXPECT_EQ(t.L.List()->CheckState(0), TCheckBoxState::Checked);
    t.ClickSection(0);
    EXPECT_EQ(t.L.Item(2), "one;1");
    EXPECT_EQ(t.L.List()->CheckState(2), TCheckBoxState::Checked);
    const int grayed = t.L.Items().indexOf("three;3");
    EXPECT_EQ(t.L.List()->CheckState(grayed), TCheckBoxState::Grayed);
}

TEST(MIVListBox, RowsAlternateWithGridLinesAndColourBoxesWhereTheSectionIsWideEnough) {
    TShownList t({"a;x;", "b;y;", "c;z;"}, {60, 30, 23});
    t.L.Section(1).Kind = skColorBox;
    t.L.Section(2).Kind = skColorBox;
    t.L.List()->SetRowColor(1, QColor(0, 0, 255));
    const int h = t.L.Painter().RowHeight();
    QImage img(200, 3 * h, QImage::Format_RGB32);
    {
        QPainter p(&img);
        for (int row = 0; row < 3; ++row)
            t.L.Painter().DrawRow(p, QRect(0, row * h, 200, h), row, false, false);
    }
    const int mid = h / 2;
    EXPECT_EQ(img.pixelColor(55, mid), t.L.List()->palette().base().color()) << "even row";
    EXPECT_EQ(img.pixelColor(55, h + mid), QColor(223, 223, 223)) << "odd row";
    EXPECT_EQ(img.pixelColor(60, mid), QColor(187, 187, 187)) << "grid line at the cell's right edge";
    const int box = t.L.Header()->SectionLeft(1);
    EXPECT_EQ(img.pixelColor(box + 15, h + mid), QColor(0, 0, 255)) << "colour box of the coloured row";
    EXPECT_EQ(img.pixelColor(box + 7, h + mid), QColor(Qt::black)) << "its frame";
    EXPECT_EQ(img.pixelColor(box + 15, mid), t.L.List()->palette().base().color()) << "no colour, no box";
    const int narrow = t.L.Header()->SectionLeft(2);
    EXPECT_EQ(img.pixelColor(narrow + 11, h + mid), QColor(223, 223, 223)) << "23 pixels are too narrow";
}
