#include "linkdialogs/BaudrateDialog.h"
#include "linkdialogs/HostnameDialog.h"
#include "widgets/IntegerEdit.h"
#include "ModalDriver.h"
#include "WindowControls.h"
#include "linkdialogs/UDPSettingsDialog.h"
#include "transports/baudrate.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {
QStringList Labels(QWidget* W) {
    QStringList l;
    for (auto* label : W->findChildren<QLabel*>())
        l.append(label->text());
    return l;
}

QString What(const std::function<void()>& Fn) {
    try {
        Fn();
    } catch (const std::exception& e) {
        return e.what();
    }
    return QString();
}
} // namespace

TEST(Baudrate, ConversionsFallBackTo19200) {
    EXPECT_EQ(BaudIndexToRate(br110), 110);
    EXPECT_EQ(BaudIndexToRate(br256000), 256000);
    EXPECT_EQ(BaudIndexToRate(brUser), 19200);
    EXPECT_EQ(BaudIndexToRate(16), 19200);
    EXPECT_EQ(BaudIndexToRate(-1), 19200);
    EXPECT_EQ(BaudRateToIndex(57600), br57600);
    EXPECT_EQ(BaudRateToIndex(110), br110);
    EXPECT_EQ(BaudRateToIndex(12345), br19200);
    EXPECT_EQ(BaudRateToIndex(0), br19200);
    for (int code = br110; code <= br256000; ++code)
        EXPECT_EQ(BaudRateToIndex(BaudIndexToRate(code)), code);
}

TEST(BaudrateDlg, OffersEightSpeedsAndRefusesOkWithoutSelection) {
    TBaudrateDlg dlg;
    auto* speeds = Control<QComboBox>(dlg, "cbBaudrate");
    auto* ok = Control<QPushButton>(dlg, "btnOk");
    EXPECT_EQ(dlg.windowTitle(), "Connection Properties");
    EXPECT_TRUE(Labels(&dlg).contains("Baudrate:"));
    QStringList items;
    for (int i = 0; i < speeds->count(); ++i)
        items.append(speeds->itemText(i));
    EXPECT_EQ(items, (QStringList{"1200 baud", "2400 baud", "4800 baud", "9600 baud", "19200 baud",
                                  "38400 baud", "57600 baud", "115200 baud"}));
    EXPECT_FALSE(speeds->isEditable());
    EXPECT_EQ(speeds->currentText(), "9600 baud");

    dlg.SelectCode(br57600);
    EXPECT_EQ(dlg.Code(), br57600);
    EXPECT_TRUE(ok->isEnabled());
    dlg.SelectCode(br300); // not offered
    EXPECT_EQ(speeds->currentIndex(), -1);
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(What([&] { dlg.Code(); }), "Baudrate index undefined");
    speeds->setCurrentIndex(7); // as the user picks it
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(dlg.Code(), br115200);
}

TEST(HostNameDlg, PortFieldRulesAndTexts) {
    THostNameDlg dlg;
    auto* port = Control<TIntegerEdit>(dlg, "edPort");
    auto* ok = Control<QPushButton>(dlg, "btnOk");
    EXPECT_EQ(dlg.windowTitle(), "TCP Connection");
    EXPECT_TRUE(Labels(&dlg).contains("Please enter the Hostname or the IP Address of the device:"));
    EXPECT_TRUE(Labels(&dlg).contains("Connect via port:"));
    EXPECT_EQ(port->text(), "1000");
    EXPECT_EQ(dlg.Port(), 1000);
    EXPECT_TRUE(ok->isEnabled());

    for (const char* bad : {"0", "65536", "", "port"}) {
        port->setText(bad);
        EXPECT_FALSE(ok->isEnabled()) << bad;
        EXPECT_EQ(What([&] { dlg.Port(); }), "Port value is invalid") << bad;
    }
    port->setText("0x3E8");
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(dlg.Port(), 1000);
    dlg.SetPort(65535);
    EXPECT_EQ(port->text(), "65535");
    dlg.SetHost("gripper.local");
    EXPECT_EQ(dlg.Host(), "gripper.local");
}

TEST(HostNameDlg, EnterConnectsEscapeAbortsAndDisabledOkIgnoresEnter) {
    THostNameDlg dlg;
    {
        TModalDriver driver;
        driver.Then(TModalDriver::PressKey(Qt::Key_Return));
        EXPECT_TRUE(dlg.Show());
        EXPECT_EQ(driver.Titles(), QStringList{"TCP Connection"});
    }
    {
        TModalDriver driver;
        driver.Then(TModalDriver::PressKey(Qt::Key_Escape));
        EXPECT_FALSE(dlg.Show());
    }
    {
        // With an invalid port Enter does nothing; the dialog stays until Escape.
        TModalDriver driver;
        driver.Then([](QWidget* W) {
            auto* port = Control<TIntegerEdit>(*W, "edPort");
            port->setText("0");
            QTest::keyClick(port, Qt::Key_Return);
            EXPECT_TRUE(W->isVisible());
            QTest::keyClick(port, Qt::Key_Escape);
        });
        EXPECT_FALSE(dlg.Show());
        EXPECT_EQ(driver.Handled(), 1);
    }
}

TEST(UDPSettingsDlg, BothPortsMustBeValidAndKeepTheirOrder) {
    TUDPSettingsDlg dlg;
    auto* transmit = Control<TIntegerEdit>(dlg, "edTransmitPort");
    auto* listening = Control<TIntegerEdit>(dlg, "edListeningPort");
    auto* ok = Control<QPushButton>(dlg, "btnOk");
    EXPECT_EQ(dlg.windowTitle(), "UDP Connection");
    EXPECT_TRUE(Labels(&dlg).contains("Please enter the IP Address of the device:"));
    EXPECT_EQ(transmit->text(), "1500");
    EXPECT_EQ(listening->text(), "1501");
    EXPECT_TRUE(dlg.Address().isEmpty());
    // The transmit row stands above the listening row.
    auto* form = dlg.findChild<QFormLayout*>();
    ASSERT_TRUE(form);
    int transmitRow = -1, listeningRow = -1;
    QFormLayout::ItemRole role;
    form->getWidgetPosition(transmit, &transmitRow, &role);
    form->getWidgetPosition(listening, &listeningRow, &role);
    EXPECT_LT(transmitRow, listeningRow);
    EXPECT_EQ(qobject_cast<QLabel*>(form->labelForField(transmit))->text(), "Transmit Port");
    EXPECT_EQ(qobject_cast<QLabel*>(form->labelForField(listening))->text(), "Listening Port");

    listening->setText("70000");
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(What([&] { dlg.ListeningPort(); }), "Listening Port value is invalid");
    transmit->setText("0");
    listening->setText("1501");
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(What([&] { dlg.TransmitPort(); }), "Transmit Port value is invalid");
    dlg.SetTransmitPort(1500);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(dlg.TransmitPort(), 1500);
    EXPECT_EQ(dlg.ListeningPort(), 1501);
}
