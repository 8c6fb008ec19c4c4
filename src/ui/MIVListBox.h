#pragma once
// Multi-column list: a painted header with sizeable, sortable sections above an owner-drawn list
// whose item lines hold their cells separated by ";". The rules live in MIVListRules; this unit
// paints them and turns mouse and keys into them.
#include "ui/MIVListRules.h"
#include "ui/MIVRowPainter.h"

#include <QColor>
#include <QFrame>
#include <QListWidget>

#include <functional>
#include <vector>

class TMIVListBox;

enum TSectionKind { skNormal, skColorBox };

struct TMIVHeaderSection {
    int Width = 50;
    QColor BackColor; // invalid: the button face of the palette
    QString Text;
    bool SortEnabled = true;
    TSectionKind Kind = skNormal;
};

// The header: sections drawn side by side from x = 1 inside a black frame.
class TMIVHeaderControl : public QWidget {
    Q_OBJECT
public:
    explicit TMIVHeaderControl(TMIVListBox* Owner);

    std::vector<TMIVHeaderSection>& Sections() { return FSections; }
    const std::vector<TMIVHeaderSection>& Sections() const { return FSections; }
    // Left edge of a section, and the section under x (-1 when none).
    int SectionLeft(int Index) const;
    int SectionAt(int X) const;
    // The section (not the last) whose right edge lies within Tolerance pixels of x, or -1.
    int DividerAt(int X, int Tolerance) const;

    TMIVSortState SortState() const { return FSort; }
    void SetSortState(TMIVSortState S);
    // Background of the sorted section.
    QColor SortColor() const { return FSortColor; }
    void SetSortColor(const QColor& C);
    bool Dragging() const { return FDragSection >= 0; }

    // Moves the right edge of Section by Delta through the resize rule against the current
    // drag snapshot; fires OnSectionResize first. Returns the movement made.
    int ResizeSection(int Section, int Delta);
    void TakeSnapshot();
    // Widens the last section so that the sections fill the header.
    void FillWidth();

    std::function<void(TMIVHeaderControl* Sender, int Section)> OnSectionResize;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    std::vector<int> Widths() const;
    void PaintSection(QPainter& P, int Index, int Left) const;

    TMIVListBox* FOwner;
    std::vector<TMIVHeaderSection> FSections;
    TMIVSortState FSort;
    QColor FSortColor{Qt::white};
    int FDragSection = -1;
    int FLastX = 0;
    int FPressedSection = -1;
    bool FAfterDoubleClick = false;
    std::vector<int> FSnapshot;
};

// The owner-drawn list below the header; its items keep each row's check state and colour.
class TMListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TMListBox(TMIVListBox* Owner);

    void SetMultiSelect(bool Multi);
    void SetExtendedSelect(bool Extended);
    // Per-row state; rows without state are unchecked and have no colour.
    TCheckBoxState CheckState(int Row) const;
    void SetCheckState(int Row, TCheckBoxState Value);
    QColor RowColor(int Row) const;
    void SetRowColor(int Row, const QColor& Color);

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    TMIVListBox* FOwner;
};

class TMIVListBox : public QFrame {
    Q_OBJECT
public:
    explicit TMIVListBox(QWidget* Parent = nullptr);

    TMIVHeaderControl* Header() const { return FHeader; }
    TMListBox* List() const { return FList; }

    // Header sections.
    TMIVHeaderSection& AddSection(const QString& Text, int Width);
    int SectionCount() const { return int(FHeader->Sections().size()); }
    TMIVHeaderSection& Section(int Index) { return FHeader->Sections().at(size_t(Index)); }
    const TMIVHeaderSection& Section(int Index) const { return FHeader->Sections().at(size_t(Index)); }
    // Call after changing sections in place.
    void SectionsChanged();

    int CheckBoxColumn() const { return FCheckBoxColumn; }
    void SetCheckBoxColumn(int Index);
    int ColumnMinWidth() const { return FColumnMinWidth; }
    void SetColumnMinWidth(int W) { FColumnMinWidth = W; }
    // How the rows are painted: check boxes, row height, cell geometry, content widths.
    TMIVRowPainter& Painter() { return FPainter; }
    const TMIVRowPainter& Painter() const { return FPainter; }

    // Item lines.
    void AddItem(const QString& Line);
    int Count() const { return FList->count(); }
    QString Item(int Row) const;
    QStringList Items() const;
    void SetItems(const QStringList& Lines);
    void Clear();
    int ItemIndex() const { return FList->currentRow(); }
    void SetItemIndex(int Row);
    // The text of a cell as the list shows it.
    QString Cell(int Row, int Column) const;

    // The list keeps each row's check state and colour.
    bool Checked(int Row) const { return FList->CheckState(Row) == TCheckBoxState::Checked; }
    void SetChecked(int Row, bool Checked);

    // Sorting as a click on the section's header does it; Resort repeats the present order.
    TMIVSortState SortState() const { return FHeader->SortState(); }
    void SortClick(int Section);
    void Resort();
    // Fits a section (not the last) to its content; nothing without items.
    void FitColumn(int Index);

    std::function<void(TMIVListBox* Sender, int Section)> OnHeaderSectionResize;
    std::function<void(TMIVListBox* Sender)> OnSelect;
    std::function<void(TMIVListBox* Sender, int ItemIndex, TCheckBoxState Value)> OnCheckBoxClick;

    // Toggles the check box of a row (grayed stays), repaints it and fires OnCheckBoxClick.
    void ToggleCheck(int Row);
    void RowClicked(const QPoint& Pos);

private:
    void SortBy(TMIVSortState S);

    TMIVHeaderControl* FHeader = nullptr;
    TMListBox* FList = nullptr;
    int FCheckBoxColumn = -1;
    int FColumnMinWidth = 20;
    TMIVRowPainter FPainter{*this};
};
