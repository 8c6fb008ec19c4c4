// The command log's text view over the history, a page at a time, and its decode menus.
#include "ui/CommLogView.h"

#include "cmdtext/CommLogText.h"
#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

namespace {
const QString MemoHint =
    QStringLiteral("Mark a byte sequence to convert it into its floating point or integer represenation.");

// The text view, reporting the release of the left mouse button after it settled the selection.
class TLogView : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    std::function<void(const QPoint&)> OnLeftMouseUp;

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override {
        QPlainTextEdit::mouseReleaseEvent(Event);
        if (Event->button() == Qt::LeftButton && OnLeftMouseUp) {
            const QPoint at = Event->globalPosition().toPoint();
            RunGuarded([this, at] { OnLeftMouseUp(at); });
        }
    }
};
} // namespace

// The text view with the scroll bar over the whole history beside it.
TCommLogView::TCommLogView(QWidget* Window, TLogSource Source)
    : QObject(Window), FWindow(Window), FSource(std::move(Source)) {
    auto* view = new TLogView(Window);
    RxMsgMemo = view;
    RxMsgMemo->setObjectName(QStringLiteral("RxMsgMemo"));
    RxMsgMemo->setReadOnly(true);
    RxMsgMemo->setUndoRedoEnabled(false);
    RxMsgMemo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RxMsgMemo->setTabChangesFocus(true);
    RxMsgMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RxMsgMemo->setContextMenuPolicy(Qt::CustomContextMenu);
    LogHint(RxMsgMemo, MemoHint);
    view->OnLeftMouseUp = [this](const QPoint& At) { MouseUp(At); };
    // The whole history: the text view holds one page of it at a time.
    sbHistory = new QScrollBar(Qt::Vertical, Window);
    sbHistory->setObjectName(QStringLiteral("sbHistory"));
    LogHint(sbHistory, QStringLiteral("Scroll through the whole history a page at a time"));
    sbHistory->setVisible(false);
    FLayout = new QHBoxLayout;
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->setSpacing(0);
    FLayout->addWidget(RxMsgMemo, 1);
    FLayout->addWidget(sbHistory);
    connect(sbHistory, &QScrollBar::valueChanged, this,
            [this](int Value) { RunGuarded([this, Value] { ScrollTo(Value); }); });
    BuildMenus();

    FTimer = new QTimer(this);
    FTimer->setSingleShot(true);
    FTimer->setInterval(ViewIntervalMs);
    connect(FTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { Update(); }); });
}

// The view's context menu and the payload interpretations.
void TCommLogView::BuildMenus() {
    PopupMenu1 = new QMenu(FWindow);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* asFloat = AddLogItem(PopupMenu1, QStringLiteral("miAsFloat"), QStringLiteral("as Float"));
    QAction* asInteger = AddLogItem(PopupMenu1, QStringLiteral("miAsInteger"), QStringLiteral("as Integer"));
    QAction* asText = AddLogItem(PopupMenu1, QStringLiteral("miAsText"), QStringLiteral("as Text"));

    FContextMenu = new QMenu(FWindow);
    FContextMenu->setObjectName(QStringLiteral("RxMsgMemoMenu"));
    FContextMenu->addAction(asFloat);
    FContextMenu->addAction(asInteger);
    FContextMenu->addAction(asText);
    FContextMenu->addSeparator();
    QAction* copy = AddLogItem(FContextMenu, QStringLiteral("miCopy"), QStringLiteral("&Copy"));
    copy->setShortcut(QKeySequence::Copy);
    QAction* selectAll =
        AddLogItem(FContextMenu, QStringLiteral("miSelectAll"), QStringLiteral("Select &All"));
    selectAll->setShortcut(QKeySequence::SelectAll);
    connect(copy, &QAction::triggered, this, [this] { RunGuarded([this] { RxMsgMemo->copy(); }); });
    connect(selectAll, &QAction::triggered, this, [this] { RunGuarded([this] { RxMsgMemo->selectAll(); }); });
    connect(RxMsgMemo, &QWidget::customContextMenuRequested, this, [this, copy](const QPoint& At) {
        RunGuarded([this, copy, At] {
            copy->setEnabled(RxMsgMemo->textCursor().hasSelection());
            FContextMenu->popup(RxMsgMemo->viewport()->mapToGlobal(At));
        });
    });
    const auto decode = [this](QAction* Item, TSelectionDecoding (*Decode)(const QString&)) {
        connect(Item, &QAction::triggered, this,
                [this, Decode] { RunGuarded([this, Decode] { ShowDecoding(Decode(SelectedText())); }); });
    };
    decode(asFloat, DecodeSelectionAsFloat);
    decode(asInteger, DecodeSelectionAsInteger);
    decode(asText, DecodeSelectionAsText);
}

