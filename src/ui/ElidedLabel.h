#pragma once
// A label of several lines that wraps its text at spaces and ends with an ellipsis when the text
// does not fit. Only the part that can be seen is laid out, so a text of any length is cheap.
#include <QFrame>

class TElidedLabel : public QFrame {
    Q_OBJECT
public:
    explicit TElidedLabel(QWidget* Parent = nullptr);

    QString Text() const { return FText; }
    void SetText(const QString& Text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QString FText;
};
