#include "ui/PressureMap.h"

#include "platform/ErrorGuard.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace {
// Viridis at nine even steps; between them the scale is interpolated, which keeps it even in
// lightness to within what an eye can tell.
constexpr std::array<QRgb, 9> Anchors{0x440154, 0x472d7b, 0x3b528b, 0x2c728e, 0x21918c,
                                      0x28ae80, 0x5ec962, 0xaddc30, 0xfde725};

const std::array<QRgb, 256>& Table() {
    static const std::array<QRgb, 256> table = [] {
        std::array<QRgb, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double x = i / 255.0 * (Anchors.size() - 1);
            const int a = std::min(int(x), int(Anchors.size()) - 2);
            const double f = x - a;
            const auto mix = [&](int Shift) {
                const int lo = (Anchors[a] >> Shift) & 0xFF, hi = (Anchors[a + 1] >> Shift) & 0xFF;
                return int(std::lround(lo + (hi - lo) * f));
            };
            t[i] = qRgb(mix(16), mix(8), mix(0));
        }
        return t;
    }();
    return table;
}

QString Number(int64_t Value) {
    return QString::number(Value);
}
} // namespace

TFrameStats FrameStats(const std::vector<int32_t>& Cells, int Width, int Height) {
    TFrameStats s;
    if (Width <= 0 || Height <= 0 || Cells.size() < size_t(Width) * size_t(Height))
        return s;
    double mx = 0, my = 0;
    size_t i = 0;
    for (int y = 0; y < Height; ++y) {
        int64_t row = 0;
        for (int x = 0; x < Width; ++x, ++i) {
            const int32_t v = Cells[i];
            if (v > s.Maximum || s.MaximumIndex < 0) {
                s.Maximum = v;
                s.MaximumIndex = int32_t(i);
            }
            if (v > 0) {
                row += v;
                mx += double(v) * (x + 0.5);
            }
        }
        s.Total += row;
        my += double(row) * (y + 0.5);
    }
    if (s.Total > 0)
        s.Centre = QPointF(mx / double(s.Total), my / double(s.Total));
    return s;
}

QRgb ScaleColour(double Fraction) {
    return Table()[size_t(std::lround(std::clamp(Fraction, 0.0, 1.0) * 255))];
}

double TColourRange::Fraction(int32_t Value) const {
    if (High <= Low)
        return Value > Low ? 1.0 : 0.0;
    return std::clamp(double(Value - Low) / double(High - Low), 0.0, 1.0);
}

TColourRange RangeFor(const TFrameStats& Stats, int32_t FixedHigh, int32_t Floor) {
    if (FixedHigh > 0)
        return {0, FixedHigh};
    return {0, std::max({1, Floor, Stats.Maximum})};
}

// --- TPressureMap ---

TPressureMap::TPressureMap(QWidget* Parent) : QWidget(Parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(QStringLiteral("Pressure map"));
    setAccessibleDescription(QStringLiteral(
        "The latest frame, one coloured cell per sensing cell; arrow keys move the inspected cell"));
}

void TPressureMap::SetMatrix(int Width, int Height, double CellWidth, double CellHeight) {
    FWidth = std::max(0, Width);
    FHeight = std::max(0, Height);
    FCellWidth = CellWidth > 0 ? CellWidth : 1;
    FCellHeight = CellHeight > 0 ? CellHeight : 1;
    FCells.clear();
    FImage = QImage();
    FImageStale = true;
    SetCursor(std::nullopt);
    update();
}

void TPressureMap::SetFrame(const std::vector<int32_t>& Cells, TColourRange Range) {
    const size_t n = size_t(FWidth) * size_t(FHeight);
    if (Cells.size() < n)
        return;
    FCells.assign(Cells.begin(), Cells.begin() + qsizetype(n));
    FRange = Range;
    FImageStale = true;
    update();
}

void TPressureMap::Clear() {
    FCells.clear();
    FImageStale = true;
    update();
}

