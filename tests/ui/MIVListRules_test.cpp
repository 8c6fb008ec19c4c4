#include "ui/MIVListRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

TEST(MIVListRules, CellsSplitAtSemicolonsAndTheLastColumnTakesTheRest) {
    struct {
        const char* Line;
        int Column, Columns;
        const char* Cell;
    } rows[] = {
        {"Stroke;110 mm", 0, 2, "Stroke"},
        {"Stroke;110 mm", 1, 2, "110 mm"},
        {"a;b;c", 1, 2, "b;c"},
        {"a;b;c", 1, 3, "b"},
        {"a;b;c", 2, 3, "c"},
        {"a", 1, 2, ""},
        {"c;", 1, 2, ""},
        {"", 0, 2, ""},
        {";x", 0, 2, ""},
        {"a;b", 3, 5, ""},
        {"a;b", -1, 2, ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(MIVCellText(r.Line, r.Column, r.Columns), r.Cell) << r.Line << " column " << r.Column;
}

TEST(MIVListRules, ComparisonPutsEmptyThenNumbersByValueThenShortTextsFirst) {
    // Each row is in strict ascending order.
    const std::vector<std::pair<const char*, const char*>> less = {
        {"", "0"},         {"", "abc"},   {"2", "10"},   {"-1.5", "0"},     {"999", "1e3"},
        {"10", "abc"},     {"1000", "a"}, {"zz", "abc"}, {"abc", "abd"},    {"B", "a"},
        {"2 mm", "10 mm"}, {" 7 ", "8"},  {"1x", "abc"}, {"1e9", "110 mm"},
    };
    for (const auto& [a, b] : less) {
        EXPECT_LT(MIVCompareCells(a, b), 0) << a << " < " << b;
        EXPECT_GT(MIVCompareCells(b, a), 0) << b << " > " << a;
    }
    for (const auto& [a, b] :
         std::vector<std::pair<const char*, const char*>>{{"", ""}, {"2.5", "2.50"}, {"x", "x"}})
        EXPECT_EQ(MIVCompareCells(a, b), 0) << a << " = " << b;

    EXPECT_LT(MIVCompareChecks(TCheckBoxState::Checked, TCheckBoxState::Unchecked), 0);
    EXPECT_LT(MIVCompareChecks(TCheckBoxState::Checked, TCheckBoxState::Grayed), 0);
    EXPECT_EQ(MIVCompareChecks(TCheckBoxState::Grayed, TCheckBoxState::Unchecked), 0);
}

TEST(MIVListRules, SortClicksCycleAscendingDescendingUnsorted) {
    struct {
        TMIVSortState From;
        int Click;
        TMIVSortState To;
    } rows[] = {
        {{-1, true}, 0, {0, true}}, {{0, true}, 0, {0, false}}, {{0, false}, 0, {-1, true}},
        {{0, true}, 1, {1, true}},  {{0, false}, 1, {1, true}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(MIVNextSortState(r.From, r.Click), r.To) << r.From.Section << "/" << r.From.Ascending;
}

namespace {
// Sorts the cells with the list's sort and reports the order and the number of swaps.
struct TSorted {
    std::vector<QString> Cells;
    int Swaps = 0;
    bool Moved = false;
};
TSorted Sort(std::vector<QString> Cells, bool Ascending) {
    TSorted s{std::move(Cells)};
    s.Moved = MIVSortRows(
        int(s.Cells.size()),
        [&](int a, int b) {
            const int c = MIVCompareCells(s.Cells[size_t(a)], s.Cells[size_t(b)]);
            return Ascending ? c : -c;
        },
        [&](int a, int b) {
            std::swap(s.Cells[size_t(a)], s.Cells[size_t(b)]);
            ++s.Swaps;
        });
    return s;
}
} // namespace

TEST(MIVListRules, SortOrdersRowsAndLeavesOrderedRowsAlone) {
    auto s = Sort({"2", "10", ""}, true);
    EXPECT_EQ(s.Cells, (std::vector<QString>{"", "2", "10"}));
    s = Sort({"abc", "zz"}, true);
    EXPECT_EQ(s.Cells, (std::vector<QString>{"zz", "abc"}));
    s = Sort({"", "2", "10", "zz", "abc"}, false);
    EXPECT_EQ(s.Cells, (std::vector<QString>{"abc", "zz", "10", "2", ""}));

    // Already in order, including equal neighbours: nothing moves.
    for (const auto& cells :
         std::vector<std::vector<QString>>{{}, {"a"}, {"", "1", "1", "2", "x"}, {"b", "b", "b"}}) {
        s = Sort(cells, true);
        EXPECT_FALSE(s.Moved);
        EXPECT_EQ(s.Swaps, 0);
        EXPECT_EQ(s.Cells, cells);
    }

    // Random lists with many duplicates: the result is ordered and a permutation of the input.
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<QString> cells(size_t(rng() % 40));
        for (auto& c : cells) {
            const int kind = int(rng() % 3);
            c = kind == 0   ? QString()
                : kind == 1 ? QString::number(int(rng() % 20) - 5)
                            : QString(QChar(char16_t(u'a' + rng() % 4)));
        }
        const bool asc = rng() % 2;
        s = Sort(cells, asc);
        for (size_t i = 1; i < s.Cells.size(); ++i)
            ASSERT_LE(asc ? MIVCompareCells(s.Cells[i - 1], s.Cells[i])
                          : MIVCompareCells(s.Cells[i], s.Cells[i - 1]),
                      0);
        auto a = s.Cells, b = cells;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        ASSERT_EQ(a, b);
    }
}

TEST(MIVListRules, ResizeKeepsTheTotalAndUndoesItselfWhenDraggedBack) {
    using W = std::vector<int>;
    struct {
        const char* What;
        W Start;
        int Section, Delta;
        W After;
        int Moved;
    } rows[] = {
        {"grow takes from the right neighbour", {50, 50, 50}, 0, 10, {60, 40, 50}, 10},
        {"then from the next, nearest first", {50, 50, 50}, 0, 40, {90, 20, 40}, 40},
        {"as far as the minimum allows", {50, 50, 50}, 0, 200, {110, 20, 20}, 60},
        {"shrink gives to the right neighbour", {50, 50, 50}, 0, -20, {30, 70, 50}, -20},
        {"at the minimum the left ones shrink", {50, 50, 50}, 1, -40, {40, 20, 90}, -40},
        {"nothing left to give", {20, 20, 50}, 1, -10, {20, 20, 50}, 0},
        {"the last section has no divider", {50, 50, 50}, 2, 10, {50, 50, 50}, 0},
    };
    for (const auto& r : rows) {
        W w = r.Start;
        EXPECT_EQ(MIVResizeSection(w, r.Start, r.Section, r.Delta, 20), r.Moved) << r.What;
        EXPECT_EQ(w, r.After) << r.What;
    }

    // Narrowed sections regain their snapshot width first: a drag there and back restores all.
    struct {
        W Start;
        int Section, There, Back;
        W Between;
    } drags[] = {
        {{50, 50, 50}, 1, -40, 15, {50, 25, 75}},         // the left one regains before the section grows
        {{50, 50, 50, 50}, 0, 50, -20, {80, 20, 50, 50}}, // the far right one regains first
    };
    for (const auto& d : drags) {
        W w = d.Start;
        MIVResizeSection(w, d.Start, d.Section, d.There, 20);
        MIVResizeSection(w, d.Start, d.Section, d.Back, 20);
        EXPECT_EQ(w, d.Between);
        MIVResizeSection(w, d.Start, d.Section, -d.There - d.Back, 20);
        EXPECT_EQ(w, d.Start);
    }

    // Random drags: the total never changes and no section drops below the minimum.
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        W w(size_t(2 + rng() % 5));
        for (int& x : w)
            x = 20 + int(rng() % 80);
        const W snap = w;
        const int total = std::accumulate(w.begin(), w.end(), 0);
        const int section = int(rng() % (w.size() - 1));
        for (int step = 0; step < 10; ++step) {
            const int want = int(rng() % 121) - 60;
            const int moved = MIVResizeSection(w, snap, section, want, 20);
            ASSERT_LE(std::abs(moved), std::abs(want));
            ASSERT_EQ(std::accumulate(w.begin(), w.end(), 0), total);
            ASSERT_GE(*std::min_element(w.begin(), w.end()), 20);
        }
    }
}

TEST(MIVListRules, LastSectionFillsTheHeaderOnlyWhenTheSectionsAreNarrower) {
    EXPECT_EQ(MIVFilledLastWidth({165, 141}, 400, 20), 400 - 165 - 1);
    EXPECT_EQ(MIVFilledLastWidth({165, 141}, 200, 20), 141);
    EXPECT_EQ(MIVFilledLastWidth({300, 5}, 310, 20), 20);
}

TEST(MIVListRules, TruncationEndsWithDotsAndContentWidthLeavesRoomForTheArrow) {
    // Ten pixels per character.
    const TMIVMeasure measure = [](const QString& t) { return int(t.size()) * 10; };
    struct {
        const char* Text;
        int Available, MinKept;
        const char* Shown;
    } rows[] = {
        {"Description", 110, 3, "Description"},
        {"Description", 80, 3, "Descr..."},
        {"Description", 60, 3, "Des..."},
        {"Description", 10, 3, "Des..."},
        {"abc", 20, 3, "..."},
        {"abcd", 30, 3, "a..."},
        {"110 mm", 50, 0, "11..."},
        {"110 mm", 10, 0, "..."},
        {"", 0, 0, ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(MIVTruncate(r.Text, r.Available, measure, r.MinKept), r.Shown)
            << r.Text << " in " << r.Available;

    EXPECT_EQ(MIVContentWidth(50, false, 30), 70);
    EXPECT_EQ(MIVContentWidth(50, true, 30), 73);
    EXPECT_EQ(MIVContentWidth(50, true, 100), 110);
}
