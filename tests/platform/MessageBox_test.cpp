// The console's box behind the message seam: the kind picks the icon, text and caption stay.
#include "MessageBox.h"
#include "ModalDriver.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <gtest/gtest.h>

TEST(MessageBox, ErrorsShowTheCriticalIconAndInformationTheInformationIcon) {
    const TMessageHook previous = SetMessageHook(MessageBoxHook());
    struct TSeen {
        QMessageBox::Icon Icon;
        QString Text;
        QString Title;
    };
    std::vector<TSeen> seen;
    const auto look = [&seen](QMessageBox* Box) {
        seen.push_back({Box->icon(), Box->text(), Box->windowTitle()});
        Box->accept();
    };
    {
        TModalDriver driver;
        driver.ThenAs<QMessageBox>(look).ThenAs<QMessageBox>(look);
        ShowMessage(TMessageKind::Error, QStringLiteral("Cannot connect to target: timeout"), QStringLiteral("Error"));
        ShowMessage(TMessageKind::Information, QStringLiteral("Current device temperature is 31.0°C"));
    }
    SetMessageHook(previous);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(seen[0].Text, "Cannot connect to target: timeout");
    EXPECT_EQ(seen[0].Title, "Error");
    EXPECT_EQ(seen[1].Icon, QMessageBox::Information);
    EXPECT_EQ(seen[1].Title, QCoreApplication::applicationName());
}
