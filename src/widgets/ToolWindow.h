#pragma once
// Tool windows of the console open centred on their owner's window the first time they are shown,
// and stay where the user left them after that.
class QWidget;

// Moves Window so that its frame is centred on its owner's window and wholly on the owner's
// screen; a window without owner stays.
void CenterOnOwner(QWidget* Window);
