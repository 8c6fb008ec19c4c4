#include "widgets/BandPanel.h"

#include <QHBoxLayout>
#include <QPainter>

namespace {
constexpr int BandWidth = 22;

// The band: a filled strip with its title written bottom to top.
class TBand : public QWidget {
public:
    TBand(const QString& Title, const QColor& Color, QWidget* Parent)
        : QWidget(Parent), FTitle(Title.trimmed()), FColor(Color) {
        setFixedWidth(BandWidth);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        QFont f = font();
        f.setBold(true);
        setFont(f);
    }
    QSize minimumSizeHint() const override {
        return {BandWidth, fontMetrics().horizontalAdvance(FTitle) + 8};
    }
    QSize sizeHint() const override { return minimumSizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), FColor);
        p.setPen(FColor.lightness() > 140 ? Qt::black : Qt::white);
        p.translate(0, height());
        p.rotate(-90);
        p.drawText(QRect(0, 0, height(), width()), Qt::AlignCenter, FTitle);
    }

private:
    QString FTitle;
    QColor FColor;
};
} // namespace

TBandPanel::TBandPanel(const QString& Title, const QColor& Band, QWidget* Parent)
    : QFrame(Parent), FTitle(Title), FBand(Band) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    setAccessibleName(Title.trimmed());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(6);
    layout->addWidget(new TBand(Title, Band, this));
    FContent = new QWidget(this);
    FContent->setObjectName("BandContent");
    layout->addWidget(FContent, 1);
}
