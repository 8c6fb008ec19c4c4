// TEMP stub of the widget set.
#include "BandPanel.h"
#include "LineMemo.h"
#include "RollPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

TBandPanel::TBandPanel(const QString& Title, const QColor& Band, QWidget* Parent)
    : QFrame(Parent), FTitle(Title), FBand(Band) {
    auto* l = new QHBoxLayout(this);
    auto* band = new QLabel(Title.trimmed(), this);
    band->setStyleSheet(QStringLiteral("background:%1").arg(Band.name()));
    band->setFixedWidth(22);
    FContent = new QWidget(this);
    l->addWidget(band);
    l->addWidget(FContent, 1);
    setFrameShape(QFrame::StyledPanel);
}

TLineMemo::TLineMemo(int MaxLines, QWidget* Parent) : QPlainTextEdit(Parent), FMaxLines(MaxLines) {
    setReadOnly(true);
    setMaximumBlockCount(MaxLines);
}
void TLineMemo::AddLine(const QString& Line) {
    appendPlainText(Line);
}
QStringList TLineMemo::Lines() const {
    QStringList l;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        l << b.text();
    if (l.size() == 1 && l[0].isEmpty())
        l.clear();
    return l;
}

TRollPanel::TRollPanel(const QString& Title, QWidget* Parent) : QWidget(Parent) {
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    FHeader = new QToolButton(this);
    FHeader->setText(Title);
    FHeader->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    FBody = new QWidget(this);
    l->addWidget(FHeader);
    l->addWidget(FBody, 1);
    connect(FHeader, &QToolButton::clicked, this, [this] { SetExpanded(!FExpanded, false); });
}
void TRollPanel::SetContent(QWidget* Content) {
    auto* l = new QVBoxLayout(FBody);
    l->setContentsMargins(0, 0, 0, 0);
    Content->setParent(FBody);
    l->addWidget(Content);
}
void TRollPanel::SetExpanded(bool Expanded, bool) {
    FExpanded = Expanded;
    FBody->setVisible(Expanded);
    emit ExpandedChanged(Expanded);
}
