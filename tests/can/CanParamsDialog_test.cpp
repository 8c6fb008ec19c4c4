// The CAN parameter dialog: its entries and codes, the enabling of OK, and bad stored codes.
#include "transports/CANDevice.h"
#include "linkdialogs/CanParamsDialog.h"
#include "linkdialogs/LinkDialogs.h"
#include "widgets/IntegerEdit.h"
#include "TempSettingsFolder.h"
#include "WindowControls.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {
class CanParamsDialogTest : public SettingsFolderTest {};
} // namespace

TEST_F(CanParamsDialogTest, EntriesMapToTheirCodesBothWays) {
    TCANParamsDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("CAN-Bus Configuration"));
    const QStringList texts{"10 kBit/s",  "20 kBit/s",  "50 kBit/s",  "100 kBit/s",
                            "125 kBit/s", "250 kBit/s", "500 kBit/s", "1 MBit/s"};
    const int codes[] = {13, 11, 9, 7, 6, 4, 2, 0};
    auto* bitrate = Control<QComboBox>(dlg, "cbBitrate");
    ASSERT_EQ(bitrate->count(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(bitrate->itemText(i), texts[i]);
        bitrate->setCurrentIndex(i);
        EXPECT_EQ(dlg.GetBitrate(), codes[i]) << i;
        dlg.SetBitrate(codes[(i + 3) % 8]);
        EXPECT_EQ(bitrate->currentIndex(), (i + 3) % 8);
        EXPECT_EQ(bitrate->currentText(), texts[(i + 3) % 8]);
    }
    for (int bad : {1, 3, 5, 8, 14, -1}) {
        try {
            dlg.SetBitrate(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), std::to_string(bad) + " is not a supported bitrate");
        }
    }
}

TEST_F(CanParamsDialogTest, OkIsEnabledOnlyForAValidIdAndATextThatNamesAnEntry) {
    TCANParamsDlg dlg;
    auto* ok = Control<QPushButton>(dlg, "btnOk");
    auto* id = Control<TIntegerEdit>(dlg, "edID");
    auto* bitrate = Control<QComboBox>(dlg, "cbBitrate");
    // The initial text differs from the entry in letter case only and still means 250 kBit/s.
    EXPECT_EQ(dlg.GetBitrate(), 4);
    EXPECT_EQ(dlg.GetId(), 100);
    EXPECT_TRUE(ok->isEnabled());

    id->setText(QStringLiteral("abc"));
    EXPECT_EQ(dlg.GetId(), -1);
    EXPECT_FALSE(ok->isEnabled());
    id->setText(QString());
    EXPECT_FALSE(ok->isEnabled());
    id->setText(QStringLiteral("0x1F"));
    EXPECT_EQ(dlg.GetId(), 31);
    EXPECT_TRUE(ok->isEnabled());
    dlg.SetId(-5); // no range limits
    EXPECT_EQ(dlg.GetId(), -5);
    EXPECT_TRUE(ok->isEnabled());

    // Typed texts: an entry's name in any letter case selects it; anything else selects nothing.
    bitrate->setEditText(QStringLiteral(" 500 KBIT/S "));
    EXPECT_EQ(dlg.GetBitrate(), 2);
    EXPECT_TRUE(ok->isEnabled());
    bitrate->setEditText(QStringLiteral("fast"));
    EXPECT_EQ(dlg.GetBitrate(), 0);
    EXPECT_FALSE(ok->isEnabled());
    bitrate->setEditText(QStringLiteral("10 kBit/s"));
    EXPECT_EQ(dlg.GetBitrate(), 13);
    EXPECT_TRUE(ok->isEnabled());
}

TEST_F(CanParamsDialogTest, UnsupportedStoredCodeDoesNotStopTheStartButFailsTheOpen) {
    Settings.WriteFile(QStringLiteral("can.cfg"), "[common]\nbitrate=3\nid=42\n");
    std::unique_ptr<TCANDevice> dev;
    ASSERT_NO_THROW(dev = std::make_unique<TCANDevice>(nullptr));
    EXPECT_EQ(LinkDialog(*dev)->GetBitrate(), 4);
    try {
        dev->Open(QStringLiteral("Net 0"));
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "3 is not a supported bitrate");
    }
    EXPECT_FALSE(dev->IsOpen());
}
