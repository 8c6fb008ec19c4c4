#pragma once
// The sensor window's view of one frame: the cells coloured on a perceptually uniform scale and
// drawn in the sensor's proportions, the cell under the pointer or the keyboard cursor, an optional
// number per cell, the scale's legend, and a small plot of the total over time.
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

// Total, maximum and centre of pressure of one frame; the centre in cells from the matrix's
// top-left corner, cell centres at .5 (only when the total is above 0).
struct TFrameStats {
    int64_t Total = 0;
    int32_t Maximum = 0;
    int32_t MaximumIndex = -1;
    std::optional<QPointF> Centre;
};
TFrameStats FrameStats(const std::vector<int32_t>& Cells, int Width, int Height);

// The colour scale (viridis: dark blue through green to yellow, even in lightness).
QRgb ScaleColour(double Fraction); // clamped to 0..1

// The values the colour scale spans: Low maps to the first colour, High to the last.
struct TColourRange {
    int32_t Low = 0;
    int32_t High = 1;
    double Fraction(int32_t Value) const;
    bool operator==(const TColourRange&) const = default;
};
// A fixed upper end when FixedHigh > 0; otherwise 0 to the frame's maximum, at least Floor (and 1),
// so that the noise of an unloaded pad keeps the dark end of the scale.
TColourRange RangeFor(const TFrameStats& Stats, int32_t FixedHigh, int32_t Floor = 1);

class TPressureMap : public QWidget {
public:
    explicit TPressureMap(QWidget* Parent = nullptr);

    // Cell count and cell size (in the sensor's unit: only their ratio matters here).
    void SetMatrix(int Width, int Height, double CellWidth, double CellHeight);
    int MatrixWidth() const { return FWidth; }
    int MatrixHeight() const { return FHeight; }
    // Copies the cells (row by row, Width x Height of them) and repaints with Range.
    void SetFrame(const std::vector<int32_t>& Cells, TColourRange Range);
    void Clear();
    bool HasFrame() const { return !FCells.empty(); }
    const std::vector<int32_t>& Cells() const { return FCells; }
    TColourRange Range() const { return FRange; }
    int32_t Value(QPoint Cell) const;

    void SetShowValues(bool Show);
    bool ShowValues() const { return FShowValues; }

    // Where the matrix is drawn, and the cell at a point of the widget.
    QRectF MatrixRect() const;
    std::optional<QPoint> CellAt(QPointF Pos) const;
    // The inspected cell (pointer or arrow keys).
    std::optional<QPoint> Cursor() const { return FCursor; }
    void SetCursor(std::optional<QPoint> Cell);
    std::function<void(std::optional<QPoint> Cell)> OnCursorChanged;

    // One pixel per cell in the scale's colours, as painted.
    const QImage& CellImage();
    // The frame drawn at CellPixels per cell along the shorter cell side, in the sensor's proportions.
    QImage Render(int CellPixels);

    QSize sizeHint() const override { return QSize(360, 420); }
    QSize minimumSizeHint() const override { return QSize(120, 120); }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;

private:
    void PaintValues(QPainter& P, const QRectF& Area);

    int FWidth = 0;
    int FHeight = 0;
    double FCellWidth = 1;
    double FCellHeight = 1;
    std::vector<int32_t> FCells;
    TColourRange FRange;
    QImage FImage;
    bool FImageStale = true;
    bool FShowValues = false;
    std::optional<QPoint> FCursor;
};

// The scale with the values at its ends and middle, upper end at the top.
class TScaleLegend : public QWidget {
public:
    explicit TScaleLegend(QWidget* Parent = nullptr);
    void SetRange(TColourRange Range);
    // No frame: the scale without numbers.
    void ClearRange();
    bool HasRange() const { return FHasRange; }
    TColourRange Range() const { return FRange; }
    QString RangeText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    TColourRange FRange;
    bool FHasRange = false;
};

// The total of each frame over the last seconds.
class TTotalPlot : public QWidget {
public:
    static constexpr double SpanS = 20;

    explicit TTotalPlot(QWidget* Parent = nullptr);
    void Add(double TimeS, double Total);
    // Schedules a paint when points arrived since the last one.
    void Refresh();
    void Clear();
    size_t Count() const { return FPoints.size(); }
    double Newest() const { return FPoints.empty() ? -1 : FPoints.back().x(); }
    // The time of the newest point the last paint drew (-1 before one was drawn): what is on screen.
    double PaintedUntil() const { return FPaintedUntil; }

    QSize sizeHint() const override { return QSize(360, 90); }
    QSize minimumSizeHint() const override { return QSize(120, 60); }

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    std::deque<QPointF> FPoints;
    double FMax = 1;
    double FPaintedUntil = -1;
};
