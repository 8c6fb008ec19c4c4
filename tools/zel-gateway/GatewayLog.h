#pragma once
// zel.gateway: one line per connect, lost link, reconnect and refused write.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcGateway)
