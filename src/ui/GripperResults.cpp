#include "ui/GripperResults.h"

#include "widgets/LineMemo.h"

#include <QToolButton>

TGripperResults::TGripperResults(const TZEL& Zel, QWidget* Parent)
    : TRollPanel(QStringLiteral("Asynchronous Motion Command Results"), Parent), FZel(Zel) {
    setObjectName(QStringLiteral("RollPanel2"));
    LogMemo = new TLineMemo(100);
    LogMemo->setObjectName(QStringLiteral("LogMemo"));
    LogMemo->setAccessibleName(QStringLiteral("Asynchronous motion command results"));
    SetContent(LogMemo);
}

QString TGripperResults::ResultLine(int32_t CommandID, TStat Status) const {
    return QStringLiteral("Command %1 finished: %2.")
        .arg(QString::fromStdString(FZel.CommandName(CommandID)), QString::fromStdString(StatToStr(Status)));
}

TAsyncResultEvent TGripperResults::Handler() {
    return [this](TKORADevice*, int32_t CommandID, TStat Status, const TByteArray&) {
        LogMemo->AddLine(ResultLine(CommandID, Status));
    };
}

QStringList TGripperResults::Lines() const {
    return LogMemo->Lines();
}

QList<QWidget*> TGripperResults::TabOrder() const {
    return {Header(), LogMemo};
}
