// The live plot's canvas, its time range, zoom and pan, and the frames drawn from the buffer.
#include "ui/LivePlotView.h"

#include "platform/ErrorGuard.h"
#include "ui/PlotCanvas.h"

#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace {
int64_t ElapsedUs(std::chrono::steady_clock::time_point Since) {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now() - Since).count();
}

// Interval of 1, 2 or 5 times a power of ten, near Span / Count.
double NiceStep(double Span, int Count) {
    double Raw = Span / Count;
    double Power = std::pow(10.0, std::floor(std::log10(Raw)));
    double F = Raw / Power;
    return (F < 1.5 ? 1 : F < 3.5 ? 2 : F < 7.5 ? 5 : 10) * Power;
}

void SetHint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}

// An axis that fits Values on a 1-2-5 grid, so that it does not jitter with every sample.
TPlotAxis FitAxis(const std::vector<TPlotPoint>& Values, const TPlotAxis& Previous, double MinSpan) {
    if (Values.empty())
        return Previous;
    auto [Lo, Hi] = std::minmax_element(Values.begin(), Values.end(),
                                        [](const TPlotPoint& A, const TPlotPoint& B) { return A.V < B.V; });
    double Min = Lo->V, Max = Hi->V;
    if (Max - Min < MinSpan) {
        double Mid = (Min + Max) / 2;
        Min = Mid - MinSpan / 2;
        Max = Mid + MinSpan / 2;
    }
    const double Step = NiceStep(Max - Min, 5);
    return {std::floor(Min / Step) * Step, std::ceil(Max / Step) * Step, Step};
}
} // namespace

TLivePlotView::TLivePlotView(QWidget* Window, const TPlotBuffer& Buffer) : QObject(Window), FBuffer(Buffer) {
    lbCursor = new QLabel(Window);
    lbCursor->setObjectName(QStringLiteral("lbCursor"));
    lbCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SetHint(lbCursor, QStringLiteral("Time, position and force under the mouse pointer"));

    FCanvas = new TPlotCanvas(Window);
    FCanvas->setObjectName(QStringLiteral("pnPlot"));
    SetHint(FCanvas, QStringLiteral("While paused: wheel or +/- zooms, dragging or the arrow keys pan, "
                                    "Home and End go to the oldest and newest data"));
    FCanvas->OnPainted = [this](int64_t Us) { Painted(Us); };
    FCanvas->OnMouseMove = [this](std::optional<QPointF> Pos) { MouseMoved(Pos); };
    FCanvas->OnDrag = [this](double Pixels) {
        Pan(-Pixels * FSpan / std::max(1, FCanvas->PlotArea().width()));
    };
    FCanvas->OnZoom = [this](double Factor, double At) { Zoom(Factor, At); };
    FCanvas->OnKey = [this](int Key) { return this->Key(Key); };

    FTimer = new QTimer(this);
    FTimer->setTimerType(Qt::PreciseTimer);
    connect(FTimer, &QTimer::timeout, this, [this] { RunGuarded([&] { Frame(); }); });
}

QWidget* TLivePlotView::Canvas() const {
    return FCanvas;
}

QWidget* TLivePlotView::CursorLabel() const {
    return lbCursor;
}

void TLivePlotView::SetWindow(int Seconds) {
    FWindowSec = Seconds;
    FSpan = FWindowSec;
    Clamp();
    FDirty = true;
}

void TLivePlotView::SetPaused(bool Paused) {
    if (FPaused == Paused)
        return;
    FPaused = Paused;
    emit PausedChanged(Paused);
    if (!Paused)
        FSpan = FWindowSec; // back to the live window, whatever the zoom was
    FDirty = true;
}

void TLivePlotView::Zoom(double Factor, double At) {
    if (!FPaused || !(Factor > 0))
        return;
    double ViewStart = Start();
    double NewSpan = std::clamp(FSpan * Factor, 0.01, 2.0 * 3600);
    // Keep the time At under the same pixel.
    double Fraction = FSpan > 0 ? std::clamp((At - ViewStart) / FSpan, 0.0, 1.0) : 1.0;
    FEnd = At + (1 - Fraction) * NewSpan;
    FSpan = NewSpan;
    Clamp();
    FDirty = true;
}

void TLivePlotView::Pan(double Seconds) {
    if (!FPaused)
        return;
    FEnd += Seconds;
    Clamp();
    FDirty = true;
}

// Keeps some data in view: the view starts no earlier than the oldest data unless it is wider than
// all of it, and ends no later than the newest.
void TLivePlotView::Clamp() {
    double Lo = FBuffer.FirstTime().value_or(0);
    double Hi = std::max(FBuffer.LastTime().value_or(0), Lo);
    double MaxEnd = std::max(Hi, Lo + FSpan);
    FEnd = std::clamp(FEnd, std::min(Lo + FSpan, MaxEnd), MaxEnd);
}

