// The custom command editor: its entry, sending and results; the decoding box is TCustomCmdDecoding.
#include "ui/CustomCmdForm.h"

#include "ui/CustomCmdDecoding.h"
#include "cmdtext/CustomCmdText.h"
#include "platform/ErrorGuard.h"
#include "widgets/IntegerEdit.h"
#include "device/KORADevice.h"
#include "widgets/LineMemo.h"
#include "widgets/RollPanel.h"
#include "widgets/ToolWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
void Hint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}
} // namespace

// A window of its own, not Qt::Tool: a tool window would let the main window's shortcuts fire
// here (Escape would stop the fingers, F3 would disconnect).
// The identifier with the device's known commands, the payload and its size.
void TCustomCmd::BuildCommandEntry() {
    auto* entry = new QGroupBox(QStringLiteral("Command entry"), this);
    pnCmdEntry = entry;
    pnCmdEntry->setObjectName(QStringLiteral("pnCmdEntry"));
    edID = new TIntegerEdit(entry);
    edID->setObjectName(QStringLiteral("edID"));
    edID->SetRange(0, 255);
    edID->setText(QStringLiteral("0x00"));
    Hint(edID, QStringLiteral("Command identifier, 0 to 255: decimal, or hexadecimal after 0x or $"));
    auto* idLabel = new QLabel(QStringLiteral("Command ID:"), entry);
    idLabel->setBuddy(edID);
    pmKnownIDs = new QMenu(this);
    pmKnownIDs->setObjectName(QStringLiteral("pmKnownIDs"));
    btnKnownIDs = new QToolButton(entry);
    btnKnownIDs->setObjectName(QStringLiteral("btnKnownIDs"));
    btnKnownIDs->setText(QStringLiteral("Command IDs"));
    btnKnownIDs->setMenu(pmKnownIDs);
    btnKnownIDs->setPopupMode(QToolButton::InstantPopup);
    btnKnownIDs->setFocusPolicy(Qt::StrongFocus);
    Hint(btnKnownIDs, QStringLiteral("Choose one of the device's command identifiers"));

    edPayload = new QComboBox(entry);
    edPayload->setObjectName(QStringLiteral("edPayload"));
    edPayload->setEditable(true);
    edPayload->setInsertPolicy(QComboBox::NoInsert);
    // Completion would replace what is typed by a history entry while the decoding follows it.
    edPayload->setCompleter(nullptr);
    // One character over the limit: a longer paste is cut to a text that the check refuses,
    // never to a shorter valid payload.
    edPayload->lineEdit()->setMaxLength(PayloadTextLimit + 1);
    edPayload->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    edPayload->setMinimumContentsLength(20);
    edPayload->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* payloadLabel = new QLabel(QStringLiteral("Payload:"), entry);
    payloadLabel->setBuddy(edPayload);
    lbPayloadSize = new QLabel(entry);
    lbPayloadSize->setObjectName(QStringLiteral("lbPayloadSize"));

    auto* grid = new QGridLayout(entry);
    grid->addWidget(idLabel, 0, 0);
    grid->addWidget(edID, 0, 1);
    grid->addWidget(btnKnownIDs, 0, 2, Qt::AlignLeft);
    grid->addWidget(payloadLabel, 1, 0);
    grid->addWidget(edPayload, 1, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Payload size:"), entry), 2, 0);
    grid->addWidget(lbPayloadSize, 2, 1, 1, 3);
    grid->setColumnStretch(3, 1);
}

void TCustomCmd::BuildSending() {
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    btnSend = new QPushButton(QStringLiteral("Send"), Panel2);
    btnSend->setObjectName(QStringLiteral("btnSend"));
    btnSend->setDefault(true);
    Hint(btnSend, QStringLiteral("Send the command once"));
    cbAutosend = new QCheckBox(QStringLiteral("auto send every "), Panel2);
    cbAutosend->setObjectName(QStringLiteral("cbAutosend"));
    Hint(cbAutosend, QStringLiteral("Send the command repeatedly at the interval given beside"));
    AutosendIntervalEdit = new QSpinBox(Panel2);
    AutosendIntervalEdit->setObjectName(QStringLiteral("AutosendIntervalEdit"));
    AutosendIntervalEdit->setRange(50, 10000);
    AutosendIntervalEdit->setValue(50);
    Hint(AutosendIntervalEdit, QStringLiteral("Interval of the automatic send, read when it is switched on"));
    auto* send = new QHBoxLayout(Panel2);
    send->setContentsMargins(0, 0, 0, 0);
    send->addWidget(btnSend);
    send->addSpacing(8);
    send->addWidget(cbAutosend);
    send->addWidget(AutosendIntervalEdit);
    send->addWidget(new QLabel(QStringLiteral("ms."), Panel2));
    send->addStretch(1);
}

// Results of pending commands.
void TCustomCmd::BuildResults() {
    RollPanel2 = new TRollPanel(QStringLiteral("Asynchronous Command Results"), this);
    RollPanel2->setObjectName(QStringLiteral("RollPanel2"));
    LogMemo = new TLineMemo(ResultLines);
    LogMemo->setObjectName(QStringLiteral("LogMemo"));
    LogMemo->setMinimumHeight(60);
    Hint(LogMemo, QStringLiteral("Final results of commands that answered pending"));
    RollPanel2->SetContent(LogMemo);

    AutosendTimer = new QTimer(this);
    AutosendTimer->setObjectName(QStringLiteral("AutosendTimer"));
}

TCustomCmd::TCustomCmd(QWidget* Parent) : QWidget(Parent, Qt::Window) {
    setObjectName(QStringLiteral("CustomCmd"));
    setWindowTitle(QStringLiteral("Custom Command Editor"));

    BuildCommandEntry();
    // The packet the command makes, field by field.
    FDecoding = new TCustomCmdDecoding(this);
    BuildSending();
    BuildResults();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnCmdEntry);
    layout->addWidget(FDecoding->Box());
    layout->addWidget(Panel2);
    layout->addWidget(RollPanel2, 1);

    setTabOrder(edID, btnKnownIDs);
    setTabOrder(btnKnownIDs, edPayload);
    setTabOrder(edPayload, btnSend);
    setTabOrder(btnSend, cbAutosend);
    setTabOrder(cbAutosend, AutosendIntervalEdit);
    setTabOrder(AutosendIntervalEdit, RollPanel2->Header());
    setTabOrder(RollPanel2->Header(), LogMemo);

    connect(edID, &QLineEdit::textChanged, this, Guarded(this, &TCustomCmd::CommandEditChange));
    connect(edPayload, &QComboBox::editTextChanged, this, Guarded(this, &TCustomCmd::CommandEditChange));
    connect(btnSend, &QPushButton::clicked, this, Guarded(this, &TCustomCmd::btnSendClick));
    connect(cbAutosend, &QCheckBox::toggled, this, Guarded(this, &TCustomCmd::cbAutoSendClick));
    connect(AutosendTimer, &QTimer::timeout, this, Guarded(this, &TCustomCmd::AutosendTimerTimer));
    // Enter sends, as the default button of the window.
    auto sendOnEnter = [this] {
        RunGuarded([this] {
            if (btnSend->isEnabled())
                btnSend->click();
        });
    };
    connect(edPayload->lineEdit(), &QLineEdit::returnPressed, this, sendOnEnter);
    connect(edID, &QLineEdit::returnPressed, this, sendOnEnter);

    FDecoding->Show(0, {});
    CommandEditChange();
    setMinimumWidth(280);
    adjustSize();
}

