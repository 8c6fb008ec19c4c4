#include "LivePlotForm.h"

#include "ErrorGuard.h"
#include "MessageSeam.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>
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

QString LabelFormat(double Step) {
    int Decimals = std::clamp(int(-std::floor(std::log10(Step) + 1e-9)), 0, 6);
    return QStringLiteral("%.%1f").arg(Decimals);
}

void SetHint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}

// Grasping-state colours, light enough to read the lines over the band.
const QColor StateColors[8] = {
    QColor(190, 190, 190), // Idle
    QColor(110, 160, 230), // Grasping
    QColor(240, 170, 60),  // No part
    QColor(220, 90, 200),  // Part lost
    QColor(90, 190, 100),  // Holding
    QColor(80, 200, 210),  // Releasing
    QColor(160, 130, 220), // Positioning
    QColor(230, 50, 50),   // ERROR
};

// The band's own axis: the band covers 0..1 of BandAxisTop, a strip along the time axis.
constexpr double BandAxisTop = 20;
} // namespace

// The chart view with the plot's mouse and keyboard handling and the timing of its paints.
class TPlotView : public QChartView {
public:
    TPlotView(QChart* Chart, TLivePlot* Owner) : QChartView(Chart), FOwner(Owner) {
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setRenderHint(QPainter::Antialiasing);
    }

protected:
    void paintEvent(QPaintEvent* Event) override {
        auto Start = std::chrono::steady_clock::now();
        QChartView::paintEvent(Event);
        RunGuarded([&] { FOwner->ViewPainted(ElapsedUs(Start)); });
    }
    void mousePressEvent(QMouseEvent* Event) override {
        RunGuarded([&] {
            if (Event->button() == Qt::LeftButton && FOwner->Paused())
                FDragX = Event->position().x();
        });
        QChartView::mousePressEvent(Event);
    }
    void mouseReleaseEvent(QMouseEvent* Event) override {
        FDragX.reset();
        QChartView::mouseReleaseEvent(Event);
    }
    void mouseMoveEvent(QMouseEvent* Event) override {
        RunGuarded([&] {
            double X = Event->position().x();
            if (FDragX && FOwner->Paused()) {
                double Width = std::max(1.0, chart()->plotArea().width());
                FOwner->Pan(-(X - *FDragX) * (FOwner->ViewEnd() - FOwner->ViewStart()) / Width);
                FDragX = X;
            }
            FOwner->ViewMouseMoved(Event->position());
        });
        QChartView::mouseMoveEvent(Event);
    }
    void leaveEvent(QEvent* Event) override {
        RunGuarded([&] { FOwner->ViewMouseMoved(QPointF(-1, -1)); });
        QChartView::leaveEvent(Event);
    }
    void wheelEvent(QWheelEvent* Event) override {
        RunGuarded([&] {
            if (!FOwner->Paused())
                return;
            QPointF Value =
                chart()->mapToValue(chart()->mapFromScene(mapToScene(Event->position().toPoint())));
            FOwner->Zoom(std::pow(0.8, Event->angleDelta().y() / 120.0), Value.x());
            FOwner->ViewMouseMoved(Event->position());
        });
        Event->accept();
    }
    void keyPressEvent(QKeyEvent* Event) override {
        bool Handled = false;
        RunGuarded([&] { Handled = FOwner->HandleViewKey(Event->key()); });
        if (!Handled)
            QChartView::keyPressEvent(Event);
    }

private:
    TLivePlot* FOwner;
    std::optional<double> FDragX;
};

const int TLivePlot::WindowLengths[4] = {10, 30, 60, 300};

