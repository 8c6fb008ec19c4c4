#pragma once
// The main window's placement as one settings value of seven decimal integers:
// "200,flags,show state,left,top,right,bottom", the rectangle being the window's normal
// (restored) geometry with right and bottom exclusive. The mapping of Qt's window state onto
// flags and show state lives here and nowhere else:
//   show state 1 normal, 2 minimised, 3 maximised;
//   flag 2 (restore to maximised): minimised from the maximised state.
// A minimised window is not restored minimised: it comes back maximised when flag 2 is set,
// otherwise normal, so that the console never starts out of sight.
#include <QRect>
#include <QString>

#include <optional>

class QWidget;

struct TWindowPlacement {
    static constexpr int Marker = 200;
    enum : int { ShowNormal = 1, ShowMinimized = 2, ShowMaximized = 3 };
    enum : int { FlagRestoreToMaximized = 2 };

    int Flags = 0;
    int ShowCmd = ShowNormal;
    QRect Normal; // QRect geometry; written as left, top, left + width, top + height

    // Exactly seven integer fields, the first "200"; anything else is refused.
    static std::optional<TWindowPlacement> Parse(const QString& Value);
    QString Format() const;

    // Moved, never resized, back onto Desktop: right and bottom edges first, then left and top.
    static QRect MoveOnto(const QRect& Rect, const QRect& Desktop);

    static TWindowPlacement FromWindow(const QWidget* Window);
    // Geometry and state (see above); the window is not shown here.
    void ApplyTo(QWidget* Window) const;
};

// The main window's placement in "settings.ini" beside the program, section "Common", key "MainWin".
class TPlacementKeeper {
public:
    explicit TPlacementKeeper(QString Key = QStringLiteral("MainWin"));
    // Applies the stored placement, moved onto Desktop (the available virtual desktop when
    // empty). False when there was none or it was malformed: the window keeps its own.
    bool Restore(QWidget* Window, QRect Desktop = QRect()) const;
    bool Save(const QWidget* Window) const;

    static QString FileName();

private:
    QString FKey;
};
