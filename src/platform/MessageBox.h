#pragma once
// The message seam's box: a modal box with one OK button and the icon of the message's kind.
#include "MessageSeam.h"

// The hook that shows the box (SetMessageHook(MessageBoxHook()) at the console's start).
TMessageHook MessageBoxHook();
