#pragma once
// Keeps windows wholly on a screen: dialogs and tool windows open centred on the main window, and
// a main window near a screen edge must not push them off it.
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QWidget>

// Rect moved, never resized, into Area: right and bottom edges first, then left and top, so that a
// rectangle larger than the area shows its top-left corner.
inline QRect MoveIntoArea(QRect Rect, const QRect& Area) {
    if (Rect.right() > Area.right())
        Rect.moveRight(Area.right());
    if (Rect.bottom() > Area.bottom())
        Rect.moveBottom(Area.bottom());
    if (Rect.left() < Area.left())
        Rect.moveLeft(Area.left());
    if (Rect.top() < Area.top())
        Rect.moveTop(Area.top());
    return Rect;
}

// Moves Window so that its frame is centred on Owner's frame and lies on the screen that holds Owner.
inline void CenterOnScreenOf(QWidget* Window, const QWidget* Owner) {
    QRect r = Window->frameGeometry();
    r.moveCenter(Owner->frameGeometry().center());
    if (const QScreen* screen = Owner->screen())
        r = MoveIntoArea(r, screen->availableGeometry());
    Window->move(r.topLeft());
}
