#pragma once
// The console window against zel-sim in the same process over loopback TCP, connected through
// the real interface and host dialogs.
#include "ui/GripperCommandColumn.h"
#include "ui/GripperResults.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "WindowControls.h"
#include "ui/ZELMainWin.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class TFloatEdit;

// The box of the system state flag with Text.
QCheckBox* Flag(TMainWin& W, const QString& Text);

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

    // The window's controls by their object names.
    template <class T> T* Find(const char* Name) const { return Control<T>(*Win, Name); }
    QPushButton* Button(const char* Name) const;
    TFloatEdit* Edit(const char* Name) const;
    QLabel* Label(const char* Name) const;
    QAction* Item(const char* Name) const;

    TRecordingErrorHandler Errors;
    TMessageRecorder Messages;
    std::unique_ptr<zelsim::TSimThread> Sim;
    std::unique_ptr<TMainWin> Win;

private:
    std::mutex FLogMutex;
    std::vector<std::string> FLog;
};
