#include "QtDebugSink.h"
#include "LogCategories.h"

#include "debugout.h"

#include <QDebug>
#include <QString>

void RouteDebugOutToQt() {
    SetDebugSink([](const std::string& Text) { qCDebug(lcProtocol).noquote() << QString::fromStdString(Text); });
}
