// The multi-column list's rows as painted: cells, check boxes, colour boxes and the grid.
#include "ui/MIVRowPainter.h"

#include "ui/MIVListBox.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace {
constexpr int CheckBoxSize = 13;
const QColor OddRowColor(223, 223, 223);
const QColor GridColor(187, 187, 187);
} // namespace

QColor MIVTextOn(const QColor& Background) {
    return Background.lightness() >= 128 ? QColor(Qt::black) : QColor(Qt::white);
}

void TMIVRowPainter::SetCheckBoxFlat(bool Flat) {
    FCheckBoxFlat = Flat;
    FOwner.List()->viewport()->update();
}

void TMIVRowPainter::SetCheckBoxOffset(int Offset) {
    FCheckBoxOffset = Offset;
    FOwner.List()->viewport()->update();
}

void TMIVRowPainter::SetCheckBoxCenter(bool Center) {
    FCheckBoxCenter = Center;
    FOwner.List()->viewport()->update();
}

void TMIVRowPainter::SetItemHeight(int H) {
    FItemHeight = H;
    FOwner.List()->doItemsLayout();
}

int TMIVRowPainter::RowHeight() const {
    return std::max(FItemHeight, FOwner.List()->fontMetrics().height() + 2);
}

int TMIVRowPainter::ContentWidth(int Index) const {
    const QFontMetrics cellFm = FOwner.List()->fontMetrics();
    int widest = 0;
    for (int i = 0; i < FOwner.Count(); ++i)
        widest = std::max(widest, cellFm.horizontalAdvance(FOwner.Cell(i, Index)));
    // A check-box column's text follows its box.
    if (Index == FOwner.CheckBoxColumn())
        widest += CheckBoxSize + 2 * FCheckBoxOffset;
    const TMIVHeaderControl* header = FOwner.Header();
    const int caption = header->fontMetrics().horizontalAdvance(header->Sections()[size_t(Index)].Text);
    return MIVContentWidth(caption, header->SortState().Section == Index, widest);
}

QRect TMIVRowPainter::CellRect(const QRect& RowRect, int Column) const {
    return {RowRect.left() + FOwner.Header()->SectionLeft(Column), RowRect.top(),
            FOwner.Section(Column).Width, RowRect.height()};
}

QRect TMIVRowPainter::CheckBoxRect(const QRect& Cell) const {
    const int x =
        FCheckBoxCenter ? Cell.left() + (Cell.width() - CheckBoxSize) / 2 : Cell.left() + FCheckBoxOffset;
    return {x, Cell.top() + (Cell.height() - CheckBoxSize) / 2, CheckBoxSize, CheckBoxSize};
}

void TMIVRowPainter::DrawCheckBox(QPainter& P, const QRect& Area, TCheckBoxState State) const {
    const TMListBox* list = FOwner.List();
    if (!FCheckBoxFlat) {
        QStyleOptionButton opt;
        opt.initFrom(list);
        opt.rect = Area;
        opt.state = QStyle::State_Enabled | (State == TCheckBoxState::Checked  ? QStyle::State_On
                                             : State == TCheckBoxState::Grayed ? QStyle::State_NoChange
                                                                               : QStyle::State_Off);
        list->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &P, list);
        return;
    }
    P.save();
    P.setPen(QColor(128, 128, 128));
    P.setBrush(State == TCheckBoxState::Grayed ? QColor(Qt::lightGray) : QColor(Qt::white));
    P.drawRect(Area.adjusted(0, 0, -1, -1));
    if (State != TCheckBoxState::Unchecked) {
        P.setPen(QPen(State == TCheckBoxState::Grayed ? Qt::darkGray : Qt::black, 2));
        P.setRenderHint(QPainter::Antialiasing);
        P.drawPolyline(
            QPolygonF({QPointF(Area.left() + 3, Area.top() + 6.5), QPointF(Area.left() + 5.5, Area.top() + 9),
                       QPointF(Area.left() + 10, Area.top() + 3.5)}));
    }
    P.restore();
}

void TMIVRowPainter::DrawCell(QPainter& P, const QRect& Cell, int Row, int Column, const QColor& Text) const {
    P.save();
    P.setClipRect(Cell);
    int textLeft = Cell.left() + 2;
    bool drawText = true;
    if (Column == FOwner.CheckBoxColumn()) {
        const QRect box = CheckBoxRect(Cell);
        DrawCheckBox(P, box, FOwner.List()->CheckState(Row));
        textLeft = box.right() + 1 + FCheckBoxOffset;
    }
    const QColor colour = FOwner.List()->RowColor(Row);
    if (FOwner.Section(Column).Kind == skColorBox && Cell.width() > 23 && colour.isValid()) {
        const QRect box(Cell.left() + 7, Cell.top() + 2, Cell.width() - 16, Cell.height() - 4);
        P.fillRect(box, colour);
        P.setPen(Qt::black);
        P.drawRect(box.adjusted(0, 0, -1, -1));
        P.setPen(Text);
        drawText = false;
    }
    if (drawText) {
        const QFontMetrics fm = FOwner.List()->fontMetrics();
        const auto measure = [&fm](const QString& t) { return fm.horizontalAdvance(t); };
        const int available = Cell.right() - 1 - textLeft;
        const QString t = MIVTruncate(FOwner.Cell(Row, Column), available, measure, 0);
        P.drawText(QRect(textLeft, Cell.top(), std::max(0, available), Cell.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, t);
    }
    P.restore();
}

void TMIVRowPainter::DrawRow(QPainter& P, const QRect& Rect, int Row, bool Selected, bool Focused) const {
    const TMListBox* list = FOwner.List();
    const QPalette& pal = list->palette();
    const QColor back = Selected ? pal.highlight().color() : (Row % 2) ? OddRowColor : pal.base().color();
    const QColor text = Selected    ? pal.highlightedText().color()
                        : (Row % 2) ? MIVTextOn(back)
                                    : pal.text().color();
    P.save();
    P.fillRect(Rect, back);
    P.setPen(text);
    if (FOwner.SectionCount() == 0) {
        P.drawText(Rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, FOwner.Item(Row));
    } else {
        for (int c = 0; c < FOwner.SectionCount(); ++c) {
            const QRect cell = CellRect(Rect, c);
            DrawCell(P, cell, Row, c, text);
            P.setPen(GridColor);
            P.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
            P.setPen(text);
        }
    }
    if (Focused) {
        QStyleOptionFocusRect opt;
        opt.initFrom(list);
        opt.rect = Rect;
        opt.backgroundColor = back;
        list->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &P, list);
    }
    P.restore();
    if (OnDrawItem)
        OnDrawItem(&FOwner, Row, P, Rect, Selected);
}
