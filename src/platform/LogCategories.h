#pragma once
// Logging categories of the programs' own output. Debug messages are off unless switched on, as
// for any Qt program: QT_LOGGING_RULES="zel.*.debug=true" (or "zel.can.debug=true", ...).
// Warnings are on.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcProtocol)  // zel.protocol: receiver (checksum mismatches, ...)
Q_DECLARE_LOGGING_CATEGORY(lcTransport) // zel.transport: the links and their settings
Q_DECLARE_LOGGING_CATEGORY(lcCan)       // zel.can: CAN interfaces, bus errors, the CAN worker
Q_DECLARE_LOGGING_CATEGORY(lcDevice)    // zel.device: devices and their reports
Q_DECLARE_LOGGING_CATEGORY(lcApp)       // zel.app: unhandled errors, messages without a window
