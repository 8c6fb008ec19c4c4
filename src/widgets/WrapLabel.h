#pragma once
// A word-wrapped label that remembers its height for the widths it was asked about. Layouts ask a
// wrapped label for its height many times per pass, mostly for the same few widths, and QLabel
// lays the whole text out again for each question.
#include <QHash>
#include <QLabel>

class TWrapLabel : public QLabel {
    Q_OBJECT
public:
    explicit TWrapLabel(const QString& Text, QWidget* Parent = nullptr);

    int heightForWidth(int Width) const override;

protected:
    void changeEvent(QEvent* Event) override;

private:
    mutable QHash<int, int> FHeights;
    // What the remembered heights were measured with; setText, setMargin and setIndent are not
    // virtual and send no event, so they are compared at each question.
    mutable QString FMeasuredText;
    mutable int FMeasuredMargin = 0;
    mutable int FMeasuredIndent = -1;
};