bool TLivePlotView::Key(int Key) {
    if (Key == Qt::Key_Space) {
        SetPaused(!FPaused);
        return true;
    }
    if (!FPaused)
        return false;
    double Center = FEnd - FSpan / 2;
    switch (Key) {
    case Qt::Key_Left:
        Pan(-FSpan / 10);
        return true;
    case Qt::Key_Right:
        Pan(FSpan / 10);
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        Zoom(0.8, Center);
        return true;
    case Qt::Key_Minus:
        Zoom(1.25, Center);
        return true;
    case Qt::Key_Home:
        FEnd = FBuffer.FirstTime().value_or(0) + FSpan;
        Clamp();
        FDirty = true;
        return true;
    case Qt::Key_End:
        FEnd = FBuffer.LastTime().value_or(0);
        Clamp();
        FDirty = true;
        return true;
    default:
        return false;
    }
}

void TLivePlotView::Run(int IntervalMs) {
    FTimer->start(IntervalMs);
    FDirty = true;
}

void TLivePlotView::Stop() {
    FTimer->stop();
}

void TLivePlotView::RedrawNow() {
    FDirty = true;
    Frame();
}

void TLivePlotView::Frame() {
    const double Width = std::max(1, FCanvas->PlotArea().width());
    if (!FPaused) {
        // The window fills from the left until the first window length has passed.
        double NewEnd = std::max(FBuffer.Now(), double(FWindowSec));
        // Without new data, scroll only once the time moved by a pixel column.
        bool Moved = std::abs(NewEnd - FEnd) >= FSpan / Width;
        if (Moved || FBuffer.Generation() != FDrawnGeneration)
            FDirty = true;
        FEnd = NewEnd;
    }
    if (!FDirty)
        return;
    auto Begin = std::chrono::steady_clock::now();
    UpdateFrame();
    FDirty = false;
    FDrawnGeneration = FBuffer.Generation();
    FPendingFrameUs = std::max<int64_t>(FPendingFrameUs, 0) + ElapsedUs(Begin);
}

void TLivePlotView::UpdateFrame() {
    const double T0 = Start(), T1 = FEnd;
    const int Columns = std::max(1, FCanvas->PlotArea().width());
    const double HoldUntil = std::min(T1, FBuffer.Now());
    const TPlotFrame& Previous = FCanvas->Frame();

    auto Reduce = [&](const TSampleRing& Ring) {
        std::vector<TPlotPoint> Points = ReducePoints(FBuffer, Ring, T0, T1, Columns);
        // Reports come only on change: the last value holds until now.
        if (!Points.empty() && Points.back().T < HoldUntil)
            Points.push_back({HoldUntil, Points.back().V});
        return Points;
    };
    TPlotFrame F;
    F.PositionPoints = Reduce(FBuffer.Position());
    F.ForcePoints = Reduce(FBuffer.Force());
    F.Position = FitAxis(F.PositionPoints, Previous.Position, 1.0);
    F.Force = FitAxis(F.ForcePoints, Previous.Force, 1.0);
    F.Time = {T0, T1, NiceStep(T1 - T0, std::max(2, Columns / 90))};
    F.Bands = StateSpans(FBuffer, T0, T1);
    FCanvas->SetFrame(std::move(F));
}

void TLivePlotView::Painted(int64_t PaintUs) {
    if (FPendingFrameUs < 0)
        return; // a repaint without new data (cursor line, exposure)
    int64_t FrameUs = FPendingFrameUs + PaintUs;
    FPendingFrameUs = -1;
    ++FStats.Frames;
    FStats.TotalFrameUs += FrameUs;
    FStats.LongestFrameUs = std::max(FStats.LongestFrameUs, FrameUs);
}

QRect TLivePlotView::PlotArea() const {
    return FCanvas->PlotArea();
}

QString TLivePlotView::CursorText(QPointF PlotPos) const {
    if (!FCanvas->PlotArea().contains(PlotPos.toPoint()))
        return QString();
    const double T = FCanvas->TimeAt(PlotPos.x());
    auto Number = [](std::optional<double> V, const char* Unit) {
        return V ? QStringLiteral("%1 %2").arg(*V, 0, 'f', 2).arg(QLatin1String(Unit)) : QStringLiteral("-");
    };
    std::optional<int> State = FBuffer.GraspingStateAt(T);
    return QStringLiteral("Time: %1 s   Position: %2   Force: %3   State: %4")
        .arg(T, 0, 'f', 3)
        .arg(Number(FBuffer.PositionAt(T), "mm"), Number(FBuffer.ForceAt(T), "N"),
             State ? QString::fromStdString(GraspingStateText(*State)) : QStringLiteral("-"));
}

void TLivePlotView::MouseMoved(std::optional<QPointF> PlotPos) {
    QString Text = PlotPos ? CursorText(*PlotPos) : QString();
    lbCursor->setText(Text);
    FCanvas->SetCursorX(Text.isEmpty() ? std::nullopt : std::optional<double>(PlotPos->x()));
}
