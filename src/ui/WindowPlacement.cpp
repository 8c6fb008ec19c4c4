#include "ui/WindowPlacement.h"

#include "platform/IniFile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace {
const QString Section = QStringLiteral("Common");
}

std::optional<TWindowPlacement> TWindowPlacement::Parse(const QString& Value) {
    const QStringList f = Value.split(QLatin1Char(','));
    if (f.size() != 7 || f[0].trimmed() != QLatin1String("200"))
        return std::nullopt;
    int n[7];
    for (int i = 0; i < 7; ++i) {
        bool ok = false;
        n[i] = f[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    // A rectangle without area cannot hold a window; it is as good as no value.
    if (n[5] <= n[3] || n[6] <= n[4])
        return std::nullopt;
    TWindowPlacement p;
    p.Flags = n[1];
    p.ShowCmd = n[2];
    p.Normal = QRect(QPoint(n[3], n[4]), QSize(n[5] - n[3], n[6] - n[4]));
    return p;
}

QString TWindowPlacement::Format() const {
    return QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
        .arg(Marker)
        .arg(Flags)
        .arg(ShowCmd)
        .arg(Normal.left())
        .arg(Normal.top())
        .arg(Normal.left() + Normal.width())
        .arg(Normal.top() + Normal.height());
}

QRect TWindowPlacement::MoveOnto(const QRect& Rect, const QRect& Desktop) {
    QRect r = Rect;
    const int deskRight = Desktop.left() + Desktop.width();
    const int deskBottom = Desktop.top() + Desktop.height();
    if (r.left() + r.width() > deskRight)
        r.moveLeft(deskRight - r.width());
    if (r.top() + r.height() > deskBottom)
        r.moveTop(deskBottom - r.height());
    if (r.left() < Desktop.left())
        r.moveLeft(Desktop.left());
    if (r.top() < Desktop.top())
        r.moveTop(Desktop.top());
    return r;
}

TWindowPlacement TWindowPlacement::FromWindow(const QWidget* Window) {
    TWindowPlacement p;
    const Qt::WindowStates s = Window->windowState();
    if (s & Qt::WindowMinimized) {
        p.ShowCmd = ShowMinimized;
        if (s & (Qt::WindowMaximized | Qt::WindowFullScreen))
            p.Flags = FlagRestoreToMaximized;
    } else if (s & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        p.ShowCmd = ShowMaximized;
    }
    p.Normal = Window->normalGeometry();
    if (!p.Normal.isValid())
        p.Normal = Window->geometry();
    return p;
}

void TWindowPlacement::ApplyTo(QWidget* Window) const {
    Window->setGeometry(Normal);
    const bool maximised =
        ShowCmd == ShowMaximized || (ShowCmd == ShowMinimized && (Flags & FlagRestoreToMaximized));
    Window->setWindowState(maximised ? Qt::WindowMaximized : Qt::WindowNoState);
}

TPlacementKeeper::TPlacementKeeper(QString Key) : FKey(std::move(Key)) {}

QString TPlacementKeeper::FileName() {
    return TIniFile::PathFor(QStringLiteral("settings.ini"));
}

bool TPlacementKeeper::Restore(QWidget* Window, QRect Desktop) const {
    const TIniFile ini(FileName());
    std::optional<TWindowPlacement> p = TWindowPlacement::Parse(ini.ReadString(Section, FKey, QString()));
    if (!p)
        return false;
    if (Desktop.isEmpty())
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            Desktop = screen->availableVirtualGeometry();
    if (!Desktop.isEmpty())
        p->Normal = TWindowPlacement::MoveOnto(p->Normal, Desktop);
    p->ApplyTo(Window);
    return true;
}

bool TPlacementKeeper::Save(const QWidget* Window) const {
    TIniFile ini(FileName());
    return ini.WriteString(Section, FKey, TWindowPlacement::FromWindow(Window).Format());
}
