#pragma once
// The small dialogs open centred on the main window, clear of its stop buttons: their parent's
// window when they have a parent, else the application's active window.
class QDialog;

void CenterDialogOnMainWindow(QDialog* Dialog);
// Runs the dialog modally, centred; true for the accepted result.
bool ExecDialogCentered(QDialog* Dialog);
