#include "CommLogForm.h"

#include "CommLogText.h"
#include "ErrorGuard.h"
#include "KORADevice.h"
#include "MessageSeam.h"
#include "TAQ.h"
#include "ToolWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString MemoHint =
    QStringLiteral("Mark a byte sequence to convert it into its floating point or integer represenation.");

// The text view, reporting the release of the left mouse button after it settled the selection.
class TLogView : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    std::function<void(const QPoint&)> OnLeftMouseUp;

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override {
        QPlainTextEdit::mouseReleaseEvent(Event);
        if (Event->button() == Qt::LeftButton && OnLeftMouseUp) {
            const QPoint at = Event->globalPosition().toPoint();
            RunGuarded([this, at] { OnLeftMouseUp(at); });
        }
    }
};

QAction* AddItem(QMenu* Menu, const QString& Name, const QString& Text) {
    QAction* a = Menu->addAction(Text);
    a->setObjectName(Name);
    return a;
}

void Hint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}
} // namespace

TCommLog::TCommLog(QWidget* Parent) : QWidget(Parent, Qt::Tool) {
    setObjectName(QStringLiteral("CommLog"));
    setWindowTitle(QStringLiteral("Communications log"));

    Panel7 = new QFrame(this);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    cbShowIDDescr = new QCheckBox(QStringLiteral("Show ID descriptors"), Panel7);
    cbShowIDDescr->setObjectName(QStringLiteral("cbShowIDDescr"));
    Hint(cbShowIDDescr, QStringLiteral("Show the command name beside each identifier"));
    cbEvaluateErrorCodes = new QCheckBox(QStringLiteral("Evaluate error codes"), Panel7);
    cbEvaluateErrorCodes->setObjectName(QStringLiteral("cbEvaluateErrorCodes"));
    Hint(cbEvaluateErrorCodes, QStringLiteral("Show the status name of each received response"));
    cbSuppressDataPackets = new QCheckBox(QStringLiteral("Suppress Data Packets"), Panel7);
    cbSuppressDataPackets->setObjectName(QStringLiteral("cbSuppressDataPackets"));
    Hint(cbSuppressDataPackets, QStringLiteral("Leave the sensor's frame data out of the log"));
    cbSuppressDataPackets->setChecked(true);
    cbSuppressDataPackets->setVisible(false);
    cbTimeStamps = new QCheckBox(QStringLiteral("Time stamps"), Panel7);
    cbTimeStamps->setObjectName(QStringLiteral("cbTimeStamps"));
    Hint(cbTimeStamps, QStringLiteral("Start each line with the seconds since the first logged packet"));
    auto* top = new QHBoxLayout(Panel7);
    top->setContentsMargins(6, 4, 6, 4);
    top->addWidget(cbShowIDDescr);
    top->addWidget(cbEvaluateErrorCodes);
    top->addWidget(cbTimeStamps);
    top->addWidget(cbSuppressDataPackets);
    top->addStretch(1);

    auto* view = new TLogView(this);
    RxMsgMemo = view;
    RxMsgMemo->setObjectName(QStringLiteral("RxMsgMemo"));
    RxMsgMemo->setReadOnly(true);
    RxMsgMemo->setUndoRedoEnabled(false);
    RxMsgMemo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RxMsgMemo->setTabChangesFocus(true);
    RxMsgMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RxMsgMemo->setContextMenuPolicy(Qt::CustomContextMenu);
    Hint(RxMsgMemo, MemoHint);
    view->OnLeftMouseUp = [this](const QPoint& At) { RxMsgMemoMouseUp(At); };

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    btnClear = new QPushButton(QStringLiteral("Clear"), Panel1);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    Hint(btnClear, QStringLiteral("Empty the log"));
    btnSave = new QPushButton(QStringLiteral("Save..."), Panel1);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    Hint(btnSave, QStringLiteral("Save the log as shown to a text file, or as CSV to a file named *.csv"));
    auto* bottom = new QHBoxLayout(Panel1);
    bottom->setContentsMargins(6, 4, 6, 4);
    bottom->addStretch(1);
    bottom->addWidget(btnSave);
    bottom->addWidget(btnClear);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel7);
    layout->addWidget(RxMsgMemo, 1);
    layout->addWidget(Panel1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    miAsFloat = AddItem(PopupMenu1, QStringLiteral("miAsFloat"), QStringLiteral("as Float"));
    miAsInteger = AddItem(PopupMenu1, QStringLiteral("miAsInteger"), QStringLiteral("as Integer"));
    miAsText = AddItem(PopupMenu1, QStringLiteral("miAsText"), QStringLiteral("as Text"));

    FContextMenu = new QMenu(this);
    FContextMenu->setObjectName(QStringLiteral("RxMsgMemoMenu"));
    FContextMenu->addAction(miAsFloat);
    FContextMenu->addAction(miAsInteger);
    FContextMenu->addAction(miAsText);
    FContextMenu->addSeparator();
    QAction* copy = AddItem(FContextMenu, QStringLiteral("miCopy"), QStringLiteral("&Copy"));
    copy->setShortcut(QKeySequence::Copy);
    QAction* selectAll = AddItem(FContextMenu, QStringLiteral("miSelectAll"), QStringLiteral("Select &All"));
    selectAll->setShortcut(QKeySequence::SelectAll);

    setTabOrder(cbShowIDDescr, cbEvaluateErrorCodes);
    setTabOrder(cbEvaluateErrorCodes, cbTimeStamps);
    setTabOrder(cbTimeStamps, cbSuppressDataPackets);
    setTabOrder(cbSuppressDataPackets, RxMsgMemo);
    setTabOrder(RxMsgMemo, btnSave);
    setTabOrder(btnSave, btnClear);

    connect(cbShowIDDescr, &QCheckBox::clicked, this, Guarded(this, &TCommLog::OnOptionsChanged));
    connect(cbEvaluateErrorCodes, &QCheckBox::clicked, this, Guarded(this, &TCommLog::OnOptionsChanged));
    connect(cbTimeStamps, &QCheckBox::clicked, this, Guarded(this, &TCommLog::OnOptionsChanged));
    connect(btnClear, &QPushButton::clicked, this, Guarded(this, &TCommLog::btnClearClick));
    connect(btnSave, &QPushButton::clicked, this, Guarded(this, &TCommLog::btnSaveClick));
    connect(miAsFloat, &QAction::triggered, this, Guarded(this, &TCommLog::miAsFloatClick));
    connect(miAsInteger, &QAction::triggered, this, Guarded(this, &TCommLog::miAsIntegerClick));
    connect(miAsText, &QAction::triggered, this, Guarded(this, &TCommLog::miAsTextClick));
    connect(copy, &QAction::triggered, this, [this] { RunGuarded([this] { RxMsgMemo->copy(); }); });
    connect(selectAll, &QAction::triggered, this, [this] { RunGuarded([this] { RxMsgMemo->selectAll(); }); });
    connect(RxMsgMemo, &QWidget::customContextMenuRequested, this, [this, copy](const QPoint& At) {
        RunGuarded([this, copy, At] {
            copy->setEnabled(RxMsgMemo->textCursor().hasSelection());
            FContextMenu->popup(RxMsgMemo->viewport()->mapToGlobal(At));
        });
    });

    FViewTimer = new QTimer(this);
    FViewTimer->setSingleShot(true);
    FViewTimer->setInterval(ViewIntervalMs);
    connect(FViewTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { UpdateView(); }); });

    resize(817, 646);
}

