// The decoding boxes of the custom command editor, one per field of the packet.
#include "ui/CustomCmdDecoding.h"

#include "cmdtext/CustomCmdText.h"
#include "ui/ElidedLabel.h"

#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
// One of the decoding boxes: an underlined title over its value.
QWidget* DecodingBox(const QString& Title, QWidget* Value, QWidget* Parent) {
    auto* box = new QFrame(Parent);
    box->setFrameShape(QFrame::StyledPanel);
    auto* title = new QLabel(Title, box);
    QFont f = title->font();
    f.setUnderline(true);
    title->setFont(f);
    Value->setParent(box);
    Value->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(title);
    layout->addWidget(Value, 1, Qt::AlignTop);
    return box;
}

QLabel* ValueLabel(const QString& Name, QWidget* Parent) {
    auto* l = new QLabel(Parent);
    l->setObjectName(Name);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}
} // namespace

TCustomCmdDecoding::TCustomCmdDecoding(QWidget* Window) : QObject(Window) {
    auto* decoded = new QGroupBox(QStringLiteral("Command Packet Decoding"), Window);
    FBox = decoded;
    FBox->setObjectName(QStringLiteral("pnDecodedPktSect"));
    auto* preamble = ValueLabel(QStringLiteral("lbPreamble"), decoded);
    preamble->setText(QStringLiteral("AA AA AA"));
    lbId = ValueLabel(QStringLiteral("lbId"), decoded);
    lbLength = ValueLabel(QStringLiteral("lbLength"), decoded);
    lbPayload = new TElidedLabel(decoded);
    lbPayload->setObjectName(QStringLiteral("lbPayload"));
    lbChecksum = ValueLabel(QStringLiteral("lbChecksum"), decoded);
    auto* boxes = new QHBoxLayout(decoded);
    boxes->setSpacing(4);
    boxes->addWidget(DecodingBox(QStringLiteral("Preamble"), preamble, decoded));
    boxes->addWidget(DecodingBox(QStringLiteral("ID"), lbId, decoded));
    boxes->addWidget(DecodingBox(QStringLiteral("Length"), lbLength, decoded));
    boxes->addWidget(DecodingBox(QStringLiteral("Payload"), lbPayload, decoded), 1);
    boxes->addWidget(DecodingBox(QStringLiteral("Checksum"), lbChecksum, decoded));
}

void TCustomCmdDecoding::Show(uint8_t ID, const TByteArray& Payload) {
    const TPacketDecoding d = DecodeCommandPacket(ID, Payload);
    lbId->setText(d.Id);
    lbLength->setText(d.Length);
    lbPayload->SetText(d.Payload);
    lbChecksum->setText(d.Checksum);
}
