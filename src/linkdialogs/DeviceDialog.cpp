#include "linkdialogs/DeviceDialog.h"

#include "transports/DeviceComponent.h"
#include "linkdialogs/DialogPlacement.h"
#include "platform/ErrorGuard.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include <stdexcept>

TDeviceDlg::TDeviceDlg(QObject* Owner)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FOwner(Owner) {
    setWindowTitle(QStringLiteral("Select an Interface"));
    cbDevice = new QComboBox(this);
    cbDevice->setObjectName(QStringLiteral("cbDevice"));
    cbDevicePort = new QComboBox(this);
    cbDevicePort->setObjectName(QStringLiteral("cbDevicePort"));
    cbDevicePort->setMinimumContentsLength(12);
    btnConnect = new QPushButton(QStringLiteral("Connect"), this);
    btnConnect->setObjectName(QStringLiteral("btnConnect"));
    btnCancel = new QPushButton(QStringLiteral("Abort"), this);
    connect(cbDevice, &QComboBox::currentIndexChanged, this,
            [this] { RunGuarded([this] { cbDeviceChange(); }); });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Device:"), cbDevice);
    form->addRow(QStringLiteral("Port:"), cbDevicePort);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(OkCancelRow(this, btnConnect, btnCancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TDeviceListOwner& TDeviceDlg::Engine() const {
    auto* engine = dynamic_cast<TDeviceListOwner*>(FOwner);
    if (!engine)
        throw std::runtime_error("Owner is not TCommand");
    return *engine;
}

bool TDeviceDlg::Show() {
    // The icon comes from the desktop's icon theme on first use, which reads the theme's folders:
    // that is left to the first connect rather than paid by every program start.
    if (btnConnect->icon().isNull())
        btnConnect->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    TDeviceListOwner& engine = Engine();
    {
        // Rebuilding the list would refill the ports at every step; fill them once below.
        const QSignalBlocker quiet(cbDevice);
        cbDevice->clear();
        for (int32_t i = 0; i < engine.DeviceCount(); ++i)
            cbDevice->addItem(engine.GetDevice(i)->InterfaceName);
        cbDevice->setCurrentIndex(cbDevice->count() > 0 ? 0 : -1);
    }
    cbDeviceChange();
    return RunCentered(this);
}

int32_t TDeviceDlg::SelectedInterface() const {
    return cbDevice->currentIndex();
}

QString TDeviceDlg::PortText() const {
    return cbDevicePort->currentText();
}

void TDeviceDlg::showEvent(QShowEvent* Event) {
    RunGuarded([&] {
        QDialog::showEvent(Event);
        cbDevice->setFocus();
    });
}

void TDeviceDlg::cbDeviceChange() {
    TDeviceListOwner& engine = Engine();
    cbDevicePort->clear();
    if (cbDevice->currentIndex() < 0)
        return;
    TDevice* device = engine.GetDevice(cbDevice->currentIndex());
    QStringList ports;
    device->GetPortList(ports);
    cbDevicePort->addItems(ports);
    if (ports.isEmpty())
        return;
    const qsizetype last = ports.indexOf(device->GetLastPortName());
    cbDevicePort->setCurrentIndex(last >= 0 ? int(last) : 0);
}