int32_t TPressureMap::Value(QPoint Cell) const {
    if (FCells.empty() || Cell.x() < 0 || Cell.y() < 0 || Cell.x() >= FWidth || Cell.y() >= FHeight)
        return 0;
    return FCells[size_t(Cell.y()) * FWidth + Cell.x()];
}

void TPressureMap::SetShowValues(bool Show) {
    FShowValues = Show;
    update();
}

QRectF TPressureMap::MatrixRect() const {
    if (FWidth == 0 || FHeight == 0)
        return {};
    const QRectF area = QRectF(rect()).adjusted(2, 2, -2, -2);
    const double w = FWidth * FCellWidth, h = FHeight * FCellHeight;
    const double scale = std::min(area.width() / w, area.height() / h);
    if (scale <= 0)
        return {};
    QRectF r(0, 0, w * scale, h * scale);
    r.moveCenter(area.center());
    return r;
}

std::optional<QPoint> TPressureMap::CellAt(QPointF Pos) const {
    const QRectF r = MatrixRect();
    if (r.isEmpty() || !r.contains(Pos))
        return std::nullopt;
    const int x = std::clamp(int((Pos.x() - r.left()) / r.width() * FWidth), 0, FWidth - 1);
    const int y = std::clamp(int((Pos.y() - r.top()) / r.height() * FHeight), 0, FHeight - 1);
    return QPoint(x, y);
}

void TPressureMap::SetCursor(std::optional<QPoint> Cell) {
    if (Cell == FCursor)
        return;
    FCursor = Cell;
    update();
    if (OnCursorChanged)
        OnCursorChanged(FCursor);
}

const QImage& TPressureMap::CellImage() {
    if (!FImageStale)
        return FImage;
    FImageStale = false;
    if (FCells.empty()) {
        FImage = QImage();
        return FImage;
    }
    if (FImage.width() != FWidth || FImage.height() != FHeight)
        FImage = QImage(FWidth, FHeight, QImage::Format_RGB32);
    // Integer steps into the table: the same colours as ScaleColour, without a division per cell.
    const std::array<QRgb, 256>& table = Table();
    const int64_t low = FRange.Low, span = std::max<int64_t>(1, int64_t(FRange.High) - FRange.Low);
    const int32_t* cell = FCells.data();
    for (int y = 0; y < FHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(FImage.scanLine(y));
        for (int x = 0; x < FWidth; ++x) {
            const int64_t v = std::clamp<int64_t>(*cell++ - low, 0, span);
            line[x] = table[size_t((v * 510 + span) / (2 * span))];
        }
    }
    return FImage;
}

QImage TPressureMap::Render(int CellPixels) {
    const double unit = std::min(FCellWidth, FCellHeight);
    const int w = std::max(1, int(std::lround(FWidth * CellPixels * FCellWidth / unit)));
    const int h = std::max(1, int(std::lround(FHeight * CellPixels * FCellHeight / unit)));
    QImage out(w, h, QImage::Format_RGB32);
    out.fill(ScaleColour(0));
    const QImage& cells = CellImage();
    if (!cells.isNull()) {
        QPainter p(&out);
        p.drawImage(QRect(0, 0, w, h), cells);
    }
    return out;
}

void TPressureMap::paintEvent(QPaintEvent*) {
    RunGuarded([this] {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        const QRectF r = MatrixRect();
        if (r.isEmpty())
            return;
        const QImage& cells = CellImage();
        if (cells.isNull()) {
            p.fillRect(r, palette().alternateBase());
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("No frame yet"));
        } else {
            p.drawImage(r, cells);
            if (FShowValues)
                PaintValues(p, r);
        }
        const double cw = r.width() / FWidth, ch = r.height() / FHeight;
        if (FCursor) {
            const QRectF c(r.left() + FCursor->x() * cw, r.top() + FCursor->y() * ch, cw, ch);
            p.setPen(QPen(Qt::white, 2));
            p.drawRect(c.adjusted(1, 1, -1, -1));
            p.setPen(QPen(Qt::black, 1));
            p.drawRect(c);
        }
        if (hasFocus()) {
            p.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DashLine));
            p.drawRect(r.adjusted(-1, -1, 1, 1));
        }
    });
}

