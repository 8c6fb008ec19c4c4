#pragma once
// Qt programs call this at start so that the protocol core's debug output reaches the zel.protocol logging category.
void RouteDebugOutToQt();