QWidget* TCommLogView::Text() const {
    return RxMsgMemo;
}

void TCommLogView::Shown() {
    // The fixed-pitch font is a second font to load; a log that is never shown does without.
    if (!FFixedFontSet) {
        FFixedFontSet = true;
        RxMsgMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    }
    Update();
}

void TCommLogView::Added(bool Shown) {
    if (Shown && FFollow)
        ++FUnshown;
    Schedule();
}

void TCommLogView::Dropped(const TLogEntry& Gone) {
    // The view always matches the history: a dropped packet takes all of its lines along.
    if (FPageFirst > 0) {
        --FPageFirst;
    } else if (FPageCount > 0) {
        FStaleLines += LogPacketLineCount(Gone.Copy, FSource.Options());
        --FPageCount;
    } else if (FUnshown > 0) {
        --FUnshown;
    }
}

void TCommLogView::Schedule() {
    // A hidden log only keeps its history; showing it brings the view up to date.
    if (FWindow->isVisible() && !FTimer->isActive())
        FTimer->start();
}

void TCommLogView::Update() {
    FTimer->stop();
    if (FUnshown == 0 && FStaleLines == 0) {
        UpdateBar();
        return;
    }
    // Nothing of the view survives: cheaper to write it anew.
    if (FFollow && (FPageCount == 0 || FUnshown >= PageSize)) {
        Rebuild(0);
        return;
    }
    const TLogOptions options = FSource.Options();
    const TLogHistory& history = FSource.History;
    int32_t drop = FStaleLines;
    while (FPageCount + FUnshown > PageSize) {
        drop += LogPacketLineCount(history.Shown(FPageFirst).Copy, options);
        ++FPageFirst;
        --FPageCount;
    }
    QString text;
    for (int64_t i = FPageFirst + FPageCount; i < FPageFirst + FPageCount + FUnshown; ++i) {
        const TLogEntry& e = history.Shown(i);
        text.append(QLatin1Char('\n')).append(LogPacketText(e.Copy, options, e.TimeMs));
    }
    // One edit block: the view lays out and repaints once for the trim and the append together.
    QTextCursor cursor(RxMsgMemo->document());
    cursor.beginEditBlock();
    if (drop > 0) {
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, drop);
        cursor.removeSelectedText();
    }
    if (!text.isEmpty()) {
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text);
    }
    cursor.endEditBlock();
    FPageCount += FUnshown;
    FUnshown = 0;
    FStaleLines = 0;
    if (FFollow)
        ScrollToEnd();
    UpdateBar();
}

void TCommLogView::Rebuild(int64_t First) {
    FTimer->stop();
    const TLogHistory& history = FSource.History;
    const int64_t shown = history.ShownCount();
    const int64_t last = std::max<int64_t>(0, shown - PageSize);
    FPageFirst = FFollow ? last : std::clamp<int64_t>(First, 0, last);
    FPageCount = std::min<int64_t>(PageSize, shown - FPageFirst);
    const TLogOptions options = FSource.Options();
    QString all;
    for (int64_t i = FPageFirst; i < FPageFirst + FPageCount; ++i) {
        if (i > FPageFirst)
            all.append(QLatin1Char('\n'));
        const TLogEntry& e = history.Shown(i);
        all.append(LogPacketText(e.Copy, options, e.TimeMs));
    }
    RxMsgMemo->setExtraSelections({});
    RxMsgMemo->setPlainText(all);
    FUnshown = 0;
    FStaleLines = 0;
    if (FFollow)
        ScrollToEnd();
    UpdateBar();
}

