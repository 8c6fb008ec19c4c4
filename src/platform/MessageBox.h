#pragma once
// The message seam's box. A box only reports, so it does not block its window: the operator must
// be able to stop the device while a message is open. One box at a time; a message that comes
// while it is open joins it with its time instead of stacking another box on top.
#include "platform/MessageSeam.h"

class QMessageBox;

// The hook that shows the box (SetMessageHook(MessageBoxHook()) at the console's start).
TMessageHook MessageBoxHook();

// The box open now, or null.
QMessageBox* OpenMessageBox();