TCommLog::~TCommLog() = default;

void TCommLog::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    RunGuarded([this] {
        // The fixed-pitch font is a second font to load; a log that is never shown does without.
        if (!FFixedFontSet) {
            FFixedFontSet = true;
            RxMsgMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        }
        UpdateView();
        // Centred on the main window the first time it is shown; after that where the user left it.
        if (FPlaced || parentWidget() == nullptr)
            return;
        FPlaced = true;
        CenterOnOwner(this);
    });
}

void TCommLog::SetDevice(TKORADevice* Device) {
    FDevice = Device;
    FSensor = qobject_cast<TTAQ*>(Device) != nullptr;
    if (FSensor)
        cbSuppressDataPackets->setVisible(true);
}

TLogOptions TCommLog::Options() const {
    TLogOptions o;
    o.ShowIDDescr = cbShowIDDescr->isChecked();
    o.EvaluateErrorCodes = cbEvaluateErrorCodes->isChecked();
    o.TimeStamps = cbTimeStamps->isChecked();
    o.SensorDevice = FSensor;
    if (FDevice) {
        const QPointer<TKORADevice> device = FDevice;
        o.CommandName = [device](int32_t ID) { return device ? device->CommandName(ID) : std::string(); };
    }
    return o;
}

void TCommLog::AddPacket(const TPacket& Packet, bool Received) {
    if (FSensor && cbSuppressDataPackets->isChecked() && Packet.CommandID == 0)
        return;
    TPacket copy = Packet;
    if (Received)
        copy.CommandID |= LogReceivedFlag;
    const uint32_t now = FClock ? FClock() : GetTickCount32();
    if (FTimes.empty())
        FOrigin = now;
    while (FHistory.Count() > HistorySize - 1) {
        // The view always matches the history: a dropped packet takes all of its lines along.
        if (FUnshown < FHistory.Count())
            FStaleLines += LogPacketLineCount(FHistory.At(0));
        else
            --FUnshown;
        FHistory.Delete(0);
        FTimes.pop_front();
    }
    FHistory.Add(copy);
    FTimes.push_back(int64_t(TicksSince(FOrigin, now)));
    ++FUnshown;
    ScheduleView();
}

void TCommLog::ScheduleView() {
    // A hidden log only keeps its history; showing it brings the view up to date.
    if (isVisible() && !FViewTimer->isActive())
        FViewTimer->start();
}

