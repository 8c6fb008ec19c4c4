#pragma once
// "Communications log": every packet the device sends on its synchronous path and every packet it
// receives, the last 150 kept so that the view can be redrawn when an option changes.
#include "CommLog.h"

#include <QWidget>

class TKORADevice;

class TCommLog : public QWidget, public TCommLogSink {
    Q_OBJECT
public:
    // A tool window of Parent (stays on top of it); closing it only hides it.
    explicit TCommLog(QWidget* Parent = nullptr);
    ~TCommLog() override;

    // Not owned; may be null. A matrix sensor shows the data-packet suppression option.
    void SetDevice(TKORADevice* Device);
    void AddPacket(const TPacket& Packet, bool Received) override;
};
