#pragma once
// The command log's view: one page of the shown packets as text, the scroll bar over all of them
// beside it, and the right-click menus that read a selected byte sequence.
#include "ui/CommLogPart.h"

#include <QObject>
#include <QStringList>

class QHBoxLayout;
class QMenu;
class QPlainTextEdit;
class QScrollBar;
class QTimer;
struct TSelectionDecoding;

class TCommLogView : public QObject {
    Q_OBJECT
public:
    // Packets the text view holds at most; a longer history is shown a page at a time.
    static constexpr int32_t PageSize = 500;
    // The view catches up with the history at most this often.
    static constexpr int ViewIntervalMs = 40;

    // The controls are Window's children; Layout places them.
    TCommLogView(QWidget* Window, TLogSource Source);
    QHBoxLayout* Layout() const { return FLayout; }
    // The text, for the tab order and the focus.
    QWidget* Text() const;

    // The window is shown: the view catches up.
    void Shown();
    // A packet was added to the history; Shown when the filter lets it through.
    void Added(bool Shown);
    // A shown packet is about to leave the history: its lines leave the view.
    void Dropped(const TLogEntry& Gone);
    // Brings the view to exactly the history's lines now.
    void Update();
    // Writes the page that starts at the shown packet First anew (the newest while following).
    void Rebuild(int64_t First);
    // Follows the newest packet again, after the history changed as a whole.
    void Restart();
    void ScrollTo(int64_t First);
    void Clear();
    // The text, one entry per line, after showing any packets still waiting to be shown.
    QStringList Lines();
    // Shows the shown packet Index and selects Pattern in it (or its lines); every other match
    // in the view is marked.
    void Select(int64_t Index, const QString& Pattern);
    int64_t PageFirst() const { return FPageFirst; }
    int64_t PageCount() const { return FPageCount; }

signals:
    // The history's scroll bar follows the history: after every change of the view.
    void BarUpdated();

private:
    void BuildMenus();
    void Schedule();
    void UpdateBar();
    void ScrollToEnd();
    void MarkMatches(const QString& Pattern);
    QString SelectedText() const;
    void MouseUp(const QPoint& GlobalPos);
    void ShowDecoding(const TSelectionDecoding& Decoding);

    QWidget* FWindow;
    TLogSource FSource;
    QPlainTextEdit* RxMsgMemo = nullptr;
    QScrollBar* sbHistory = nullptr;
    QHBoxLayout* FLayout = nullptr;
    QMenu* PopupMenu1 = nullptr;
    // The view's right-click menu: the decode items, Copy and Select All.
    QMenu* FContextMenu = nullptr;
    QTimer* FTimer = nullptr;
    // The view holds the shown packets [FPageFirst, FPageFirst + FPageCount); while it follows the
    // newest packet, FUnshown newer ones wait for the next update.
    int64_t FPageFirst = 0;
    int64_t FPageCount = 0;
    int64_t FUnshown = 0;
    int32_t FStaleLines = 0; // lines at the top of the view whose packets left the history
    bool FFollow = true;
    bool FFixedFontSet = false;
};
