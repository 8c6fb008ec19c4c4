#include "ConsoleStyle.h"

#include <QPainter>
#include <QPointer>
#include <QWidget>

TDeferredIconEngine::TDeferredIconEngine(std::function<QIcon()> Make) : FShared(std::make_shared<TShared>()) {
    FShared->Make = std::move(Make);
}

const QIcon& TDeferredIconEngine::Icon() {
    if (!FShared->Made) {
        FShared->Made = true;
        FShared->Icon = FShared->Make();
        FShared->Make = nullptr;
    }
    return FShared->Icon;
}

void TDeferredIconEngine::paint(QPainter* Painter, const QRect& Rect, QIcon::Mode Mode, QIcon::State State) {
    Icon().paint(Painter, Rect, Qt::AlignCenter, Mode, State);
}

QSize TDeferredIconEngine::actualSize(const QSize& Size, QIcon::Mode Mode, QIcon::State State) {
    return Icon().actualSize(Size, Mode, State);
}

QPixmap TDeferredIconEngine::pixmap(const QSize& Size, QIcon::Mode Mode, QIcon::State State) {
    return Icon().pixmap(Size, Mode, State);
}

QPixmap TDeferredIconEngine::scaledPixmap(const QSize& Size, QIcon::Mode Mode, QIcon::State State,
                                          qreal Scale) {
    return Icon().pixmap(Size, Scale, Mode, State);
}

QList<QSize> TDeferredIconEngine::availableSizes(QIcon::Mode Mode, QIcon::State State) {
    return Icon().availableSizes(Mode, State);
}

QString TDeferredIconEngine::iconName() {
    return Icon().name();
}

bool TDeferredIconEngine::isNull() {
    return Icon().isNull();
}

QString TDeferredIconEngine::key() const {
    return QStringLiteral("TDeferredIconEngine");
}

QIconEngine* TDeferredIconEngine::clone() const {
    return new TDeferredIconEngine(FShared);
}

QIcon TConsoleStyle::standardIcon(StandardPixmap Icon, const QStyleOption* Option,
                                  const QWidget* Widget) const {
    if (Icon != SP_ToolBarHorizontalExtensionButton && Icon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(Icon, Option, Widget);
    // The option describes the moment of the call; the picture does not depend on it for these two.
    QPointer<QWidget> widget(const_cast<QWidget*>(Widget));
    QPointer<TConsoleStyle> self(const_cast<TConsoleStyle*>(this));
    return QIcon(new TDeferredIconEngine([self, widget, Icon] {
        return self ? self->QProxyStyle::standardIcon(Icon, nullptr, widget.data()) : QIcon();
    }));
}
