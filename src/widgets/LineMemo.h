#pragma once
// A read-only text view that keeps at most a given number of lines (one entry is one line):
// the oldest lines go first, and each new line scrolls the view to the bottom.
#include <QPlainTextEdit>

class TLineMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TLineMemo(int MaxLines, QWidget* Parent = nullptr);

    void AddLine(const QString& Line);
    QStringList Lines() const;
    int MaxLines() const { return FMaxLines; }

private:
    int FMaxLines;
};
