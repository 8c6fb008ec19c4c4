#include "platform/LogCategories.h"

Q_LOGGING_CATEGORY(lcProtocol, "zel.protocol", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTransport, "zel.transport", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCan, "zel.can", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDevice, "zel.device", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "zel.app", QtInfoMsg)
