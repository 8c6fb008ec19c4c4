#include "GatewayLog.h"

Q_LOGGING_CATEGORY(lcGateway, "zel.gateway", QtInfoMsg)
