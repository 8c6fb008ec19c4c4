#include "ui/ElidedLabel.h"

#include "platform/ErrorGuard.h"

#include <QPainter>
#include <QTextLayout>

TElidedLabel::TElidedLabel(QWidget* Parent) : QFrame(Parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void TElidedLabel::SetText(const QString& Text) {
    if (Text == FText)
        return;
    FText = Text;
    setAccessibleName(FText.left(200));
    update();
}

QSize TElidedLabel::sizeHint() const {
    const QFontMetrics fm(font());
    const QMargins m = contentsMargins();
    return {fm.horizontalAdvance(QStringLiteral("00 00 00 00 00 00 00 00 ")) + m.left() + m.right(),
            3 * fm.lineSpacing() + m.top() + m.bottom()};
}

QSize TElidedLabel::minimumSizeHint() const {
    const QFontMetrics fm(font());
    const QMargins m = contentsMargins();
    return {fm.horizontalAdvance(QStringLiteral("00 ...")) + m.left() + m.right(),
            fm.lineSpacing() + m.top() + m.bottom()};
}

void TElidedLabel::paintEvent(QPaintEvent* Event) {
    QFrame::paintEvent(Event);
    RunGuarded([this] {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRect r = contentsRect();
        const QFontMetrics fm(font());
        const int lineHeight = fm.lineSpacing();
        const int lines = qMax(1, r.height() / lineHeight);
        // No line holds more characters than fit at the width of the narrowest one we show.
        const int narrowest =
            qMax(1, qMin(fm.horizontalAdvance(QLatin1Char(' ')), fm.horizontalAdvance(QLatin1Char('1'))));
        const qsizetype perLine = r.width() / narrowest + 2;
        const QString shown = FText.left(perLine * lines + 1);

        QTextLayout layout(shown, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        int full = 0;             // lines drawn as laid out
        qsizetype elideFrom = -1; // start of a last line that ends in an ellipsis
        for (int i = 0; i < lines; ++i) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(r.width());
            line.setPosition(QPointF(0, i * lineHeight));
            if (i == lines - 1 && line.textStart() + line.textLength() < FText.size()) {
                elideFrom = line.textStart();
                break;
            }
            ++full;
        }
        layout.endLayout();
        for (int i = 0; i < full; ++i)
            layout.lineAt(i).draw(&painter, QPointF(r.left(), r.top()));
        if (elideFrom >= 0) {
            const QString rest = FText.mid(elideFrom, perLine + 1);
            painter.drawText(QRect(r.left(), r.top() + full * lineHeight, r.width(), lineHeight),
                             Qt::AlignLeft | Qt::AlignTop, fm.elidedText(rest, Qt::ElideRight, r.width()));
        }
    });
}
