#include "ui/LivePlotForm.h"

#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"
#include "ui/PlotCanvas.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>

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

const int TLivePlot::WindowLengths[4] = {10, 30, 60, 300};

TLivePlot::TLivePlot(QWidget* Parent, TPlotClock Clock)
    // A window of its own, not Qt::Tool: a tool window would let the main window's shortcuts fire
    // here (Escape would stop the fingers, F3 would disconnect).
    : QWidget(Parent, Qt::Window), FBuffer(std::move(Clock)) {
    setObjectName(QStringLiteral("LivePlot"));
    setWindowTitle(QStringLiteral("Live Plot"));
    resize(760, 460);
    setMinimumSize(420, 280);

    cbWindow = new QComboBox(this);
    cbWindow->setObjectName(QStringLiteral("cbWindow"));
    cbWindow->addItems(
        {QStringLiteral("10 s"), QStringLiteral("30 s"), QStringLiteral("60 s"), QStringLiteral("5 min")});
    cbWindow->setCurrentIndex(1);
    SetHint(cbWindow, QStringLiteral("Length of the time window shown"));
    auto* lbWindow = new QLabel(QStringLiteral("&Window:"), this);
    lbWindow->setObjectName(QStringLiteral("lbWindow"));
    lbWindow->setBuddy(cbWindow);

    auto MakeButton = [this](const char* Name, const QString& Text, const QString& Hint) {
        auto* B = new QToolButton(this);
        B->setObjectName(QLatin1String(Name));
        B->setText(Text);
        B->setToolButtonStyle(Qt::ToolButtonTextOnly);
        B->setFocusPolicy(Qt::StrongFocus);
        SetHint(B, Hint);
        return B;
    };
    btnPause = MakeButton("btnPause", QStringLiteral("&Pause"),
                          QStringLiteral("Freeze the view to zoom and pan (Space); data keeps arriving"));
    btnPause->setCheckable(true);
    btnExportCsv = MakeButton("btnExportCsv", QStringLiteral("Export &CSV..."),
                              QStringLiteral("Save all buffered samples as a CSV file"));
    btnExportPng = MakeButton("btnExportPng", QStringLiteral("Export P&NG..."),
                              QStringLiteral("Save the plot as shown as a PNG image"));
    lbCursor = new QLabel(this);
    lbCursor->setObjectName(QStringLiteral("lbCursor"));
    lbCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SetHint(lbCursor, QStringLiteral("Time, position and force under the mouse pointer"));

    FCanvas = new TPlotCanvas(this);
    FCanvas->setObjectName(QStringLiteral("pnPlot"));
    SetHint(FCanvas, QStringLiteral("While paused: wheel or +/- zooms, dragging or the arrow keys pan, "
                                    "Home and End go to the oldest and newest data"));
    FCanvas->OnPainted = [this](int64_t Us) { ViewPainted(Us); };
    FCanvas->OnMouseMove = [this](std::optional<QPointF> Pos) { ViewMouseMoved(Pos); };
    FCanvas->OnDrag = [this](double Pixels) {
        Pan(-Pixels * FViewSpan / std::max(1, FCanvas->PlotArea().width()));
    };
    FCanvas->OnZoom = [this](double Factor, double At) { Zoom(Factor, At); };
    FCanvas->OnKey = [this](int Key) { return HandleViewKey(Key); };

    auto* Top = new QHBoxLayout;
    Top->addWidget(lbWindow);
    Top->addWidget(cbWindow);
    Top->addWidget(btnPause);
    Top->addWidget(btnExportCsv);
    Top->addWidget(btnExportPng);
    Top->addStretch(1);
    auto* Main = new QVBoxLayout(this);
    Main->setContentsMargins(4, 4, 4, 4);
    Main->addLayout(Top);
    Main->addWidget(FCanvas, 1);
    Main->addWidget(lbCursor);

    setTabOrder(cbWindow, btnPause);
    setTabOrder(btnPause, btnExportCsv);
    setTabOrder(btnExportCsv, btnExportPng);
    setTabOrder(btnExportPng, FCanvas);

    connect(cbWindow, &QComboBox::currentIndexChanged, this,
            [this](int Index) { RunGuarded([&] { cbWindowChange(Index); }); });
    connect(btnPause, &QToolButton::clicked, this, [this] { RunGuarded([&] { btnPauseClick(); }); });
    connect(btnExportCsv, &QToolButton::clicked, this, [this] { RunGuarded([&] { btnExportCsvClick(); }); });
    connect(btnExportPng, &QToolButton::clicked, this, [this] { RunGuarded([&] { btnExportPngClick(); }); });

    FTimer = new QTimer(this);
    FTimer->setTimerType(Qt::PreciseTimer);
    connect(FTimer, &QTimer::timeout, this, [this] { RunGuarded([&] { Frame(); }); });
}

