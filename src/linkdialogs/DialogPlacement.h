#pragma once
// Shared layout and placement of the transports' dialogs. They have no parent widget (their
// owners are transports), so they are centred on the application's active window by hand.
class QDialog;
class QHBoxLayout;
class QPushButton;

void CenterOnMainWindow(QDialog* Dialog);
// Runs the dialog modally, centred; true only for the OK result.
bool RunCentered(QDialog* Dialog);
// Bottom row with the accepting button on the left and the rejecting one mirrored on the right;
// wires them to accept and reject and makes the left one the default (Enter).
QHBoxLayout* OkCancelRow(QDialog* Dialog, QPushButton* Ok, QPushButton* Cancel);