TCustomCmd::~TCustomCmd() {
    AutosendTimer->stop();
}

void TCustomCmd::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    RunGuarded([this] {
        // Centred on the main window the first time it is shown; after that where the user left it.
        if (FPlaced || parentWidget() == nullptr)
            return;
        FPlaced = true;
        CenterOnOwner(this);
    });
}

void TCustomCmd::SetDevice(TKORADevice* Device) {
    FDevice = Device;
    pmKnownIDs->clear();
    if (Device == nullptr)
        return;
    for (int id = 0; id <= 255; ++id) {
        const std::string name = Device->CommandName(id);
        if (name.find("unknown ID(") != std::string::npos)
            continue;
        QAction* item = pmKnownIDs->addAction(QString::fromStdString(name));
        connect(item, &QAction::triggered, this,
                [this, id] { RunGuarded([this, id] { edID->SetValue(id); }); });
    }
}

void TCustomCmd::SetEnabled(bool Enabled) {
    FEnabled = Enabled;
    if (!Enabled)
        cbAutosend->setChecked(false);
    ApplySendState();
}

void TCustomCmd::ApplySendState() {
    // Sending needs both the main window's consent (a connection) and input that can be framed.
    const bool autoSending = cbAutosend->isChecked();
    btnSend->setEnabled(FEnabled && FInputValid && !autoSending);
    cbAutosend->setEnabled(FEnabled && FInputValid);
    AutosendIntervalEdit->setEnabled(FEnabled && !autoSending);
}

