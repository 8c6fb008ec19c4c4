#include "ui/PlotCanvas.h"

#include "platform/ErrorGuard.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStaticText>

#include <algorithm>
#include <chrono>
#include <cmath>

// The curves against the plot's ground (the palette's base): dark on a light ground, light on a
// dark one, so that both read in every palette.
QColor PlotPositionColor(const QPalette& Palette) {
    return Palette.color(QPalette::Base).lightness() < 128 ? QColor(120, 180, 255) : QColor(20, 70, 170);
}

QColor PlotForceColor(const QPalette& Palette) {
    return Palette.color(QPalette::Base).lightness() < 128 ? QColor(255, 140, 90) : QColor(200, 60, 20);
}
// Light enough that a state reads as a colour without drowning the curves' labels.
const QColor PlotStateColors[8] = {
    QColor(190, 190, 190), // Idle
    QColor(110, 160, 230), // Grasping
    QColor(240, 170, 60),  // No part
    QColor(220, 90, 200),  // Part lost
    QColor(90, 190, 100),  // Holding
    QColor(80, 200, 210),  // Releasing
    QColor(160, 130, 220), // Positioning
    QColor(230, 50, 50),   // ERROR
};

namespace {
constexpr int Gap = 6;
// Room inside the frame, so that a curve at the end of its axis does not run along the frame.
constexpr int Inset = 4;

int Decimals(double Step) {
    return std::clamp(int(-std::floor(std::log10(Step) + 1e-9)), 0, 6);
}

// Tick values of an axis: the multiples of its step inside its range.
template <class F> void ForEachTick(const TPlotAxis& A, F&& Fn) {
    if (!(A.Step > 0) || !(A.Max > A.Min) || (A.Max - A.Min) / A.Step > 200)
        return;
    for (double V = std::ceil(A.Min / A.Step - 1e-9) * A.Step; V <= A.Max + A.Step * 1e-9; V += A.Step)
        Fn(std::abs(V) < A.Step * 1e-9 ? 0.0 : V);
}

struct TLegendItem {
    QString Text;
    QColor Color;
    bool Line;
};

std::vector<TLegendItem> LegendItems(const QPalette& Palette) {
    std::vector<TLegendItem> Items{{QStringLiteral("Position (mm)"), PlotPositionColor(Palette), true},
                                   {QStringLiteral("Force (N)"), PlotForceColor(Palette), true}};
    for (int S = 0; S < 8; ++S)
        Items.push_back({QString::fromStdString(GraspingStateText(S)), PlotStateColors[S], false});
    return Items;
}

// Lays the legend out in rows across Width; calls Place for every item with its left edge and row.
template <class F> int LayoutLegend(const QPalette& Palette, const QFontMetrics& Fm, int Width, F&& Place) {
    const int Mark = Fm.height();
    int X = 0, Row = 0;
    for (const TLegendItem& Item : LegendItems(Palette)) {
        int W = Mark + 4 + Fm.horizontalAdvance(Item.Text) + 2 * Gap;
        if (X > 0 && X + W > Width) {
            X = 0;
            ++Row;
        }
        Place(Item, X, Row);
        X += W;
    }
    return Row + 1;
}
} // namespace

TPlotCanvas::TPlotCanvas(QWidget* Parent) : QWidget(Parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setBackgroundRole(QPalette::Base);
    UpdateLayout();
}

void TPlotCanvas::SetFrame(TPlotFrame Frame) {
    FFrame = std::move(Frame);
    update();
}

double TPlotCanvas::TimeAt(double X) const {
    const TPlotAxis& T = FFrame.Time;
    return T.Min + (X - FPlotArea.left()) * (T.Max - T.Min) / std::max(1, FPlotArea.width());
}

void TPlotCanvas::SetCursorX(std::optional<double> X) {
    if (X == FCursorX)
        return;
    FCursorX = X;
    update();
}

void TPlotCanvas::UpdateLayout() {
    const QFontMetrics Fm = fontMetrics();
    const int Line = Fm.height();
    FLegendRows = LayoutLegend(palette(), Fm, std::max(1, width() - 2 * Gap), [](const TLegendItem&, int, int) {});
    const int Labels = Fm.horizontalAdvance(QStringLiteral("-8888.88"));
    const int Top = Gap + FLegendRows * Line + Gap;
    const int Side = Gap + Line + Gap + Labels + Gap; // title, labels
    const int Bottom = Gap + Line + Line + Gap;       // labels, title
    FPlotArea = QRect(QPoint(Side, Top), QPoint(width() - 1 - Side, height() - 1 - Bottom));
    FBandHeight = std::max(6, Line * 2 / 3);
    FStatic = QPixmap();
    FLabels.clear();
}

void TPlotCanvas::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    RunGuarded([&] { UpdateLayout(); });
}

void TPlotCanvas::changeEvent(QEvent* Event) {
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::FontChange || Event->type() == QEvent::StyleChange ||
        Event->type() == QEvent::PaletteChange)
        RunGuarded([&] { UpdateLayout(); });
}

