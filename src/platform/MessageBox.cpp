#include "platform/MessageBox.h"

#include "platform/OnScreen.h"

#include <QAccessible>
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTime>

#include <vector>

namespace {

// What a box shows in its label; beyond it, the text scrolls in the details.
constexpr qsizetype MaxShownChars = 1500;
constexpr qsizetype MaxShownLines = 24;
// A run of characters without a blank (a decoded selection) wraps nowhere: it gets break
// opportunities every so many characters.
constexpr qsizetype MaxWordChars = 40;
constexpr qsizetype SummaryChars = 600;
const QChar BreakOpportunity(0x200B); // zero-width space

struct TEntry {
    TMessageKind Kind;
    QString Text;
    QString Caption;
    QTime Time;
};

class TJoinedBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    std::vector<TEntry> Entries;
};

QPointer<TJoinedBox>& Current() {
    static QPointer<TJoinedBox> box;
    return box;
}

bool Fits(const QString& Text) {
    return Text.size() <= MaxShownChars && Text.count(QLatin1Char('\n')) < MaxShownLines;
}

// The beginning of Text, ended at a blank where there is one, for a text too long to show whole.
QString Summary(const QString& Text) {
    QString head = Text.left(SummaryChars);
    const QStringList lines = head.split(QLatin1Char('\n'));
    if (lines.size() > MaxShownLines / 2)
        head = lines.mid(0, MaxShownLines / 2).join(QLatin1Char('\n'));
    const qsizetype blank = head.lastIndexOf(QLatin1Char(' '));
    if (blank > head.size() / 2)
        head.truncate(blank);
    return head + QStringLiteral(" …");
}

QString WithBreakOpportunities(const QString& Text) {
    QString out;
    out.reserve(Text.size() + Text.size() / MaxWordChars);
    qsizetype run = 0;
    for (const QChar c : Text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > MaxWordChars) {
            out.append(BreakOpportunity);
            run = 1;
        }
        out.append(c);
    }
    return out;
}

QString EntryText(const TEntry& Entry, bool WithTime) {
    return WithTime ? Entry.Time.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + Entry.Text
                    : Entry.Text;
}

void ShowEntries(TJoinedBox& Box) {
    const std::vector<TEntry>& entries = Box.Entries;
    const bool several = entries.size() > 1;
    QStringList all;
    for (const TEntry& e : entries)
        all << EntryText(e, several);
    const QString full = all.join(QStringLiteral("\n\n"));
    bool error = false;
    QString caption = entries.back().Caption;
    for (const TEntry& e : entries)
        if (e.Kind == TMessageKind::Error) {
            error = true;
            caption = e.Caption; // the latest error names the box
        }
    Box.setIcon(error ? QMessageBox::Critical : QMessageBox::Information);
    Box.setWindowTitle(caption);
    if (Fits(full)) {
        Box.setText(WithBreakOpportunities(full));
        Box.setDetailedText(QString());
        return;
    }
    // The newest message in the label; everything, scrolling, in the details.
    QString shown = EntryText(entries.back(), several);
    if (!Fits(shown))
        shown = Summary(shown);
    if (several)
        shown += QStringLiteral("\n\n(%1 earlier messages are in the details.)").arg(entries.size() - 1);
    Box.setText(WithBreakOpportunities(shown));
    Box.setDetailedText(full);
}

QWidget* OwnerFor(QWidget* Parent) {
    if (Parent)
        return Parent->window();
    if (QWidget* active = QApplication::activeWindow(); active && !qobject_cast<QMessageBox*>(active))
        return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w) && w->isVisible())
            return w;
    return nullptr;
}

void Announce(QMessageBox& Box) {
    QAccessibleEvent event(&Box, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

} // namespace

QMessageBox* OpenMessageBox() {
    TJoinedBox* box = Current();
    return box && box->isVisible() ? box : nullptr;
}

TMessageHook MessageBoxHook() {
    return [](const TMessage& Message) {
        const TEntry entry{Message.Kind, Message.Text,
                           Message.Caption.isEmpty() ? QCoreApplication::applicationName() : Message.Caption,
                           QTime::currentTime()};
        if (TJoinedBox* open = Current(); open && open->isVisible()) {
            open->Entries.push_back(entry);
            ShowEntries(*open);
            Announce(*open);
            // Grown, it may now cover a stop button: only then is it moved.
            if (QWidget* owner = open->parentWidget(); owner && owner->isVisible()) {
                const QRect now = open->frameGeometry();
                for (const QRect& keep : KeepClearAreas(owner))
                    if (now.intersects(keep)) {
                        PlaceClearOf(open, owner);
                        break;
                    }
            }
            return;
        }
        QWidget* owner = OwnerFor(Message.Parent);
        auto* box = new TJoinedBox(QMessageBox::NoIcon, entry.Caption, QString(), QMessageBox::Ok, owner);
        box->setObjectName(QStringLiteral("MessageBox"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->setTextFormat(Qt::PlainText);
        box->Entries.push_back(entry);
        ShowEntries(*box);
        Current() = box;
        box->show(); // announced as an alert by the box itself
        if (owner && owner->isVisible())
            PlaceClearOf(box, owner);
    };
}
