#pragma once
// How the multi-column list paints its rows: the cells side by side under the header's sections,
// alternating row colours, grid lines, check boxes and colour boxes, and the room they take.
#include "ui/MIVListRules.h"

#include <QColor>
#include <QRect>

#include <functional>

class QPainter;
class TMIVListBox;

// Black or white, whichever reads on Background.
QColor MIVTextOn(const QColor& Background);

class TMIVRowPainter {
public:
    explicit TMIVRowPainter(TMIVListBox& Owner) : FOwner(Owner) {}

    bool CheckBoxFlat() const { return FCheckBoxFlat; }
    void SetCheckBoxFlat(bool Flat);
    int CheckBoxOffset() const { return FCheckBoxOffset; }
    void SetCheckBoxOffset(int Offset);
    bool CheckBoxCenter() const { return FCheckBoxCenter; }
    void SetCheckBoxCenter(bool Center);
    // Row height; never less than the font needs.
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int H);
    int RowHeight() const;
    // The width a section needs for its caption and its widest cell.
    int ContentWidth(int Index) const;

    // Geometry of a row's cells, in list viewport coordinates.
    QRect CellRect(const QRect& RowRect, int Column) const;
    QRect CheckBoxRect(const QRect& Cell) const;

    // Painting of one row; the list's item delegate calls it.
    void DrawRow(QPainter& P, const QRect& Rect, int Row, bool Selected, bool Focused) const;
    std::function<void(TMIVListBox* Sender, int Index, QPainter& Canvas, const QRect& Rect, bool Selected)>
        OnDrawItem;

private:
    void DrawCheckBox(QPainter& P, const QRect& Area, TCheckBoxState State) const;
    // One cell: its check box, then its text or its colour box.
    void DrawCell(QPainter& P, const QRect& Cell, int Row, int Column, const QColor& Text) const;

    TMIVListBox& FOwner;
    bool FCheckBoxFlat = false;
    int FCheckBoxOffset = 4;
    bool FCheckBoxCenter = false;
    int FItemHeight = 16;
};
