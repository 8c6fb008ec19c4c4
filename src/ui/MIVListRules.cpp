#include "ui/MIVListRules.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <optional>

QString MIVCellText(const QString& Line, int Column, int ColumnCount) {
    if (Column < 0)
        return {};
    qsizetype start = 0;
    for (int k = 0; k < Column; ++k) {
        const qsizetype sep = Line.indexOf(u';', start);
        if (sep < 0)
            return {};
        start = sep + 1;
    }
    if (Column >= ColumnCount - 1)
        return Line.mid(start);
    const qsizetype end = Line.indexOf(u';', start);
    return end < 0 ? Line.mid(start) : Line.mid(start, end - start);
}

namespace {
// The whole text as a real number, in the user's notation or with a point.
std::optional<double> AsNumber(const QString& Text) {
    const QString t = Text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    QLocale user;
    user.setNumberOptions(QLocale::RejectGroupSeparator);
    double v = user.toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok || std::isnan(v))
        return std::nullopt;
    return v;
}

int Sign(qsizetype V) {
    return V < 0 ? -1 : V > 0 ? 1 : 0;
}
} // namespace

int MIVCompareCells(const QString& A, const QString& B) {
    // Ranks: empty, number, text.
    const auto na = AsNumber(A), nb = AsNumber(B);
    const int ra = A.isEmpty() ? 0 : na ? 1 : 2;
    const int rb = B.isEmpty() ? 0 : nb ? 1 : 2;
    if (ra != rb)
        return ra < rb ? -1 : 1;
    if (ra == 1)
        return *na < *nb ? -1 : *na > *nb ? 1 : 0;
    if (A.size() != B.size())
        return Sign(A.size() - B.size());
    return Sign(QString::compare(A, B, Qt::CaseSensitive));
}

int MIVCompareChecks(TCheckBoxState A, TCheckBoxState B) {
    const bool ca = A == TCheckBoxState::Checked, cb = B == TCheckBoxState::Checked;
    return ca == cb ? 0 : ca ? -1 : 1;
}

TMIVSortState MIVNextSortState(TMIVSortState Current, int Section) {
    if (Current.Section == Section && Current.Ascending)
        return {Section, false};
    if (Current.Section != Section)
        return {Section, true};
    return {-1, true};
}

namespace {
// Quicksort with the middle element as pivot. The pivot is a row index, so it follows its row
// through the swaps.
void QuickSort(int L, int R, const std::function<int(int, int)>& Compare,
               const std::function<void(int, int)>& Swap) {
    while (L < R) {
        int i = L, j = R, p = L + (R - L) / 2;
        do {
            while (Compare(i, p) < 0)
                ++i;
            while (Compare(j, p) > 0)
                --j;
            if (i <= j) {
                if (i != j) {
                    Swap(i, j);
                    if (p == i)
                        p = j;
                    else if (p == j)
                        p = i;
                }
                ++i;
                --j;
            }
        } while (i <= j);
        // Recurse into the smaller part so that the depth stays logarithmic.
        if (j - L < R - i) {
            QuickSort(L, j, Compare, Swap);
            L = i;
        } else {
            QuickSort(i, R, Compare, Swap);
            R = j;
        }
    }
}
} // namespace

bool MIVSortRows(int Count, const std::function<int(int, int)>& Compare,
                 const std::function<void(int, int)>& Swap) {
    bool inOrder = true;
    for (int i = 0; i + 1 < Count && inOrder; ++i)
        inOrder = Compare(i, i + 1) <= 0;
    if (inOrder)
        return false;
    QuickSort(0, Count - 1, Compare, Swap);
    return true;
}

namespace {
// Takes up to Amount pixels from the sections in Order, each down to MinWidth; returns what it took.
int Take(std::vector<int>& W, const std::vector<int>& Order, int Amount, int MinWidth) {
    int taken = 0;
    for (int i : Order) {
        const int give = std::clamp(W[i] - MinWidth, 0, Amount - taken);
        W[i] -= give;
        taken += give;
    }
    return taken;
}

// Gives Amount pixels: first to the sections in Regain up to their snapshot width, the rest to Last.
void Give(std::vector<int>& W, const std::vector<int>& Snapshot, const std::vector<int>& Regain, int Last,
          int Amount) {
    for (int i : Regain) {
        if (i >= int(Snapshot.size()))
            continue;
        const int back = std::clamp(Snapshot[i] - W[i], 0, Amount);
        W[i] += back;
        Amount -= back;
    }
    W[Last] += Amount;
}
} // namespace

int MIVResizeSection(std::vector<int>& Widths, const std::vector<int>& Snapshot, int Section, int Delta,
                     int MinWidth) {
    const int n = int(Widths.size());
    if (Section < 0 || Section >= n - 1 || Delta == 0)
        return 0;
    // Sections left of the divider (Section and before) and right of it, nearest first.
    std::vector<int> left, right;
    for (int i = Section; i >= 0; --i)
        left.push_back(i);
    for (int i = Section + 1; i < n; ++i)
        right.push_back(i);
    // Sections that regain width undo the drag: the one narrowed last, the farthest, comes first.
    std::vector<int> leftRegain(left.rbegin(), left.rend() - 1);    // 0 .. Section-1
    std::vector<int> rightRegain(right.rbegin(), right.rend() - 1); // n-1 .. Section+2
    if (Delta > 0) {
        const int moved = Take(Widths, right, Delta, MinWidth);
        Give(Widths, Snapshot, leftRegain, Section, moved);
        return moved;
    }
    const int moved = Take(Widths, left, -Delta, MinWidth);
    Give(Widths, Snapshot, rightRegain, Section + 1, moved);
    return -moved;
}

int MIVFilledLastWidth(const std::vector<int>& Widths, int ClientWidth, int MinWidth) {
    if (Widths.empty())
        return 0;
    int others = 0;
    for (size_t i = 0; i + 1 < Widths.size(); ++i)
        others += Widths[i];
    const int filled = ClientWidth - others - 1;
    return std::max({Widths.back(), filled, MinWidth});
}

QString MIVTruncate(const QString& Text, int Available, const TMIVMeasure& Measure, int MinKept) {
    if (Measure(Text) <= Available)
        return Text;
    const QString dots = QStringLiteral("...");
    // Short texts have nothing to keep beside the dots.
    if (Text.size() <= 3)
        return dots;
    // The last three characters make room for the dots, then more go until the text fits.
    qsizetype kept = Text.size() - 3;
    while (kept > MinKept && Measure(Text.left(kept) + dots) > Available)
        --kept;
    return Text.left(kept) + dots;
}

int MIVContentWidth(int CaptionWidth, bool Sorted, int WidestCell) {
    return std::max(CaptionWidth + (Sorted ? 13 : 10), WidestCell) + 10;
}