void TCommLog::UpdateView() {
    FViewTimer->stop();
    if (FUnshown == 0 && FStaleLines == 0)
        return;
    // Nothing of the view survives: cheaper to write it anew.
    if (FUnshown >= FHistory.Count()) {
        RebuildView();
        return;
    }
    const TLogOptions options = Options();
    QString text;
    for (int32_t i = FHistory.Count() - FUnshown; i < FHistory.Count(); ++i)
        text.append(QLatin1Char('\n')).append(PacketText(i, options));
    // One edit block: the view lays out and repaints once for the trim and the append together.
    QTextCursor cursor(RxMsgMemo->document());
    cursor.beginEditBlock();
    if (FStaleLines > 0) {
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, FStaleLines);
        cursor.removeSelectedText();
    }
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    cursor.endEditBlock();
    FUnshown = 0;
    FStaleLines = 0;
    ScrollToEnd();
}

void TCommLog::RebuildView() {
    FViewTimer->stop();
    const TLogOptions options = Options();
    QString all;
    for (int32_t i = 0; i < FHistory.Count(); ++i) {
        if (i > 0)
            all.append(QLatin1Char('\n'));
        all.append(PacketText(i, options));
    }
    RxMsgMemo->setPlainText(all);
    FUnshown = 0;
    FStaleLines = 0;
    ScrollToEnd();
}

void TCommLog::ScrollToEnd() {
    QScrollBar* bar = RxMsgMemo->verticalScrollBar();
    bar->setValue(bar->maximum());
}

QStringList TCommLog::Lines() {
    UpdateView();
    QStringList lines;
    if (FHistory.Count() == 0)
        return lines;
    for (QTextBlock b = RxMsgMemo->document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

QString TCommLog::PacketText(int32_t Index, const TLogOptions& Options) const {
    return LogPacketText(FHistory.At(Index), Options, FTimes[size_t(Index)]);
}

void TCommLog::SetClock(TTickSource Clock) {
    FClock = std::move(Clock);
}

void TCommLog::btnClearClick() {
    FViewTimer->stop();
    FHistory.Clear();
    // The next packet starts the time stamps anew.
    FTimes.clear();
    FUnshown = 0;
    FStaleLines = 0;
    RxMsgMemo->clear();
}

void TCommLog::OnOptionsChanged() {
    RebuildView();
}

void TCommLog::btnSaveClick() {
    QFileDialog dialog(this, QStringLiteral("Save command log"));
    dialog.setObjectName(QStringLiteral("SaveLogDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QString text = QStringLiteral("Text files (*.txt)");
    const QString csv = QStringLiteral("CSV files (*.csv)");
    dialog.setNameFilters({text, csv, QStringLiteral("All files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    // A name typed without an extension takes the one of the chosen file type.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csv](const QString& Filter) {
        RunGuarded(
            [&] { dialog.setDefaultSuffix(Filter == csv ? QStringLiteral("csv") : QStringLiteral("txt")); });
    });
    dialog.setDirectory(FSaveFolder.isEmpty() ? QDir::homePath() : FSaveFolder);
    dialog.selectFile(QStringLiteral("command-log.txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    FSaveFolder = QFileInfo(path).absolutePath();
    SaveToFile(path);
}

bool TCommLog::SaveToFile(const QString& Path) {
    const QByteArray data =
        Path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? CsvText() : ViewText();
    // Written beside the target and renamed over it at the end: a failure leaves any earlier
    // file whole.
    QSaveFile file(Path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
        return true;
    const QString reason = file.errorString();
    file.cancelWriting();
    ShowMessage(QStringLiteral("Error while saving the command log to \"%1\": %2")
                    .arg(QDir::toNativeSeparators(Path), reason),
                QStringLiteral("Error"), this);
    return false;
}

QByteArray TCommLog::ViewText() {
    const QStringList lines = Lines();
    if (lines.isEmpty())
        return QByteArray();
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QByteArray TCommLog::CsvText() const {
    const TLogOptions options = Options();
    // RFC 4180 ends every record with CR LF.
    QString csv = LogCsvHeader() + QStringLiteral("\r\n");
    for (int32_t i = 0; i < FHistory.Count(); ++i)
        csv += LogCsvRow(FHistory.At(i), FTimes[size_t(i)], options) + QStringLiteral("\r\n");
    return csv.toUtf8();
}

QString TCommLog::SelectedText() const {
    // Line breaks inside a selection come as paragraph separators; the parser sees them as breaks.
    QString s = RxMsgMemo->textCursor().selectedText();
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return s;
}

void TCommLog::RxMsgMemoMouseUp(const QPoint& GlobalPos) {
    if (!SelectedText().trimmed().isEmpty())
        PopupMenu1->popup(GlobalPos);
}

void TCommLog::ShowDecoding(const TSelectionDecoding& Decoding) {
    ShowMessage(Decoding.Text, Decoding.Error ? QStringLiteral("Error") : QString(), this);
}

void TCommLog::miAsFloatClick() {
    ShowDecoding(DecodeSelectionAsFloat(SelectedText()));
}

void TCommLog::miAsIntegerClick() {
    ShowDecoding(DecodeSelectionAsInteger(SelectedText()));
}

void TCommLog::miAsTextClick() {
    ShowDecoding(DecodeSelectionAsText(SelectedText()));
}
