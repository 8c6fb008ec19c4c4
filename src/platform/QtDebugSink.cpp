#include "platform/QtDebugSink.h"
#include "platform/LogCategories.h"

#include "protocol/debugout.h"

#include <QDebug>
#include <QString>

void RouteDebugOutToQt() {
    SetDebugSink([](const std::string& Text) { qCDebug(lcProtocol).noquote() << QString::fromStdString(Text); });
}
