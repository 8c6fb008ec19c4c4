#pragma once
// Keeps windows wholly on a screen: dialogs and tool windows open centred on the main window, and
// a main window near a screen edge must not push them off it.
#include <QList>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <array>
#include <climits>

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

// A control that nothing may cover (the stop buttons) carries this property set to true: boxes and
// dialogs opened over its window are placed clear of it.
inline constexpr char KeepClearProperty[] = "keepClear";

inline void MarkKeepClear(QWidget* Control) {
    Control->setProperty(KeepClearProperty, true);
}

// The screen rectangles of Owner's window that must stay visible.
inline QList<QRect> KeepClearAreas(const QWidget* Owner) {
    QList<QRect> areas;
    if (!Owner)
        return areas;
    const QWidget* window = Owner->window();
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->property(KeepClearProperty).toBool() || !w->isVisible() || w->window() != window)
            continue;
        // What a scroll area shows of it, with a margin so that its frame stays in sight too.
        QRect r = w->visibleRegion().boundingRect();
        if (r.isEmpty())
            continue;
        r.moveTopLeft(w->mapToGlobal(r.topLeft()));
        areas.append(r.adjusted(-4, -4, 4, 4));
    }
    return areas;
}

// The first place for a rectangle of Size that lies on Area and covers none of Keep: centred on
// the owner, then the owner's corners and edges, then beside it; failing all, the one covering least.
inline QPoint ClearPlace(QSize Size, const QRect& OwnerFrame, const QList<QRect>& Keep, const QRect& Area) {
    const QRect o = OwnerFrame;
    const int w = Size.width();
    const int h = Size.height();
    const int cx = o.center().x() - w / 2;
    const int cy = o.center().y() - h / 2;
    const std::array<QPoint, 13> candidates{{
        {cx, cy},
        {o.left(), o.top()}, // over the left column's top
        {o.left(), cy},
        {o.left(), o.bottom() - h},
        {cx, o.top()},
        {cx, o.bottom() - h},
        {o.right() - w, o.top()},
        {o.right() - w, cy},
        {o.right() - w, o.bottom() - h},
        {o.right() + 1, o.top()}, // beside the window
        {o.left() - w, o.top()},
        {o.left(), o.bottom() + 1},
        {o.left(), o.top() - h},
    }};
    QPoint best = candidates.front();
    long long leastCovered = LLONG_MAX;
    for (const QPoint& p : candidates) {
        const QRect r = Area.isValid() ? MoveIntoArea(QRect(p, Size), Area) : QRect(p, Size);
        long long covered = 0;
        for (const QRect& k : Keep) {
            const QRect both = r.intersected(k);
            covered += both.isEmpty() ? 0 : (long long)both.width() * both.height();
        }
        if (covered == 0)
            return r.topLeft();
        if (covered < leastCovered) {
            leastCovered = covered;
            best = r.topLeft();
        }
    }
    return best;
}

// Moves Window onto the screen of Owner, near Owner's window but clear of its stop buttons.
inline void PlaceClearOf(QWidget* Window, const QWidget* Owner) {
    const QWidget* owner = Owner->window();
    const QScreen* screen = owner->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    Window->move(
        ClearPlace(Window->frameGeometry().size(), owner->frameGeometry(), KeepClearAreas(owner), area));
}