TLivePlot::TLivePlot(QWidget* Parent, TPlotClock Clock)
    : QWidget(Parent, Qt::Tool), FBuffer(std::move(Clock)) {
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

    BuildChart();

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
    Main->addWidget(FView, 1);
    Main->addWidget(lbCursor);

    setTabOrder(cbWindow, btnPause);
    setTabOrder(btnPause, btnExportCsv);
    setTabOrder(btnExportCsv, btnExportPng);
    setTabOrder(btnExportPng, FView);

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

void TLivePlot::BuildChart() {
    FChart = new QChart;
    FChart->setMargins(QMargins(4, 4, 4, 4));
    FChart->legend()->setAlignment(Qt::AlignBottom);
    FChart->setAnimationOptions(QChart::NoAnimation);

    auto MakeAxis = [](const QString& Title, const QColor& Color) {
        auto* A = new QValueAxis;
        A->setTitleText(Title);
        A->setTickType(QValueAxis::TicksDynamic);
        A->setTickAnchor(0);
        A->setMinorTickCount(0);
        if (Color.isValid()) {
            A->setLabelsColor(Color);
            A->setTitleBrush(Color);
        }
        return A;
    };
    const QColor PositionColor(20, 70, 170), ForceColor(200, 60, 20);
    FAxisTime = MakeAxis(QStringLiteral("Time (s)"), QColor());
    FAxisPosition = MakeAxis(QStringLiteral("Position (mm)"), PositionColor);
    FAxisForce = MakeAxis(QStringLiteral("Force (N)"), ForceColor);
    FAxisForce->setGridLineVisible(false);
    FAxisBand = new QValueAxis;
    FAxisBand->setRange(0, BandAxisTop);
    FAxisBand->setVisible(false);
    FChart->addAxis(FAxisTime, Qt::AlignBottom);
    FChart->addAxis(FAxisPosition, Qt::AlignLeft);
    FChart->addAxis(FAxisForce, Qt::AlignRight);
    FChart->addAxis(FAxisBand, Qt::AlignLeft);
    FAxisTime->setRange(0, FWindowSec);
    FAxisPosition->setRange(0, 1);
    FAxisForce->setRange(0, 1);

    // The band first, so that the lines are drawn over it.
    for (int S = 0; S < 8; ++S) {
        auto* Upper = new QLineSeries(FChart);
        auto* Area = new QAreaSeries(Upper);
        Area->setName(QString::fromStdString(GraspingStateText(S)));
        Area->setBrush(StateColors[S]);
        Area->setPen(Qt::NoPen);
        FChart->addSeries(Area);
        Area->attachAxis(FAxisTime);
        Area->attachAxis(FAxisBand);
        FBandSeries[S] = Area;
    }
    auto MakeLine = [this](const QString& Name, const QColor& Color, QValueAxis* Y) {
        auto* L = new QLineSeries;
        L->setName(Name);
        L->setPen(QPen(Color, 1.5));
        FChart->addSeries(L);
        L->attachAxis(FAxisTime);
        L->attachAxis(Y);
        return L;
    };
    FPositionSeries = MakeLine(QStringLiteral("Position (mm)"), PositionColor, FAxisPosition);
    FForceSeries = MakeLine(QStringLiteral("Force (N)"), ForceColor, FAxisForce);

    FView = new TPlotView(FChart, this);
    FView->setObjectName(QStringLiteral("pnPlot"));
    SetHint(FView, QStringLiteral("While paused: wheel or +/- zooms, dragging or the arrow keys pan, "
                                  "Home and End go to the oldest and newest data"));
    FCursorLine = new QGraphicsLineItem;
    FCursorLine->setPen(QPen(QColor(80, 80, 80), 1, Qt::DashLine));
    FCursorLine->setZValue(100);
    FCursorLine->hide();
    FChart->scene()->addItem(FCursorLine);
}

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
    const double Width = std::max(1.0, FChart->plotArea().width());
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
    const int Columns = std::max(1, int(FChart->plotArea().width()));
    const double HoldUntil = std::min(T1, FBuffer.Now());

    auto Update = [&](QLineSeries* Series, QValueAxis* Axis, const TSampleRing& Ring, double MinSpan) {
        std::vector<TPlotPoint> Points = ReducePoints(FBuffer, Ring, T0, T1, Columns);
        // Reports come only on change: the last value holds until now.
        if (!Points.empty() && Points.back().T < HoldUntil)
            Points.push_back({HoldUntil, Points.back().V});
        QList<QPointF> List;
        List.reserve(qsizetype(Points.size()));
        for (const TPlotPoint& P : Points)
            List.append(QPointF(P.T, P.V));
        Series->replace(List);
        UpdateAxis(Axis, Points, MinSpan);
    };
    Update(FPositionSeries, FAxisPosition, FBuffer.Position(), 1.0);
    Update(FForceSeries, FAxisForce, FBuffer.Force(), 1.0);

    const double Step = NiceStep(T1 - T0, std::max(2, int(FChart->plotArea().width() / 90)));
    FAxisTime->setRange(T0, T1);
    FAxisTime->setTickInterval(Step);
    FAxisTime->setLabelFormat(LabelFormat(Step));
    UpdateBand();
}

