#include "RollPanel.h"

#include "ErrorGuard.h"

#include <QPropertyAnimation>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int AnimationMs = 150;
}

TRollPanel::TRollPanel(const QString& Title, QWidget* Parent) : QWidget(Parent) {
    FHeader = new QToolButton(this);
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
            if (FExpanded)
                FBody->setMaximumHeight(QWIDGETSIZE_MAX); // let the layout size it again
            else
                FBody->hide();
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
    if (Expanded)
        FBody->show();
    if (Animate && isVisible()) {
        const int from = Expanded ? 0 : FBody->height();
        FAnimation->setStartValue(from);
        FAnimation->setEndValue(Expanded ? qMax(full, 1) : 0);
        FBody->setMaximumHeight(from);
        FAnimation->start();
    } else {
        FBody->setMaximumHeight(Expanded ? QWIDGETSIZE_MAX : 0);
        FBody->setVisible(Expanded);
    }
    emit ExpandedChanged(Expanded);
}
