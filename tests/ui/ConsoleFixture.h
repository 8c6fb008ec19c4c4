#pragma once
// The console window against zel-sim in the same process over loopback TCP, connected through
// the real interface and host dialogs.
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "ui/ZELMainWin.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ConsoleE2E : public SettingsFolderTest {
protected:
    void TearDown() override;

    // Starts the simulator (TCP on an ephemeral port), builds and shows the window.
    void Start(zelsim::TSimConfig Config = Referenced());
    static zelsim::TSimConfig Referenced();
    // Device > Connect through the interface and host dialogs; true once the window is connected.
    bool Connect();
    int SimLogLines(const std::string& Text);
    void SetFaults(const zelsim::TFaultConfig& Faults);

    TRecordingErrorHandler Errors;
    TMessageRecorder Messages;
    std::unique_ptr<zelsim::TSimThread> Sim;
    std::unique_ptr<TMainWin> Win;

private:
    std::mutex FLogMutex;
    std::vector<std::string> FLog;
};