TLivePlot::~TLivePlot() = default;

void TLivePlot::AddPosition(double Mm) {
    FBuffer.AddPosition(Mm);
}
void TLivePlot::AddForce(double N) {
    FBuffer.AddForce(N);
}
void TLivePlot::AddGraspingState(int State) {
    FBuffer.AddGraspingState(State);
}

void TLivePlot::SetWindowLength(int Seconds) {
    auto It = std::find(std::begin(WindowLengths), std::end(WindowLengths), Seconds);
    if (It == std::end(WindowLengths))
        return;
    int Index = int(It - std::begin(WindowLengths));
    if (cbWindow->currentIndex() != Index)
        cbWindow->setCurrentIndex(Index); // comes back through cbWindowChange
    else
        cbWindowChange(Index);
}

void TLivePlot::cbWindowChange(int Index) {
    if (Index < 0 || Index >= int(std::size(WindowLengths)))
        return;
    FWindowSec = WindowLengths[Index];
    FViewSpan = FWindowSec;
    ClampView();
    FViewDirty = true;
}

void TLivePlot::SetPaused(bool Paused) {
    if (btnPause->isChecked() != Paused)
        btnPause->setChecked(Paused);
    if (FPaused == Paused)
        return;
    FPaused = Paused;
    btnPause->setText(Paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    if (!Paused)
        FViewSpan = FWindowSec; // back to the live window, whatever the zoom was
    FViewDirty = true;
}

void TLivePlot::btnPauseClick() {
    SetPaused(btnPause->isChecked());
}

void TLivePlot::Zoom(double Factor, double At) {
    if (!FPaused || !(Factor > 0))
        return;
    double Start = ViewStart();
    double NewSpan = std::clamp(FViewSpan * Factor, 0.01, 2.0 * 3600);
    // Keep the time At under the same pixel.
    double Fraction = FViewSpan > 0 ? std::clamp((At - Start) / FViewSpan, 0.0, 1.0) : 1.0;
    FViewEnd = At + (1 - Fraction) * NewSpan;
    FViewSpan = NewSpan;
    ClampView();
    FViewDirty = true;
}

void TLivePlot::Pan(double Seconds) {
    if (!FPaused)
        return;
    FViewEnd += Seconds;
    ClampView();
    FViewDirty = true;
}

// Keeps some data in view: the view starts no earlier than the oldest data unless it is wider than
// all of it, and ends no later than the newest.
void TLivePlot::ClampView() {
    double Lo = FBuffer.FirstTime().value_or(0);
    double Hi = std::max(FBuffer.LastTime().value_or(0), Lo);
    double MaxEnd = std::max(Hi, Lo + FViewSpan);
    FViewEnd = std::clamp(FViewEnd, std::min(Lo + FViewSpan, MaxEnd), MaxEnd);
}

bool TLivePlot::HandleViewKey(int Key) {
    if (Key == Qt::Key_Space) {
        SetPaused(!FPaused);
        return true;
    }
    if (!FPaused)
        return false;
    double Center = FViewEnd - FViewSpan / 2;
    switch (Key) {
    case Qt::Key_Left:
        Pan(-FViewSpan / 10);
        return true;
    case Qt::Key_Right:
        Pan(FViewSpan / 10);
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        Zoom(0.8, Center);
        return true;
    case Qt::Key_Minus:
        Zoom(1.25, Center);
        return true;
    case Qt::Key_Home:
        FViewEnd = FBuffer.FirstTime().value_or(0) + FViewSpan;
        ClampView();
        FViewDirty = true;
        return true;
    case Qt::Key_End:
        FViewEnd = FBuffer.LastTime().value_or(0);
        ClampView();
        FViewDirty = true;
        return true;
    default:
        return false;
    }
}

void TLivePlot::keyPressEvent(QKeyEvent* Event) {
    bool Handled = false;
    RunGuarded([&] { Handled = HandleViewKey(Event->key()); });
    if (!Handled)
        QWidget::keyPressEvent(Event);
}

void TLivePlot::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    RunGuarded([&] {
        double Rate = screen() ? screen()->refreshRate() : 60.0;
        FTimer->start(std::max(1, int(std::lround(1000.0 / std::clamp(Rate, 10.0, 240.0)))));
        FViewDirty = true;
        emit VisibleChanged(true);
    });
}

