#pragma once
// A panel with a narrow coloured band on its left carrying a vertical title (read bottom to top),
// and a content area to its right whose layout is the caller's.
#include <QColor>
#include <QFrame>

class TBandPanel : public QFrame {
    Q_OBJECT
public:
    TBandPanel(const QString& Title, const QColor& Band, QWidget* Parent = nullptr);

    QString Title() const { return FTitle; }
    QColor BandColor() const { return FBand; }
    // Lays out the panel's own controls; its parent is this panel.
    QWidget* Content() const { return FContent; }

private:
    QString FTitle;
    QColor FBand;
    QWidget* FContent = nullptr;
};
