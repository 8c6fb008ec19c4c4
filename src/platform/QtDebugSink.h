#pragma once
// Qt programs call this at start so that the protocol core's debug output reaches qDebug().
void RouteDebugOutToQt();
