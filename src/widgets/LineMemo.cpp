#include "widgets/LineMemo.h"

#include <QScrollBar>
#include <QTextBlock>

TLineMemo::TLineMemo(int MaxLines, QWidget* Parent) : QPlainTextEdit(Parent), FMaxLines(MaxLines) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(MaxLines);
    setUndoRedoEnabled(false);
}

void TLineMemo::AddLine(const QString& Line) {
    // An empty document is one empty block: the first line replaces it rather than following it.
    if (document()->isEmpty())
        setPlainText(Line);
    else
        appendPlainText(Line);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

QStringList TLineMemo::Lines() const {
    QStringList lines;
    if (document()->isEmpty())
        return lines;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}