bool TCustomCmd::UpdatePayload() {
    TByteArray payload;
    const bool ok = ParseEditorPayload(edPayload->currentText(), payload);
    QLineEdit* line = edPayload->lineEdit();
    QPalette palette = line->palette();
    palette.setColor(QPalette::Text,
                     ok ? QApplication::palette(line).color(QPalette::Text) : QColor(Qt::red));
    line->setPalette(palette);
    Hint(edPayload, ok ? PayloadHelpText() : PayloadErrorHint());
    FPayload = std::move(payload);
    lbPayloadSize->setText(PayloadSizeText(FPayload.size()));
    FDecoding->Show(FCommandID, FPayload);
    return ok;
}

void TCustomCmd::CommandEditChange() {
    const bool idValid = edID->Valid();
    if (idValid)
        FCommandID = uint8_t(edID->Value());
    FInputValid = idValid && UpdatePayload();
    if (!FInputValid)
        cbAutosend->setChecked(false);
    ApplySendState();
}

void TCustomCmd::cbAutoSendClick() {
    const bool on = cbAutosend->isChecked();
    if (on) {
        AutosendTimer->setInterval(AutosendIntervalEdit->value());
        AutosendTimer->start();
    } else {
        AutosendTimer->stop();
    }
    ApplySendState();
}

void TCustomCmd::btnSendClick() {
    if (!FDevice)
        return;
    const QPointer<TCustomCmd> self(this);
    const TStat status = FDevice->ExecuteAsyncCommand(
        FCommandID, FPayload, [self](TKORADevice*, int32_t ID, TStat Status, const TByteArray&) {
            if (self)
                self->AsyncResult(ID, Status);
        });
    if (!self || status == E_CMD_FAILED)
        return;
    const QString text = edPayload->currentText().trimmed();
    if (text.isEmpty() || edPayload->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        return;
    // Adding the first item would select it and replace what is typed; keep the typed text.
    const QString typed = edPayload->currentText();
    {
        const QSignalBlocker block(edPayload);
        edPayload->addItem(text);
        if (edPayload->currentText() != typed)
            edPayload->setEditText(typed);
    }
}

void TCustomCmd::AutosendTimerTimer() {
    try {
        btnSendClick();
    } catch (...) {
        // Stop before the error is shown, or every tick would raise it again under the box.
        cbAutosend->setChecked(false);
        throw;
    }
}

void TCustomCmd::AsyncResult(int32_t CommandID, TStat Status) {
    LogMemo->AddLine(AsyncResultLine(CommandID, Status));
}
