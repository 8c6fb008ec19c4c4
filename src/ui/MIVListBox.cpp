// The multi-column list: its header, its list of rows and the control that joins them.
#include "ui/MIVListBox.h"

#include "platform/ErrorGuard.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int HeaderClientHeight = 17;
constexpr int ArrowSize = 16;

enum { StateRole = Qt::UserRole + 1, ColorRole };

// The sort arrow, drawn into its 16 x 16 square: a small filled triangle.
void DrawArrow(QPainter& P, const QRect& Square, bool Up, const QColor& Color) {
    const QPointF c = QRectF(Square).center();
    QPainterPath path;
    if (Up) {
        path.moveTo(c.x() - 4, c.y() + 2);
        path.lineTo(c.x() + 4, c.y() + 2);
        path.lineTo(c.x(), c.y() - 3);
    } else {
        path.moveTo(c.x() - 4, c.y() - 2);
        path.lineTo(c.x() + 4, c.y() - 2);
        path.lineTo(c.x(), c.y() + 3);
    }
    path.closeSubpath();
    P.save();
    P.setRenderHint(QPainter::Antialiasing);
    P.fillPath(path, Color);
    P.restore();
}

class TMIVRowDelegate : public QStyledItemDelegate {
public:
    TMIVRowDelegate(TMIVListBox* Owner, QObject* Parent) : QStyledItemDelegate(Parent), FOwner(Owner) {}

    void paint(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
        RunGuarded([&] {
            const bool focused = (Option.state & QStyle::State_HasFocus) && FOwner->List()->hasFocus();
            FOwner->Painter().DrawRow(*P, Option.rect, Index.row(), Option.state & QStyle::State_Selected,
                                      focused);
        });
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {1, FOwner->Painter().RowHeight()};
    }

private:
    TMIVListBox* FOwner;
};
} // namespace

// --- header ---

TMIVHeaderControl::TMIVHeaderControl(TMIVListBox* Owner) : QWidget(Owner), FOwner(Owner) {
    setObjectName(QStringLiteral("HeaderControl"));
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TMIVHeaderControl::sizeHint() const {
    int w = 2;
    for (const auto& s : FSections)
        w += s.Width;
    // The design's 17 pixels, or what a larger font needs.
    return {w, std::max(HeaderClientHeight, fontMetrics().height() + 4)};
}

QSize TMIVHeaderControl::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

std::vector<int> TMIVHeaderControl::Widths() const {
    std::vector<int> w;
    for (const auto& s : FSections)
        w.push_back(s.Width);
    return w;
}

int TMIVHeaderControl::SectionLeft(int Index) const {
    int x = 1;
    for (int i = 0; i < Index && i < int(FSections.size()); ++i)
        x += FSections[size_t(i)].Width;
    return x;
}

int TMIVHeaderControl::SectionAt(int X) const {
    int left = 1;
    for (int i = 0; i < int(FSections.size()); ++i) {
        const int right = left + FSections[size_t(i)].Width;
        if (X >= left && X < right)
            return i;
        left = right;
    }
    return -1;
}

int TMIVHeaderControl::DividerAt(int X, int Tolerance) const {
    int right = 1;
    for (int i = 0; i + 1 < int(FSections.size()); ++i) {
        right += FSections[size_t(i)].Width;
        if (std::abs(X - right) <= Tolerance)
            return i;
    }
    return -1;
}

void TMIVHeaderControl::SetSortState(TMIVSortState S) {
    FSort = S;
    update();
}

void TMIVHeaderControl::SetSortColor(const QColor& C) {
    FSortColor = C;
    update();
}

void TMIVHeaderControl::TakeSnapshot() {
    FSnapshot = Widths();
}

int TMIVHeaderControl::ResizeSection(int Section, int Delta) {
    if (Delta == 0 || Section < 0 || Section + 1 >= int(FSections.size()))
        return 0;
    if (OnSectionResize)
        OnSectionResize(this, Section);
    std::vector<int> w = Widths();
    const int moved = MIVResizeSection(w, FSnapshot, Section, Delta, FOwner->ColumnMinWidth());
    for (size_t i = 0; i < w.size(); ++i)
        FSections[i].Width = w[i];
    update();
    FOwner->List()->viewport()->update();
    return moved;
}

void TMIVHeaderControl::FillWidth() {
    // A header not shown yet has no width of its own; it fills when it is shown.
    if (FSections.empty() || !isVisible())
        return;
    FSections.back().Width = MIVFilledLastWidth(Widths(), width(), FOwner->ColumnMinWidth());
    update();
}

void TMIVHeaderControl::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    RunGuarded([this] {
        FillWidth();
        FOwner->List()->viewport()->update();
    });
}

