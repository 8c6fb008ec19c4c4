#pragma once
// The custom command editor's "Command Packet Decoding" box: the packet a command makes, field by
// field (preamble, identifier, length, payload, checksum).
#include "protocol/Types.h"

#include <QObject>

class QLabel;
class QWidget;
class TElidedLabel;

class TCustomCmdDecoding : public QObject {
    Q_OBJECT
public:
    // The box is a child of Window; Box places it.
    explicit TCustomCmdDecoding(QWidget* Window);
    QWidget* Box() const { return FBox; }
    // The fields of the packet ID and Payload make.
    void Show(uint8_t ID, const TByteArray& Payload);

private:
    QWidget* FBox = nullptr;
    QLabel* lbId = nullptr;
    QLabel* lbLength = nullptr;
    TElidedLabel* lbPayload = nullptr;
    QLabel* lbChecksum = nullptr;
};
