#pragma once
// Modal dialog in which the operator chooses the interface and its port before connecting.
#include <QDialog>

#include <cstdint>

class QComboBox;
class QPushButton;
class TDevice;
class TDeviceListOwner;

class TDeviceDlg : public QDialog {
    Q_OBJECT
public:
    // Owner must be the command engine; it outlives the dialog (the engine deletes it).
    explicit TDeviceDlg(QObject* Owner);

    // Lists the transports, preselects the first and its last port, runs modally; true for Connect.
    bool Show();
    int32_t SelectedInterface() const;
    QString PortText() const;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    TDeviceListOwner& Engine() const;
    void cbDeviceChange();

    QObject* FOwner;
    QComboBox* cbDevice = nullptr;
    QComboBox* cbDevicePort = nullptr;
    QPushButton* btnConnect = nullptr;
    QPushButton* btnCancel = nullptr;
};