void TMIVHeaderControl::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    RunGuarded([this] { FillWidth(); });
}

void TMIVHeaderControl::paintEvent(QPaintEvent*) {
    RunGuarded([this] {
        QPainter p(this);
        p.fillRect(rect(), palette().button());
        int x = 1;
        for (int i = 0; i < int(FSections.size()); ++i) {
            PaintSection(p, i, x);
            x += FSections[size_t(i)].Width;
        }
        p.setPen(Qt::black);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    });
}

void TMIVHeaderControl::PaintSection(QPainter& P, int Index, int Left) const {
    const TMIVHeaderSection& s = FSections[size_t(Index)];
    const bool sorted = FSort.Section == Index;
    const QRect cell(Left, 1, s.Width, height() - 2);
    const QColor back = sorted                  ? FSortColor
                        : s.BackColor.isValid() ? s.BackColor
                                                : palette().button().color();
    P.fillRect(cell, back);
    // The caption ends 2 pixels before the edge, or leaves room for the arrow.
    const int available = s.Width - 5 - (sorted ? ArrowSize + 1 : 2);
    const QFontMetrics fm = fontMetrics();
    const QString caption = MIVTruncate(
        s.Text, available, [&fm](const QString& t) { return fm.horizontalAdvance(t); }, 3);
    P.setPen(MIVTextOn(back));
    P.save();
    P.setClipRect(cell);
    P.drawText(QRect(Left + 5, 1, std::max(0, available), cell.height()), Qt::AlignLeft | Qt::AlignVCenter,
               caption);
    P.restore();
    if (sorted) {
        const QRect arrow(cell.right() + 1 - 2 - ArrowSize, cell.center().y() - ArrowSize / 2 + 1, ArrowSize,
                          ArrowSize);
        DrawArrow(P, arrow, FSort.Ascending, MIVTextOn(back));
    }
    P.setPen(Qt::black);
    P.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
}

void TMIVHeaderControl::mousePressEvent(QMouseEvent* Event) {
    RunGuarded([&] {
        if (Event->button() != Qt::LeftButton)
            return;
        FAfterDoubleClick = false;
        const int x = Event->position().toPoint().x();
        FDragSection = DividerAt(x, 5);
        if (FDragSection >= 0) {
            FLastX = x;
            TakeSnapshot();
            setCursor(Qt::SplitHCursor);
            FPressedSection = -1;
        } else {
            FPressedSection = SectionAt(x);
        }
    });
}

void TMIVHeaderControl::mouseMoveEvent(QMouseEvent* Event) {
    RunGuarded([&] {
        const int x = Event->position().toPoint().x();
        if (FDragSection >= 0) {
            // The divider follows the mouse as far as the rule lets it; keep the offset so that
            // it meets the mouse again on the way back.
            FLastX += ResizeSection(FDragSection, x - FLastX);
            return;
        }
        setCursor(DividerAt(x, 5) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
    });
}

void TMIVHeaderControl::mouseReleaseEvent(QMouseEvent* Event) {
    RunGuarded([&] {
        if (Event->button() != Qt::LeftButton)
            return;
        if (FDragSection >= 0) {
            FDragSection = -1;
            return;
        }
        const int section = FPressedSection;
        FPressedSection = -1;
        if (!FAfterDoubleClick && section >= 0)
            FOwner->SortClick(section);
        FAfterDoubleClick = false;
    });
}

void TMIVHeaderControl::mouseDoubleClickEvent(QMouseEvent* Event) {
    RunGuarded([&] {
        if (Event->button() != Qt::LeftButton)
            return;
        FAfterDoubleClick = true;
        FDragSection = -1;
        FPressedSection = -1;
        const int section = DividerAt(Event->position().toPoint().x(), 7);
        if (section >= 0)
            FOwner->FitColumn(section);
    });
}

// --- list ---

TMListBox::TMListBox(TMIVListBox* Owner) : QListWidget(Owner), FOwner(Owner) {
    setObjectName(QStringLiteral("List"));
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new TMIVRowDelegate(Owner, this));
}

