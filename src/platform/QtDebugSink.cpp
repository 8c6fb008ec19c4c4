#include "QtDebugSink.h"

#include "debugout.h"

#include <QDebug>
#include <QString>

void RouteDebugOutToQt() {
    SetDebugSink([](const std::string& Text) { qDebug().noquote() << QString::fromStdString(Text); });
}
