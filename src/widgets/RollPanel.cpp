#include "widgets/RollPanel.h"

#include "platform/ErrorGuard.h"

#include <QPropertyAnimation>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int AnimationMs = 150;

// The header: its title shortened with an ellipsis where the panel is narrower than the title,
// so that a long title never makes the panel wider.
class THeader : public QToolButton {
public:
    using QToolButton::QToolButton;
    QSize minimumSizeHint() const override {
        const QSize full = QToolButton::minimumSizeHint();
        const int title = fontMetrics().horizontalAdvance(text());
        const int least = fontMetrics().horizontalAdvance(QStringLiteral("Wxyz…"));
        return {full.width() - title + std::min(title, least), full.height()};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        const int room = option.text.isEmpty() ? 0 : width() - (sizeHint().width() - fontMetrics().horizontalAdvance(option.text));
        option.text = fontMetrics().elidedText(option.text, Qt::ElideRight, std::max(room, 0));
        painter.drawComplexControl(QStyle::CC_ToolButton, option);
    }
};
} // namespace

TRollPanel::TRollPanel(const QString& Title, QWidget* Parent) : QWidget(Parent) {
    FHeader = new THeader(this);
    FHeader->setObjectName("RollHeader");
    FHeader->setText(Title);
    FHeader->setCheckable(true);
    FHeader->setChecked(true);
    FHeader->setAutoRaise(true);
    FHeader->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    FHeader->setArrowType(Qt::DownArrow);
    FHeader->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    FHeader->setFocusPolicy(Qt::StrongFocus);
    FHeader->setAccessibleName(Title);
    QFont f = FHeader->font();
    f.setBold(true);
    FHeader->setFont(f);

    FBody = new QWidget(this);
    FBody->setObjectName("RollBody");
    auto* bodyLayout = new QVBoxLayout(FBody);
    bodyLayout->setContentsMargins(0, 0, 0, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(FHeader);
    layout->addWidget(FBody, 1);

    FAnimation = new QPropertyAnimation(FBody, "maximumHeight", this);
    FAnimation->setDuration(AnimationMs);
    connect(FAnimation, &QPropertyAnimation::finished, this, [this] {
        RunGuarded([this] {
            if (FExpanded) {
                FBody->setMaximumHeight(QWIDGETSIZE_MAX); // let the layout size it again
            } else {
                FBody->hide();
                KeepToHeader();
            }
        });
    });
    connect(FHeader, &QToolButton::toggled, this,
            [this](bool On) { RunGuarded([this, On] { SetExpanded(On); }); });
}

void TRollPanel::SetContent(QWidget* Content) {
    Content->setParent(FBody);
    FBody->layout()->addWidget(Content);
}

void TRollPanel::SetExpanded(bool Expanded, bool Animate) {
    if (Expanded == FExpanded)
        return;
    FExpanded = Expanded;
    {
        const QSignalBlocker block(FHeader);
        FHeader->setChecked(Expanded);
    }
    FHeader->setArrowType(Expanded ? Qt::DownArrow : Qt::RightArrow);
    FAnimation->stop();
    // The collapsed panel keeps only its header; the expanded one asks for the body's height.
    const int full = FBody->sizeHint().height();
    if (Expanded) {
        setMaximumHeight(QWIDGETSIZE_MAX);
        FBody->show();
    }
    if (Animate && isVisible()) {
        const int from = Expanded ? 0 : FBody->height();
        FAnimation->setStartValue(from);
        FAnimation->setEndValue(Expanded ? qMax(full, 1) : 0);
        FBody->setMaximumHeight(from);
        FAnimation->start();
    } else {
        FBody->setMaximumHeight(Expanded ? QWIDGETSIZE_MAX : 0);
        FBody->setVisible(Expanded);
        if (!Expanded)
            KeepToHeader();
    }
    emit ExpandedChanged(Expanded);
}

// A collapsed panel is no taller than its header, so that a splitter or layout gives the room to
// its neighbours instead of leaving it empty.
void TRollPanel::KeepToHeader() {
    setMaximumHeight(FHeader->sizeHint().height());
}
