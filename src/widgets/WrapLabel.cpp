#include "WrapLabel.h"

#include <QEvent>

TWrapLabel::TWrapLabel(const QString& Text, QWidget* Parent) : QLabel(Text, Parent) {
    setWordWrap(true);
}

int TWrapLabel::heightForWidth(int Width) const {
    if (text() != FMeasuredText || margin() != FMeasuredMargin || indent() != FMeasuredIndent) {
        FHeights.clear();
        FMeasuredText = text();
        FMeasuredMargin = margin();
        FMeasuredIndent = indent();
    }
    const auto known = FHeights.constFind(Width);
    if (known != FHeights.constEnd())
        return *known;
    const int height = QLabel::heightForWidth(Width);
    FHeights.insert(Width, height);
    return height;
}

void TWrapLabel::changeEvent(QEvent* Event) {
    // Anything that changes how the text is measured (font, style, margins through the style).
    switch (Event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::ContentsRectChange:
    case QEvent::LayoutDirectionChange:
        FHeights.clear();
        break;
    default:
        break;
    }
    QLabel::changeEvent(Event);
}