void TLivePlot::hideEvent(QHideEvent* Event) {
    QWidget::hideEvent(Event);
    RunGuarded([&] {
        FTimer->stop();
        emit VisibleChanged(false);
    });
}

void TLivePlot::RedrawNow() {
    FViewDirty = true;
    Frame();
}

void TLivePlot::Frame() {
    const double Width = std::max(1, FCanvas->PlotArea().width());
    if (!FPaused) {
        // The window fills from the left until the first window length has passed.
        double End = std::max(FBuffer.Now(), double(FWindowSec));
        // Without new data, scroll only once the time moved by a pixel column.
        bool Moved = std::abs(End - FViewEnd) >= FViewSpan / Width;
        if (Moved || FBuffer.Generation() != FDrawnGeneration)
            FViewDirty = true;
        FViewEnd = End;
    }
    if (!FViewDirty)
        return;
    auto Start = std::chrono::steady_clock::now();
    UpdateView();
    FViewDirty = false;
    FDrawnGeneration = FBuffer.Generation();
    FPendingFrameUs = std::max<int64_t>(FPendingFrameUs, 0) + ElapsedUs(Start);
}

void TLivePlot::UpdateView() {
    const double T0 = ViewStart(), T1 = FViewEnd;
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

void TLivePlot::ViewPainted(int64_t PaintUs) {
    if (FPendingFrameUs < 0)
        return; // a repaint without new data (cursor line, exposure)
    int64_t Frame = FPendingFrameUs + PaintUs;
    FPendingFrameUs = -1;
    ++FStats.Frames;
    FStats.TotalFrameUs += Frame;
    FStats.LongestFrameUs = std::max(FStats.LongestFrameUs, Frame);
}

QRect TLivePlot::PlotArea() const {
    return FCanvas->PlotArea();
}

QString TLivePlot::CursorText(QPointF PlotPos) const {
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

void TLivePlot::ViewMouseMoved(std::optional<QPointF> PlotPos) {
    QString Text = PlotPos ? CursorText(*PlotPos) : QString();
    lbCursor->setText(Text);
    FCanvas->SetCursorX(Text.isEmpty() ? std::nullopt : std::optional<double>(PlotPos->x()));
}

bool TLivePlot::ExportCsvTo(const QString& Path) {
    std::string Error;
    if (ExportCsv(FBuffer, Path.toStdString(), &Error))
        return true;
    ShowMessage(TMessageKind::Error, QStringLiteral("Cannot write %1: %2").arg(Path, QString::fromStdString(Error)),
                QStringLiteral("Export CSV"), this);
    return false;
}

bool TLivePlot::ExportPngTo(const QString& Path) {
    if (FCanvas->grab().save(Path, "PNG"))
        return true;
    ShowMessage(TMessageKind::Error, QStringLiteral("Cannot write %1.").arg(Path), QStringLiteral("Export PNG"), this);
    return false;
}

void TLivePlot::btnExportCsvClick() {
    QString Path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QString(),
                                                QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!Path.isEmpty())
        ExportCsvTo(Path);
}

void TLivePlot::btnExportPngClick() {
    QString Path = QFileDialog::getSaveFileName(this, QStringLiteral("Export PNG"), QString(),
                                                QStringLiteral("PNG images (*.png);;All files (*)"));
    if (!Path.isEmpty())
        ExportPngTo(Path);
}