void TMListBox::mousePressEvent(QMouseEvent* Event) {
    QListWidget::mousePressEvent(Event);
    RunGuarded([&] {
        if (Event->button() == Qt::LeftButton)
            FOwner->RowClicked(Event->position().toPoint());
    });
}

void TMListBox::keyPressEvent(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Space && Event->modifiers() == Qt::NoModifier &&
        FOwner->CheckBoxColumn() >= 0 && currentRow() >= 0) {
        RunGuarded([this] { FOwner->ToggleCheck(currentRow()); });
        Event->accept();
        return;
    }
    QListWidget::keyPressEvent(Event);
}

void TMListBox::SetMultiSelect(bool Multi) {
    setSelectionMode(Multi ? QAbstractItemView::MultiSelection : QAbstractItemView::SingleSelection);
}

void TMListBox::SetExtendedSelect(bool Extended) {
    setSelectionMode(Extended ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

TCheckBoxState TMListBox::CheckState(int Row) const {
    const QListWidgetItem* it = item(Row);
    const QVariant v = it ? it->data(StateRole) : QVariant();
    return v.isValid() ? TCheckBoxState(v.toInt()) : TCheckBoxState::Unchecked;
}

void TMListBox::SetCheckState(int Row, TCheckBoxState Value) {
    if (QListWidgetItem* it = item(Row))
        it->setData(StateRole, int(Value));
}

QColor TMListBox::RowColor(int Row) const {
    const QListWidgetItem* it = item(Row);
    return it ? it->data(ColorRole).value<QColor>() : QColor();
}

void TMListBox::SetRowColor(int Row, const QColor& Color) {
    if (QListWidgetItem* it = item(Row))
        it->setData(ColorRole, Color);
}

// --- the control ---

TMIVListBox::TMIVListBox(QWidget* Parent) : QFrame(Parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FHeader = new TMIVHeaderControl(this);
    FList = new TMListBox(this);
    FHeader->OnSectionResize = [this](TMIVHeaderControl*, int Section) {
        if (OnHeaderSectionResize)
            OnHeaderSectionResize(this, Section);
    };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(frameWidth(), frameWidth(), frameWidth(), frameWidth());
    layout->setSpacing(0);
    layout->addWidget(FHeader);
    layout->addWidget(FList, 1);
    setFocusProxy(FList);
}

TMIVHeaderSection& TMIVListBox::AddSection(const QString& Text, int Width) {
    TMIVHeaderSection s;
    s.Text = Text;
    s.Width = Width;
    FHeader->Sections().push_back(s);
    SectionsChanged();
    return FHeader->Sections().back();
}

void TMIVListBox::SectionsChanged() {
    FHeader->updateGeometry();
    FHeader->FillWidth();
    FList->viewport()->update();
}

void TMIVListBox::SetCheckBoxColumn(int Index) {
    FCheckBoxColumn = Index;
    FList->viewport()->update();
}

void TMIVListBox::AddItem(const QString& Line) {
    FList->addItem(Line);
}

QString TMIVListBox::Item(int Row) const {
    const QListWidgetItem* it = FList->item(Row);
    return it ? it->text() : QString();
}

QStringList TMIVListBox::Items() const {
    QStringList lines;
    for (int i = 0; i < FList->count(); ++i)
        lines.append(FList->item(i)->text());
    return lines;
}

void TMIVListBox::SetItems(const QStringList& Lines) {
    FList->clear();
    FList->addItems(Lines);
}

void TMIVListBox::Clear() {
    FList->clear();
}

void TMIVListBox::SetItemIndex(int Row) {
    FList->setCurrentRow(Row);
}

QString TMIVListBox::Cell(int Row, int Column) const {
    return MIVCellText(Item(Row), Column, SectionCount());
}

void TMIVListBox::SetChecked(int Row, bool Checked) {
    FList->SetCheckState(Row, Checked ? TCheckBoxState::Checked : TCheckBoxState::Unchecked);
}

void TMIVListBox::SortClick(int Section) {
    if (Section < 0 || Section >= SectionCount())
        return;
    if (!this->Section(Section).SortEnabled) {
        FHeader->update();
        return;
    }
    const TMIVSortState next = MIVNextSortState(FHeader->SortState(), Section);
    FHeader->SetSortState(next);
    // Unsorted: the rows keep the order they have.
    if (next.Section >= 0)
        SortBy(next);
}

void TMIVListBox::Resort() {
    if (FHeader->SortState().Section >= 0)
        SortBy(FHeader->SortState());
}

void TMIVListBox::SortBy(TMIVSortState S) {
    struct TRow {
        QString Text;
        QVariant State, Color;
        bool Selected;
    };
    const int n = Count();
    std::vector<TRow> rows;
    std::vector<QString> keys;
    std::vector<TCheckBoxState> checks;
    for (int i = 0; i < n; ++i) {
        const QListWidgetItem* it = FList->item(i);
        rows.push_back({it->text(), it->data(StateRole), it->data(ColorRole), it->isSelected()});
        keys.push_back(Cell(i, S.Section));
        checks.push_back(FList->CheckState(i));
    }
    const bool byCheck = S.Section == FCheckBoxColumn;
    int current = FList->currentRow();
    const auto compare = [&](int a, int b) {
        const int c = byCheck ? MIVCompareChecks(checks[size_t(a)], checks[size_t(b)])
                              : MIVCompareCells(keys[size_t(a)], keys[size_t(b)]);
        return S.Ascending ? c : -c;
    };
    // A row's text, check state, colour and selection move together.
    const auto swap = [&](int a, int b) {
        std::swap(rows[size_t(a)], rows[size_t(b)]);
        std::swap(keys[size_t(a)], keys[size_t(b)]);
        std::swap(checks[size_t(a)], checks[size_t(b)]);
        if (current == a)
            current = b;
        else if (current == b)
            current = a;
    };
    if (!MIVSortRows(n, compare, swap))
        return;
    const QSignalBlocker block(FList);
    for (int i = 0; i < n; ++i) {
        QListWidgetItem* it = FList->item(i);
        it->setText(rows[size_t(i)].Text);
        it->setData(StateRole, rows[size_t(i)].State);
        it->setData(ColorRole, rows[size_t(i)].Color);
    }
    FList->setCurrentRow(current, QItemSelectionModel::NoUpdate);
    for (int i = 0; i < n; ++i)
        FList->item(i)->setSelected(rows[size_t(i)].Selected);
    FList->viewport()->update();
}

void TMIVListBox::FitColumn(int Index) {
    if (Index < 0 || Index + 1 >= SectionCount() || Count() == 0)
        return;
    FHeader->TakeSnapshot();
    FHeader->ResizeSection(Index, FPainter.ContentWidth(Index) - Section(Index).Width);
}

void TMIVListBox::ToggleCheck(int Row) {
    if (Row < 0 || Row >= Count())
        return;
    const TCheckBoxState s = FList->CheckState(Row);
    const TCheckBoxState next = s == TCheckBoxState::Unchecked ? TCheckBoxState::Checked
                                : s == TCheckBoxState::Checked ? TCheckBoxState::Unchecked
                                                               : s;
    FList->SetCheckState(Row, next);
    FList->viewport()->update(FList->visualItemRect(FList->item(Row)));
    if (OnCheckBoxClick)
        OnCheckBoxClick(this, Row, next);
}

void TMIVListBox::RowClicked(const QPoint& Pos) {
    QListWidgetItem* it = FList->itemAt(Pos);
    if (!it)
        return;
    const int row = FList->row(it);
    if (FCheckBoxColumn >= 0 && FCheckBoxColumn < SectionCount()) {
        const QRect cell = FPainter.CellRect(FList->visualItemRect(it), FCheckBoxColumn);
        if (FPainter.CheckBoxRect(cell).contains(Pos))
            ToggleCheck(row);
    }
    if (OnSelect)
        OnSelect(this);
}