void TPlotCanvas::paintEvent(QPaintEvent*) {
    RunGuarded([&] {
        auto Start = std::chrono::steady_clock::now();
        if (FStatic.size() != size() * devicePixelRatioF())
            PaintStatic();
        QPainter P(this);
        P.drawPixmap(0, 0, FStatic);
        if (FPlotArea.width() > 1 && FPlotArea.height() > FBandHeight + 1) {
            const double T0 = FFrame.Time.Min, Span = std::max(1e-9, FFrame.Time.Max - FFrame.Time.Min);
            const double Scale = FPlotArea.width() / Span;
            for (const TStateSpan& S : FFrame.Bands) {
                if (S.State < 0 || S.State >= 8)
                    continue;
                const double X0 = FPlotArea.left() + (S.T0 - T0) * Scale;
                const double X1 = FPlotArea.left() + (S.T1 - T0) * Scale;
                P.fillRect(
                    QRectF(X0, FPlotArea.bottom() + 1 - FBandHeight, std::max(1.0, X1 - X0), FBandHeight),
                    PlotStateColors[S.State]);
            }
            PaintAxes(P);
            P.save();
            P.setClipRect(FPlotArea.adjusted(1, 1, 0, -FBandHeight));
            PaintCurve(P, FFrame.ForcePoints, FFrame.Force, PlotForceColor(palette()));
            PaintCurve(P, FFrame.PositionPoints, FFrame.Position, PlotPositionColor(palette()));
            P.restore();
            if (FCursorX && FPlotArea.contains(int(*FCursorX), FPlotArea.center().y())) {
                P.setPen(QPen(palette().text().color(), 1, Qt::DashLine));
                P.drawLine(QPointF(*FCursorX, FPlotArea.top()), QPointF(*FCursorX, FPlotArea.bottom()));
            }
        }
        P.end();
        if (OnPainted) {
            using namespace std::chrono;
            OnPainted(duration_cast<microseconds>(steady_clock::now() - Start).count());
        }
    });
}

void TPlotCanvas::PaintAxes(QPainter& P) {
    const QRect& A = FPlotArea;
    const QColor Grid = palette().mid().color().lighter(130);
    const QColor Text = palette().text().color();
    const int DataBottom = A.bottom() - FBandHeight - Inset, DataTop = A.top() + Inset;

    auto YOf = [&](const TPlotAxis& Ax, double V) {
        return DataBottom - (V - Ax.Min) * (DataBottom - DataTop) / std::max(1e-12, Ax.Max - Ax.Min);
    };
    // Grid of the time axis and of the position axis; the force axis has its labels only.
    P.setPen(QPen(Grid, 0));
    ForEachTick(FFrame.Time, [&](double V) {
        double X = A.left() + (V - FFrame.Time.Min) * A.width() / (FFrame.Time.Max - FFrame.Time.Min);
        P.drawLine(QPointF(X, A.top()), QPointF(X, A.bottom()));
    });
    ForEachTick(FFrame.Position, [&](double V) {
        double Y = YOf(FFrame.Position, V);
        P.drawLine(QPointF(A.left(), Y), QPointF(A.right(), Y));
    });
    P.setPen(QPen(Text, 0));
    P.setBrush(Qt::NoBrush);
    P.drawRect(A);

    const int TimeDecimals = Decimals(FFrame.Time.Step);
    ForEachTick(FFrame.Time, [&](double V) {
        double X = A.left() + (V - FFrame.Time.Min) * A.width() / (FFrame.Time.Max - FFrame.Time.Min);
        const QStaticText& S = Label(QString::number(V, 'f', TimeDecimals));
        P.drawStaticText(QPointF(X - S.size().width() / 2, A.bottom() + 2), S);
    });

    auto ValueLabels = [&](const TPlotAxis& Ax, const QColor& Color, bool Left) {
        P.setPen(Color);
        const int D = Decimals(Ax.Step);
        ForEachTick(Ax, [&](double V) {
            double Y = YOf(Ax, V);
            const QStaticText& S = Label(QString::number(V, 'f', D));
            const double X = Left ? A.left() - 4 - S.size().width() : A.right() + 4;
            P.drawStaticText(QPointF(X, Y - S.size().height() / 2), S);
        });
    };
    ValueLabels(FFrame.Position, PlotPositionColor(palette()), true);
    ValueLabels(FFrame.Force, PlotForceColor(palette()), false);
}

