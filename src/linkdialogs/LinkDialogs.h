#pragma once
// The console's answers to the questions of the engine and the transports: the interface dialog
// and each link's parameter dialog. Each dialog is built at its first question and kept with its
// link, so that what the operator typed stays as long as the stored settings do not change.
class TBaudrateDlg;
class TCANDevice;
class TCANParamsDlg;
class TCommand;
class TDeviceDlg;
class THostNameDlg;
class TSerialDevice;
class TTCPDevice;
class TUDPDevice;
class TUDPSettingsDlg;

// Installs the dialogs as the questions of the engine and of every transport.
void InstallLinkDialogs();

// The dialog of one link (built when first asked for).
TDeviceDlg* LinkDialog(TCommand& Engine);
TBaudrateDlg* LinkDialog(TSerialDevice& Link);
THostNameDlg* LinkDialog(TTCPDevice& Link);
TUDPSettingsDlg* LinkDialog(TUDPDevice& Link);
TCANParamsDlg* LinkDialog(TCANDevice& Link);