void TPressureMap::PaintValues(QPainter& P, const QRectF& Area) {
    const double cw = Area.width() / FWidth, ch = Area.height() / FHeight;
    const QFontMetrics fm(font());
    // Numbers only where they fit; a cell too small for "0000" shows its colour alone.
    if (cw < fm.horizontalAdvance(QStringLiteral("0000")) + 2 || ch < fm.height())
        return;
    P.setFont(font());
    for (int y = 0; y < FHeight; ++y) {
        for (int x = 0; x < FWidth; ++x) {
            const int32_t v = FCells[size_t(y) * FWidth + x];
            // Dark text on the light end of the scale, light text on the dark end.
            P.setPen(FRange.Fraction(v) > 0.6 ? Qt::black : Qt::white);
            P.drawText(QRectF(Area.left() + x * cw, Area.top() + y * ch, cw, ch), Qt::AlignCenter, Number(v));
        }
    }
}

void TPressureMap::mouseMoveEvent(QMouseEvent* Event) {
    RunGuarded([&] {
        if (const auto cell = CellAt(Event->position()))
            SetCursor(cell);
    });
}

void TPressureMap::leaveEvent(QEvent*) {
    RunGuarded([this] {
        if (!hasFocus())
            SetCursor(std::nullopt);
    });
}

void TPressureMap::keyPressEvent(QKeyEvent* Event) {
    if (FWidth == 0 || FHeight == 0) {
        QWidget::keyPressEvent(Event);
        return;
    }
    QPoint c = FCursor.value_or(QPoint(0, 0));
    switch (Event->key()) {
    case Qt::Key_Left:
        c.rx() -= 1;
        break;
    case Qt::Key_Right:
        c.rx() += 1;
        break;
    case Qt::Key_Up:
        c.ry() -= 1;
        break;
    case Qt::Key_Down:
        c.ry() += 1;
        break;
    case Qt::Key_Home:
        c = QPoint(0, 0);
        break;
    case Qt::Key_End:
        c = QPoint(FWidth - 1, FHeight - 1);
        break;
    default:
        QWidget::keyPressEvent(Event);
        return;
    }
    c.setX(std::clamp(c.x(), 0, FWidth - 1));
    c.setY(std::clamp(c.y(), 0, FHeight - 1));
    RunGuarded([&] { SetCursor(c); });
}

void TPressureMap::focusInEvent(QFocusEvent* Event) {
    QWidget::focusInEvent(Event);
    RunGuarded([this] {
        if (!FCursor && FWidth > 0 && FHeight > 0)
            SetCursor(QPoint(0, 0));
        update();
    });
}

void TPressureMap::focusOutEvent(QFocusEvent* Event) {
    QWidget::focusOutEvent(Event);
    update();
}

// --- TScaleLegend ---

TScaleLegend::TScaleLegend(QWidget* Parent) : QWidget(Parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setAccessibleName(QStringLiteral("Colour scale"));
    setAccessibleDescription(RangeText());
}

void TScaleLegend::SetRange(TColourRange Range) {
    if (FHasRange && Range == FRange)
        return;
    FRange = Range;
    FHasRange = true;
    setAccessibleDescription(RangeText());
    update(); // the size hint holds six digits: the layout stays
}

void TScaleLegend::ClearRange() {
    if (!FHasRange)
        return;
    FHasRange = false;
    FRange = {};
    setAccessibleDescription(RangeText());
    update();
}

QString TScaleLegend::RangeText() const {
    if (!FHasRange)
        return QStringLiteral("No frame");
    return QStringLiteral("%1 to %2").arg(Number(FRange.Low), Number(FRange.High));
}

QSize TScaleLegend::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(18 + 6 + fm.horizontalAdvance(QStringLiteral("000000")), 200);
}

QSize TScaleLegend::minimumSizeHint() const {
    return QSize(sizeHint().width(), 3 * QFontMetrics(font()).height());
}