void TPlotCanvas::PaintCurve(QPainter& P, const std::vector<TPlotPoint>& Points, const TPlotAxis& Axis,
                             const QColor& Color) {
    if (Points.empty())
        return;
    const QRect& A = FPlotArea;
    const double DataBottom = A.bottom() - FBandHeight - Inset;
    const double XScale = A.width() / std::max(1e-12, FFrame.Time.Max - FFrame.Time.Min);
    const double YScale = (DataBottom - A.top() - Inset) / std::max(1e-12, Axis.Max - Axis.Min);
    // The device reports on change, so a value holds until the next one: steps, not slopes.
    FPolyline.clear();
    for (const TPlotPoint& Pt : Points) {
        const double X = A.left() + (Pt.T - FFrame.Time.Min) * XScale;
        const double Y = DataBottom - (Pt.V - Axis.Min) * YScale;
        if (!FPolyline.empty())
            FPolyline.emplace_back(X, FPolyline.back().y());
        FPolyline.emplace_back(X, Y);
    }
    // Reduced data is dense along x: without antialiasing the raster engine draws it several times
    // faster, and a one-pixel line of min/max columns looks the same.
    P.setRenderHint(QPainter::Antialiasing, false);
    P.setPen(QPen(Color, 0));
    P.drawPolyline(FPolyline.data(), int(FPolyline.size()));
}

// What changes only with the size, the font or the palette: backgrounds, titles and the legend.
void TPlotCanvas::PaintStatic() {
    const qreal Ratio = devicePixelRatioF();
    FStatic = QPixmap(size() * Ratio);
    FStatic.setDevicePixelRatio(Ratio);
    QPainter P(&FStatic);
    P.fillRect(rect(), palette().window());
    P.fillRect(FPlotArea, palette().base());
    const int Line = fontMetrics().height();
    const QRect& A = FPlotArea;
    P.setPen(palette().text().color());
    P.drawText(QRect(A.left(), A.bottom() + 2 + Line, A.width(), Line), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("Time (s)"));
    auto Title = [&](const QString& Text, const QColor& Color, bool Left) {
        P.save();
        P.setPen(Color);
        const double X = Left ? Gap : width() - Gap - Line;
        P.translate(X + Line / 2.0, A.center().y());
        P.rotate(Left ? -90 : 90);
        P.drawText(QRectF(-A.height() / 2.0, -Line / 2.0, A.height(), Line), Qt::AlignCenter, Text);
        P.restore();
    };
    Title(QStringLiteral("Position (mm)"), PlotPositionColor(palette()), true);
    Title(QStringLiteral("Force (N)"), PlotForceColor(palette()), false);
    PaintLegend(P);
}

// Tick labels repeat from frame to frame as the axis scrolls; laid-out text saves shaping them again.
const QStaticText& TPlotCanvas::Label(const QString& Text) {
    auto It = FLabels.find(Text);
    if (It != FLabels.end())
        return *It;
    if (FLabels.size() > 1000)
        FLabels.clear();
    QStaticText S(Text);
    S.setTextFormat(Qt::PlainText);
    S.prepare(QTransform(), font());
    return *FLabels.insert(Text, S);
}

void TPlotCanvas::PaintLegend(QPainter& P) {
    const QFontMetrics Fm = fontMetrics();
    const int Line = Fm.height();
    LayoutLegend(palette(), Fm, std::max(1, width() - 2 * Gap), [&](const TLegendItem& Item, int X, int Row) {
        const int Left = Gap + X, Top = Gap + Row * Line;
        if (Item.Line) {
            P.setPen(QPen(Item.Color, 2));
            P.drawLine(Left, Top + Line / 2, Left + Line, Top + Line / 2);
        } else {
            P.fillRect(QRect(Left, Top + Line / 4, Line, Line / 2), Item.Color);
        }
        P.setPen(palette().text().color());
        P.drawText(QRect(Left + Line + 4, Top, width(), Line), Qt::AlignLeft | Qt::AlignVCenter, Item.Text);
    });
}

void TPlotCanvas::mousePressEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton)
        FDragX = Event->position().x();
    QWidget::mousePressEvent(Event);
}

void TPlotCanvas::mouseReleaseEvent(QMouseEvent* Event) {
    FDragX.reset();
    QWidget::mouseReleaseEvent(Event);
}

void TPlotCanvas::mouseMoveEvent(QMouseEvent* Event) {
    RunGuarded([&] {
        const double X = Event->position().x();
        if (FDragX && (Event->buttons() & Qt::LeftButton) && OnDrag) {
            OnDrag(X - *FDragX);
            FDragX = X;
        }
        if (OnMouseMove)
            OnMouseMove(Event->position());
    });
}

void TPlotCanvas::leaveEvent(QEvent* Event) {
    QWidget::leaveEvent(Event);
    RunGuarded([&] {
        if (OnMouseMove)
            OnMouseMove(std::nullopt);
    });
}

void TPlotCanvas::wheelEvent(QWheelEvent* Event) {
    RunGuarded([&] {
        if (OnZoom)
            OnZoom(std::pow(0.8, Event->angleDelta().y() / 120.0), TimeAt(Event->position().x()));
        if (OnMouseMove)
            OnMouseMove(Event->position());
    });
    Event->accept();
}

void TPlotCanvas::keyPressEvent(QKeyEvent* Event) {
    bool Handled = false;
    RunGuarded([&] { Handled = OnKey && OnKey(Event->key()); });
    if (!Handled)
        QWidget::keyPressEvent(Event);
}
