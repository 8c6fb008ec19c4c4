#include "ConsoleFixture.h"

#include "LinkDialogSteps.h"
#include "ModalDriver.h"
#include "TestWait.h"

#include "widgets/FloatEdit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

void ConsoleE2E::TearDown() {
    Win.reset();
    Sim.reset();
}

zelsim::TSimConfig ConsoleE2E::Referenced() {
    zelsim::TSimConfig cfg;
    cfg.Gripper.StartReferenced = true;
    cfg.Verbose = true;
    return cfg;
}

void ConsoleE2E::Start(zelsim::TSimConfig Config) {
    Config.TcpPort = 0;
    Sim = std::make_unique<zelsim::TSimThread>(Config);
    std::string error;
    ASSERT_TRUE(Sim->Start(&error)) << error;
    Sim->Run([this](zelsim::TSimulator& S) {
        S.SetLogSink([this](const std::string& Line) {
            std::lock_guard<std::mutex> lock(FLogMutex);
            FLog.push_back(Line);
        });
    });
    Win = std::make_unique<TMainWin>();
    Win->show();
    QApplication::setActiveWindow(Win.get());
}

bool ConsoleE2E::Connect() {
    TModalDriver driver;
    driver.Then(ChooseInterface(1)).Then(EnterHost(QStringLiteral("127.0.0.1"), Sim->TcpPort()));
    Item("miConnect")->trigger();
    return WaitUntil([&] { return Item("miDisconnect")->isEnabled() && Label("lbPosition")->text() != "[n/a]"; },
                     5000);
}

int ConsoleE2E::SimLogLines(const std::string& Text) {
    std::lock_guard<std::mutex> lock(FLogMutex);
    int n = 0;
    for (const std::string& l : FLog)
        n += l.find(Text) != std::string::npos ? 1 : 0;
    return n;
}

void ConsoleE2E::SetFaults(const zelsim::TFaultConfig& Faults) {
    Sim->Run([Faults](zelsim::TSimulator& S) { S.SetFaults(Faults); });
}

QPushButton* ConsoleE2E::Button(const char* Name) const {
    return Find<QPushButton>(Name);
}

TFloatEdit* ConsoleE2E::Edit(const char* Name) const {
    return Find<TFloatEdit>(Name);
}

QLabel* ConsoleE2E::Label(const char* Name) const {
    return Find<QLabel>(Name);
}

QAction* ConsoleE2E::Item(const char* Name) const {
    return Find<QAction>(Name);
}

QCheckBox* Flag(TMainWin& W, const QString& Text) {
    for (QCheckBox* cb : Control<QWidget>(W, "StateColumn")->findChildren<QCheckBox*>())
        if (cb->text() == Text)
            return cb;
    return nullptr;
}
