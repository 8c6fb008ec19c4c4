// TEMP stub of the tool windows.
#include "CommLogForm.h"
#include "CustomCmdForm.h"

TCommLog::TCommLog(QWidget* Parent) : QWidget(Parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Communications log"));
}
TCommLog::~TCommLog() = default;
void TCommLog::SetDevice(TKORADevice*) {}
void TCommLog::AddPacket(const TPacket&, bool) {}

TCustomCmd::TCustomCmd(QWidget* Parent) : QWidget(Parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Custom Command Editor"));
}
TCustomCmd::~TCustomCmd() = default;
void TCustomCmd::SetDevice(TKORADevice*) {}
void TCustomCmd::SetEnabled(bool) {}
