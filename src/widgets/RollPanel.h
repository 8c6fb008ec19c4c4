#pragma once
// A titled section that collapses and expands: a header button (mouse or Space/Enter with focus)
// and a body whose height animates. The body's layout is the caller's.
#include <QWidget>

class QPropertyAnimation;
class QToolButton;
class QVBoxLayout;

class TRollPanel : public QWidget {
    Q_OBJECT
public:
    explicit TRollPanel(const QString& Title, QWidget* Parent = nullptr);

    QWidget* Body() const { return FBody; }
    // Puts Content into the body, filling it.
    void SetContent(QWidget* Content);

    bool Expanded() const { return FExpanded; }
    // Animated unless Animate is false (construction, tests).
    void SetExpanded(bool Expanded, bool Animate = true);
    QToolButton* Header() const { return FHeader; }

signals:
    void ExpandedChanged(bool Expanded);

private:
    void KeepToHeader();

    QToolButton* FHeader = nullptr;
    QWidget* FBody = nullptr;
    QPropertyAnimation* FAnimation = nullptr;
    bool FExpanded = true;
};
