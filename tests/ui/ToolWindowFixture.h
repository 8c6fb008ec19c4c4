#pragma once
// A gripper device talking to an in-process zel-sim over loopback TCP, for the tool window tests.
#include "DeviceTestLink.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "zel/ZEL.h"

#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& S, std::ostream* Os) {
    *Os << '"' << S.toStdString() << '"';
}

class ToolWindowE2E : public SettingsFolderTest {
protected:
    void SetUp() override {
        zelsim::TSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.Gripper.StartReferenced = true;
        Sim = std::make_unique<zelsim::TSimThread>(cfg);
        std::string error;
        ASSERT_TRUE(Sim->Start(&error)) << error;
    }
    void TearDown() override {
        Zel.Disconnect();
        Sim.reset();
    }
    bool Connect() { return Link.Connect(Sim->TcpPort()); }

    template <class T> static T* Child(QWidget& W, const char* Name) {
        T* c = W.findChild<T*>(QString::fromLatin1(Name));
        EXPECT_NE(c, nullptr) << Name;
        return c;
    }
    static QStringList ItemTexts(QMenu* Menu) {
        QStringList texts;
        for (QAction* a : Menu->actions())
            texts << a->text();
        return texts;
    }

    TRecordingErrorHandler Errors;
    TMessageRecorder Messages;
    std::unique_ptr<zelsim::TSimThread> Sim;
    TZEL Zel{nullptr};
    TDeviceTestLink Link{Zel};
};