void TCommLogView::Restart() {
    FFollow = true;
    Rebuild(0);
}

void TCommLogView::UpdateBar() {
    const int64_t last = std::max<int64_t>(0, FSource.History.ShownCount() - PageSize);
    const QSignalBlocker block(sbHistory);
    sbHistory->setRange(0, int(last));
    sbHistory->setPageStep(PageSize);
    sbHistory->setSingleStep(PageSize / 10);
    sbHistory->setValue(int(FPageFirst));
    sbHistory->setVisible(last > 0);
    emit BarUpdated();
}

void TCommLogView::ScrollTo(int64_t First) {
    const int64_t last = std::max<int64_t>(0, FSource.History.ShownCount() - PageSize);
    FFollow = First >= last;
    Rebuild(First);
}

void TCommLogView::ScrollToEnd() {
    QScrollBar* bar = RxMsgMemo->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TCommLogView::Clear() {
    FTimer->stop();
    FPageFirst = FPageCount = FUnshown = 0;
    FStaleLines = 0;
    FFollow = true;
    RxMsgMemo->clear();
    UpdateBar();
}

QStringList TCommLogView::Lines() {
    Update();
    QStringList lines;
    if (FPageCount == 0)
        return lines;
    for (QTextBlock b = RxMsgMemo->document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

void TCommLogView::Select(int64_t Index, const QString& Pattern) {
    if (Index < FPageFirst || Index >= FPageFirst + FPageCount)
        ScrollTo(std::max<int64_t>(0, Index - PageSize / 2));
    // The hit's first line in the view, past the empty line before a sent packet.
    const TLogHistory& history = FSource.History;
    const TLogOptions options = FSource.Options();
    int block = 0;
    for (int64_t i = FPageFirst; i < Index; ++i)
        block += LogPacketLineCount(history.Shown(i).Copy, options);
    const int lines = LogPacketLineCount(history.Shown(Index).Copy, options);
    const bool sent = (history.Shown(Index).Copy.CommandID & LogReceivedFlag) == 0;
    QTextDocument* doc = RxMsgMemo->document();
    const QTextBlock first = doc->findBlockByNumber(block + (sent ? 1 : 0));
    const QTextBlock last = doc->findBlockByNumber(block + lines - 1);
    QTextCursor cursor(first);
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    // Highlights the match itself when the text has it, else the packet's lines.
    if (!Pattern.isEmpty()) {
        const QString text = cursor.selectedText();
        const qsizetype at = text.indexOf(Pattern, 0, Qt::CaseInsensitive);
        if (at >= 0) {
            cursor.setPosition(first.position() + int(at));
            cursor.setPosition(first.position() + int(at + Pattern.size()), QTextCursor::KeepAnchor);
        }
    }
    RxMsgMemo->setTextCursor(cursor);
    RxMsgMemo->centerCursor();
    MarkMatches(Pattern);
}

void TCommLogView::MarkMatches(const QString& Pattern) {
    QList<QTextEdit::ExtraSelection> marks;
    if (!Pattern.isEmpty()) {
        QTextDocument* doc = RxMsgMemo->document();
        QTextCharFormat mark;
        mark.setBackground(QColor(255, 214, 102));
        mark.setForeground(QColor(Qt::black));
        for (QTextCursor c = doc->find(Pattern); !c.isNull() && marks.size() < 5000;
             c = doc->find(Pattern, c))
            marks.append({c, mark});
    }
    RxMsgMemo->setExtraSelections(marks);
}

QString TCommLogView::SelectedText() const {
    // Line breaks inside a selection come as paragraph separators; the parser sees them as breaks.
    QString s = RxMsgMemo->textCursor().selectedText();
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return s;
}

void TCommLogView::MouseUp(const QPoint& GlobalPos) {
    if (!SelectedText().trimmed().isEmpty())
        PopupMenu1->popup(GlobalPos);
}

void TCommLogView::ShowDecoding(const TSelectionDecoding& Decoding) {
    ShowMessage(Decoding.Error ? TMessageKind::Error : TMessageKind::Information, Decoding.Text,
                Decoding.Error ? QStringLiteral("Error") : QString(), FWindow);
}
