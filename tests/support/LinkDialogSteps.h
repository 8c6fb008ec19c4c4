#pragma once
// Drives the engine's dialogs the way an operator would, for engine, device and end-to-end tests.
#include "engine/CommandComponent.h"
#include "ModalDriver.h"

#include <QString>

// Picks interface Index in the interface dialog and presses Connect.
TModalDriver::TStep ChooseInterface(int Index);
// Fills the host dialog and presses OK.
TModalDriver::TStep EnterHost(const QString& Host, quint16 Port);
// Fills the UDP dialog and presses OK.
TModalDriver::TStep EnterUdp(const QString& Address, quint16 Listening, quint16 Transmit);

// A frame as the device would send it.
QByteArray Frame(uint8_t Id, const QByteArray& Payload);