// Fits the axis to the values in view on a 1-2-5 grid, so that it does not jitter with every sample.
void TLivePlot::UpdateAxis(QValueAxis* Axis, const std::vector<TPlotPoint>& Points, double MinSpan) {
    if (Points.empty())
        return;
    auto [Lo, Hi] = std::minmax_element(Points.begin(), Points.end(),
                                        [](const TPlotPoint& A, const TPlotPoint& B) { return A.V < B.V; });
    double Min = Lo->V, Max = Hi->V;
    if (Max - Min < MinSpan) {
        double Mid = (Min + Max) / 2;
        Min = Mid - MinSpan / 2;
        Max = Mid + MinSpan / 2;
    }
    const double Step = NiceStep(Max - Min, 5);
    Min = std::floor(Min / Step) * Step;
    Max = std::ceil(Max / Step) * Step;
    // Room below for the state band.
    Min -= (Max - Min) / (BandAxisTop - 1);
    if (Axis->min() != Min || Axis->max() != Max) {
        Axis->setRange(Min, Max);
        Axis->setTickAnchor(std::floor(Min / Step + 1) * Step);
        Axis->setTickInterval(Step);
        Axis->setLabelFormat(LabelFormat(Step));
    }
}

void TLivePlot::UpdateBand() {
    QList<QPointF> Points[8];
    for (const TStateSpan& S : StateSpans(FBuffer, ViewStart(), FViewEnd)) {
        if (S.State < 0 || S.State >= 8)
            continue;
        Points[S.State] << QPointF(S.T0, 0) << QPointF(S.T0, 1) << QPointF(S.T1, 1) << QPointF(S.T1, 0);
    }
    for (int S = 0; S < 8; ++S)
        if (Points[S] != FBandPoints[S]) {
            FBandSeries[S]->upperSeries()->replace(Points[S]);
            FBandPoints[S] = Points[S];
        }
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

QString TLivePlot::CursorText(QPointF ViewPos) const {
    QPointF ChartPos = FChart->mapFromScene(FView->mapToScene(ViewPos.toPoint()));
    if (!FChart->plotArea().contains(ChartPos))
        return QString();
    const double T = FChart->mapToValue(ChartPos, FPositionSeries).x();
    auto Number = [](std::optional<double> V, const char* Unit) {
        return V ? QStringLiteral("%1 %2").arg(*V, 0, 'f', 2).arg(QLatin1String(Unit)) : QStringLiteral("-");
    };
    std::optional<int> State = FBuffer.GraspingStateAt(T);
    return QStringLiteral("Time: %1 s   Position: %2   Force: %3   State: %4")
        .arg(T, 0, 'f', 3)
        .arg(Number(FBuffer.PositionAt(T), "mm"), Number(FBuffer.ForceAt(T), "N"),
             State ? QString::fromStdString(GraspingStateText(*State)) : QStringLiteral("-"));
}

void TLivePlot::ViewMouseMoved(QPointF ViewPos) {
    QString Text = CursorText(ViewPos);
    lbCursor->setText(Text);
    if (Text.isEmpty()) {
        FCursorLine->hide();
        return;
    }
    const QRectF Area = FChart->plotArea();
    const double X = FChart->mapFromScene(FView->mapToScene(ViewPos.toPoint())).x();
    FCursorLine->setLine(
        QLineF(FChart->mapToScene(QPointF(X, Area.top())), FChart->mapToScene(QPointF(X, Area.bottom()))));
    FCursorLine->show();
}

bool TLivePlot::ExportCsvTo(const QString& Path) {
    std::string Error;
    if (ExportCsv(FBuffer, Path.toStdString(), &Error))
        return true;
    ShowMessage(QStringLiteral("Cannot write %1: %2").arg(Path, QString::fromStdString(Error)),
                QStringLiteral("Export CSV"), this);
    return false;
}

bool TLivePlot::ExportPngTo(const QString& Path) {
    if (FView->grab().save(Path, "PNG"))
        return true;
    ShowMessage(QStringLiteral("Cannot write %1.").arg(Path), QStringLiteral("Export PNG"), this);
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
