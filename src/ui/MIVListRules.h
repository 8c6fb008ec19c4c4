#pragma once
// The rules of the multi-column list box, free of pixels and widgets: cells, comparison, the sort
// cycle, the column resize rule, truncation and the content width of a column. The control
// (MIVListBox) paints on top of these.
#include <QString>

#include <functional>
#include <vector>

enum class TCheckBoxState { Unchecked, Checked, Grayed };

// Cell Column of an item line: the text between the Column-th and (Column+1)-th ";"; the last of
// ColumnCount columns shows the rest of the line; a cell beyond the line's fields is empty.
QString MIVCellText(const QString& Line, int Column, int ColumnCount);

// Ascending order of two cells: empty texts first, then numbers by value, then other texts,
// shorter before longer, texts of equal length by character codes. <0, 0, >0.
int MIVCompareCells(const QString& A, const QString& B);
// Ascending order by the check-box column: checked rows before the others.
int MIVCompareChecks(TCheckBoxState A, TCheckBoxState B);

// Header sort state and the click cycle ascending -> descending -> unsorted.
struct TMIVSortState {
    int Section = -1; // -1: no section sorted
    bool Ascending = true;
    bool operator==(const TMIVSortState&) const = default;
};
// The state after a sort click on Section (a section whose sorting is enabled).
TMIVSortState MIVNextSortState(TMIVSortState Current, int Section);

// Reorders Count rows by Compare(i, j) (<0: row i belongs before row j) with Swap(i, j).
// Rows already in order are not moved. Returns whether anything moved.
bool MIVSortRows(int Count, const std::function<int(int, int)>& Compare,
                 const std::function<void(int, int)>& Swap);

// Column resize rule. The widths of all sections keep their total: the divider at the right edge
// of Section moves by Delta pixels (positive: right, the section grows). The side that loses
// width gives it nearest first, each section down to MinWidth; the side that gains lets sections
// narrowed during the drag regain their Snapshot width first, then the section at the divider
// takes the rest. Returns the signed movement actually made (less than Delta when the losing side
// is at its minimum). The last section has no divider to drag.
int MIVResizeSection(std::vector<int>& Widths, const std::vector<int>& Snapshot, int Section, int Delta,
                     int MinWidth);

// Width of the last section so that the sections fill a header of ClientWidth pixels (drawn from
// x = 1), or its present width when they fill it already.
int MIVFilledLastWidth(const std::vector<int>& Widths, int ClientWidth, int MinWidth);

using TMIVMeasure = std::function<int(const QString&)>;
// Shortens a text wider than Available: its last three characters give way to "...", then more
// characters go before the dots until it fits or MinKept remain. A text of at most three
// characters becomes "..."; a text that fits is returned unchanged.
QString MIVTruncate(const QString& Text, int Available, const TMIVMeasure& Measure, int MinKept);

// Width that shows a column's caption and widest cell: the wider of the caption plus 10 pixels
// (plus 13 when the column is sorted, room for the arrow) and the widest cell, plus 10.
int MIVContentWidth(int CaptionWidth, bool Sorted, int WidestCell);
