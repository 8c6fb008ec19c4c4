#pragma once
// The console's application style: the platform's own style, except that the menu bar's overflow
// arrow is read from the style only when it is first drawn. Qt's built-in styles read that picture
// through image-format detection, which loads every installed image plug-in into the program; the
// arrow is drawn only when the window is too narrow for its menus, so the start need not pay for it.
#include <QIcon>
#include <QIconEngine>
#include <QProxyStyle>

#include <functional>
#include <memory>

// An icon whose pictures come from Make, called on the first question that needs them.
class TDeferredIconEngine : public QIconEngine {
public:
    explicit TDeferredIconEngine(std::function<QIcon()> Make);

    void paint(QPainter* Painter, const QRect& Rect, QIcon::Mode Mode, QIcon::State State) override;
    QSize actualSize(const QSize& Size, QIcon::Mode Mode, QIcon::State State) override;
    QPixmap pixmap(const QSize& Size, QIcon::Mode Mode, QIcon::State State) override;
    QPixmap scaledPixmap(const QSize& Size, QIcon::Mode Mode, QIcon::State State, qreal Scale) override;
    QList<QSize> availableSizes(QIcon::Mode Mode, QIcon::State State) override;
    QString iconName() override;
    bool isNull() override;
    QString key() const override;
    QIconEngine* clone() const override;

private:
    struct TShared {
        std::function<QIcon()> Make;
        QIcon Icon;
        bool Made = false;
    };
    explicit TDeferredIconEngine(std::shared_ptr<TShared> Shared) : FShared(std::move(Shared)) {}
    const QIcon& Icon();

    std::shared_ptr<TShared> FShared;
};

class TConsoleStyle : public QProxyStyle {
public:
    // Wraps the style the application would otherwise use (honouring -style and QT_STYLE_OVERRIDE).
    TConsoleStyle() = default;

    QIcon standardIcon(StandardPixmap Icon, const QStyleOption* Option = nullptr,
                       const QWidget* Widget = nullptr) const override;
};
