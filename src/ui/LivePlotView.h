#pragma once
// The live plot's view: the canvas with the read-out under it, the time range it shows (the live
// window, or a paused view zoomed and panned), and the frames drawn on a timer from the buffer.
#include "ui/PlotBuffer.h"

#include <QObject>
#include <QPointF>
#include <QRect>

#include <cstdint>
#include <optional>

class QLabel;
class QTimer;
class QWidget;
class TPlotCanvas;

class TLivePlotView : public QObject {
    Q_OBJECT
public:
    // Work per frame for the benchmark: series update, and the paint that followed it.
    struct TFrameStats {
        uint64_t Frames = 0;
        int64_t LongestFrameUs = 0;
        int64_t TotalFrameUs = 0;
    };

    // The controls are Window's children; Buffer outlives the view.
    TLivePlotView(QWidget* Window, const TPlotBuffer& Buffer);
    QWidget* Canvas() const;
    QWidget* CursorLabel() const;

    // Visible time span of the live view, in seconds.
    int Window() const { return FWindowSec; }
    void SetWindow(int Seconds);
    bool Paused() const { return FPaused; }
    void SetPaused(bool Paused);
    // The time range on the axis (seconds since the first sample).
    double Start() const { return FEnd - FSpan; }
    double End() const { return FEnd; }
    // While paused: Factor below 1 zooms in around the time At; Seconds moves the view.
    void Zoom(double Factor, double At);
    void Pan(double Seconds);
    // Space pauses and resumes; while paused the arrows pan, +/- zoom, Home and End go to the
    // oldest and newest data. False for any other key.
    bool Key(int Key);

    QRect PlotArea() const;
    QString CursorText(QPointF PlotPos) const;
    // Frames every IntervalMs while the window is shown.
    void Run(int IntervalMs);
    void Stop();
    // Runs one frame now instead of waiting for the timer.
    void RedrawNow();
    const TFrameStats& FrameStats() const { return FStats; }
    void ResetFrameStats() { FStats = {}; }

signals:
    void PausedChanged(bool Paused);

private:
    void Frame();
    void UpdateFrame();
    void Clamp();
    void Painted(int64_t PaintUs);
    void MouseMoved(std::optional<QPointF> PlotPos);

    const TPlotBuffer& FBuffer;
    QLabel* lbCursor = nullptr;
    TPlotCanvas* FCanvas = nullptr;
    QTimer* FTimer = nullptr;
    int FWindowSec = 30;
    bool FPaused = false;
    double FEnd = 0;
    double FSpan = 30;
    bool FDirty = true;
    uint64_t FDrawnGeneration = ~uint64_t(0);
    TFrameStats FStats;
    int64_t FPendingFrameUs = -1; // series work waiting for its paint
};