void TScaleLegend::paintEvent(QPaintEvent*) {
    RunGuarded([this] {
        QPainter p(this);
        const QFontMetrics fm(font());
        const int half = fm.height() / 2;
        const QRect bar(0, half, 18, std::max(1, height() - 2 * half));
        // The whole scale, top colour first, stretched over the bar in one call.
        static const QImage scale = [] {
            QImage image(1, 256, QImage::Format_RGB32);
            for (int i = 0; i < 256; ++i)
                image.setPixel(0, 255 - i, Table()[size_t(i)]);
            return image;
        }();
        p.drawImage(bar, scale);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(bar.adjusted(0, 0, -1, -1));
        const int x = bar.right() + 6;
        if (!FHasRange)
            return; // numbers without a frame would claim a load nobody measured
        const int mid = FRange.Low + (FRange.High - FRange.Low) / 2;
        p.drawText(QRect(x, 0, width() - x, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   Number(FRange.High));
        if (bar.height() > 3 * fm.height() && mid != FRange.Low && mid != FRange.High)
            p.drawText(QRect(x, bar.center().y() - half, width() - x, fm.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, Number(mid));
        p.drawText(QRect(x, height() - fm.height(), width() - x, fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, Number(FRange.Low));
    });
}

// --- TTotalPlot ---

TTotalPlot::TTotalPlot(QWidget* Parent) : QWidget(Parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Total pressure over time"));
    setAccessibleDescription(QStringLiteral("The total of every frame over the last 20 seconds"));
}

void TTotalPlot::Add(double TimeS, double Total) {
    if (!FPoints.empty() && TimeS < FPoints.back().x())
        FPoints.clear(); // a new time base (another recording, a restarted sensor)
    FPoints.emplace_back(TimeS, Total);
    while (FPoints.size() > 2 && FPoints.front().x() < TimeS - SpanS)
        FPoints.pop_front();
    // Repainted by its owner at display rate (Refresh), not per frame.
}

void TTotalPlot::Refresh() {
    if (!FPoints.empty() && FPoints.back().x() != FPaintedUntil)
        update();
}

void TTotalPlot::Clear() {
    FPoints.clear();
    FMax = 1;
    FPaintedUntil = -1;
    update();
}

void TTotalPlot::paintEvent(QPaintEvent*) {
    RunGuarded([this] {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        const QFontMetrics fm(font());
        p.setPen(palette().color(QPalette::Text));
        p.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("Total, last 20 s"));
        if (FPoints.size() < 2)
            return;
        FPaintedUntil = FPoints.back().x();
        double top = 1;
        for (const QPointF& pt : FPoints)
            top = std::max(top, pt.y());
        // The scale only grows within a run, so the curve does not jump with every peak.
        FMax = std::max(FMax, top);
        const QRectF area = QRectF(rect()).adjusted(4, fm.height() + 4, -4, -4);
        const double t1 = FPoints.back().x(), t0 = t1 - SpanS;
        // Each pixel column draws the lowest and highest total it holds: the curve keeps its peaks
        // whatever the frame rate, and its cost follows the width, not the number of frames.
        QPainterPath path;
        bool first = true;
        int column = -1;
        double lo = 0, hi = 0;
        const auto flush = [&] {
            if (column < 0)
                return;
            const double x = area.left() + column;
            const QPointF a(x, area.bottom() - lo / FMax * area.height());
            const QPointF b(x, area.bottom() - hi / FMax * area.height());
            if (first)
                path.moveTo(a);
            else
                path.lineTo(a);
            if (hi != lo)
                path.lineTo(b);
            first = false;
        };
        for (const QPointF& pt : FPoints) {
            const int c = int((pt.x() - t0) / SpanS * area.width());
            if (c != column) {
                flush();
                column = c;
                lo = hi = pt.y();
            } else {
                lo = std::min(lo, pt.y());
                hi = std::max(hi, pt.y());
            }
        }
        flush();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(ScaleColour(0.55)), 1.5));
        p.drawPath(path);
        p.setPen(palette().color(QPalette::Text));
        p.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignRight | Qt::AlignTop, Number(int64_t(FMax)));
    });
}
