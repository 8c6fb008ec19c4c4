#pragma once
// The results of the gripper's motion commands: a roll panel below the command column with one
// line per final result ("Command MOVE finished: No error."), the last hundred kept.
#include "widgets/RollPanel.h"
#include "zel/ZEL.h"

#include <QList>
#include <QStringList>

class TLineMemo;

class TGripperResults : public TRollPanel {
public:
    TGripperResults(const TZEL& Zel, QWidget* Parent);

    // The line the memo gets for a final result.
    QString ResultLine(int32_t CommandID, TStat Status) const;
    // A command's final result handler: adds the result's line.
    TAsyncResultEvent Handler();
    // The lines shown, oldest first.
    QStringList Lines() const;
    // The controls in keyboard order.
    QList<QWidget*> TabOrder() const;

private:
    const TZEL& FZel;
    TLineMemo* LogMemo = nullptr;
};
