#pragma once
// The drawing surface of the live plot: two value axes over a time axis, the grasping-state band
// along the time axis and a legend, painted with QPainter from a frame that the window prepares.
// Painting is all it does; zoom, pan and the read-out belong to the window through the callbacks.
#include "ui/PlotBuffer.h"

#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

struct TPlotAxis {
    double Min = 0;
    double Max = 1;
    double Step = 0.2; // distance of the ticks and grid lines
};

// What one frame shows, in axis units (seconds, mm, N).
struct TPlotFrame {
    TPlotAxis Time{0, 30, 5};
    TPlotAxis Position;
    TPlotAxis Force;
    std::vector<TPlotPoint> PositionPoints;
    std::vector<TPlotPoint> ForcePoints;
    std::vector<TStateSpan> Bands;
};

class TPlotCanvas : public QWidget {
public:
    explicit TPlotCanvas(QWidget* Parent = nullptr);

    void SetFrame(TPlotFrame Frame);
    const TPlotFrame& Frame() const { return FFrame; }
    // The rectangle of the curves, and the time under a horizontal position in it.
    QRect PlotArea() const { return FPlotArea; }
    double TimeAt(double X) const;
    // A vertical cursor line at X, or none.
    void SetCursorX(std::optional<double> X);

    std::function<void(int64_t PaintUs)> OnPainted;
    std::function<void(std::optional<QPointF> Pos)> OnMouseMove; // none: the pointer left
    std::function<void(double Pixels)> OnDrag;                   // leftwards drags are negative
    std::function<void(double Factor, double AtTime)> OnZoom;
    std::function<bool(int Key)> OnKey;

    QSize sizeHint() const override { return QSize(640, 360); }
    QSize minimumSizeHint() const override { return QSize(240, 160); }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void UpdateLayout();
    void PaintStatic();
    const QStaticText& Label(const QString& Text);
    void PaintLegend(QPainter& P);
    void PaintAxes(QPainter& P);
    void PaintCurve(QPainter& P, const std::vector<TPlotPoint>& Points, const TPlotAxis& Axis,
                    const QColor& Color);

    TPlotFrame FFrame;
    QRect FPlotArea;
    int FBandHeight = 8;
    int FLegendRows = 1;
    std::optional<double> FCursorX;
    std::optional<double> FDragX;
    std::vector<QPointF> FPolyline; // reused from frame to frame
    QPixmap FStatic;
    QHash<QString, QStaticText> FLabels;
};

// Colours of the curves and of the grasping states, shared by the legend and the band.
QColor PlotPositionColor(const QPalette& Palette);
QColor PlotForceColor(const QPalette& Palette);
extern const QColor PlotStateColors[8];
