#pragma once
// "Custom Command Editor": compose a command packet, see it decoded as it goes on the wire, send it
// once or on a timer, and list the final results of commands that answered pending.
#include "protocol/Types.h"
#include "protocol/stat.h"

#include <QPointer>
#include <QWidget>

class TKORADevice;
class TCustomCmdDecoding;
class TIntegerEdit;
class TLineMemo;
class TRollPanel;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolButton;

class TCustomCmd : public QWidget {
    Q_OBJECT
public:
    static constexpr int ResultLines = 100;

    // A tool window of Parent (stays on top of it); closing it only hides it.
    explicit TCustomCmd(QWidget* Parent = nullptr);
    ~TCustomCmd() override;

    // Not owned; may be null. Rebuilds the known-identifier menu from the device's names.
    void SetDevice(TKORADevice* Device);
    // Given by the main window with the connection: the send controls follow it.
    void SetEnabled(bool Enabled);

    // What a send would transmit (valid while the send controls may be enabled).
    uint8_t CommandID() const { return FCommandID; }
    const TByteArray& Payload() const { return FPayload; }
    bool InputValid() const { return FInputValid; }

    void CommandEditChange();
    void btnSendClick();
    void cbAutoSendClick();
    void AutosendTimerTimer();
    // The device's result handler: one line in the results memo.
    void AsyncResult(int32_t CommandID, TStat Status);

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void BuildCommandEntry();
    void BuildSending();
    void BuildResults();
    bool UpdatePayload();
    void ApplySendState();

    QWidget* pnCmdEntry = nullptr;
    TIntegerEdit* edID = nullptr;
    QToolButton* btnKnownIDs = nullptr;
    QMenu* pmKnownIDs = nullptr;
    QComboBox* edPayload = nullptr;
    QLabel* lbPayloadSize = nullptr;
    TCustomCmdDecoding* FDecoding = nullptr;
    QWidget* Panel2 = nullptr;
    QPushButton* btnSend = nullptr;
    QCheckBox* cbAutosend = nullptr;
    QSpinBox* AutosendIntervalEdit = nullptr;
    TRollPanel* RollPanel2 = nullptr;
    TLineMemo* LogMemo = nullptr;
    QTimer* AutosendTimer = nullptr;

    QPointer<TKORADevice> FDevice;
    bool FEnabled = false;
    bool FInputValid = false;
    uint8_t FCommandID = 0;
    TByteArray FPayload;
    bool FPlaced = false;
};
