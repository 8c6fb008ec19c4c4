#pragma once
// "Custom Command Editor": compose a command packet, see it decoded as it goes on the wire, send it
// once or on a timer, and list the final results of commands that answered pending.
#include <QWidget>

class TKORADevice;

class TCustomCmd : public QWidget {
    Q_OBJECT
public:
    // A tool window of Parent (stays on top of it); closing it only hides it.
    explicit TCustomCmd(QWidget* Parent = nullptr);
    ~TCustomCmd() override;

    // Not owned; may be null. Rebuilds the known-identifier menu from the device's names.
    void SetDevice(TKORADevice* Device);
    // Given by the main window with the connection: the send controls follow it.
    void SetEnabled(bool Enabled);
};
