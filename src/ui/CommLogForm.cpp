#include "ui/CommLogForm.h"

#include "cmdtext/CommLogText.h"
#include "platform/ErrorGuard.h"
#include "device/KORADevice.h"
#include "platform/MessageSeam.h"
#include "device/PayloadFields.h"
#include "taq/TAQ.h"
#include "taq/TAQ_fields.h"
#include "zel/ZEL.h"
#include "zel/ZEL_fields.h"
#include "widgets/ToolWindow.h"
#include "platform/UserFile.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QToolButton>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
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
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <functional>
#include <set>
#include <string>

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

const int64_t KeepChoices[] = {150, 1000, 10000, 100000, 1000000};

std::string KindCommandName(TCommLog::TDeviceKind Kind, int32_t ID) {
    bool found = false;
    std::string name;
    if (Kind == TCommLog::dkGripper)
        name = TableCommandName(ZelCommandFields(), ID, found);
    else if (Kind == TCommLog::dkSensor)
        name = TableCommandName(TaqCommandFields(), ID, found);
    return found ? name : GenericCommandName(ID);
}

// The commands a filter offers: the device's own, then the generic ones.
std::vector<std::pair<int32_t, std::string>> FilterCommands(TCommLog::TDeviceKind Kind) {
    std::vector<std::pair<int32_t, std::string>> rows;
    auto add = [&rows](const std::vector<TCommandFields>& Table) {
        for (const TCommandFields& c : Table)
            rows.emplace_back(c.ID, std::string(c.Name));
    };
    if (Kind == TCommLog::dkGripper)
        add(ZelCommandFields());
    else if (Kind == TCommLog::dkSensor)
        add(TaqCommandFields());
    add(GenericCommandFields());
    // Listed by identifier, as the log shows them; the names stay as the tables give them.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& A, const auto& B) { return A.first < B.first; });
    return rows;
}

// A saved log names its commands: the sensor's and the gripper's names tell them apart.
TCommLog::TDeviceKind KindOfNames(const std::set<std::string>& Names) {
    bool gripper = false;
    for (const std::string& name : Names) {
        for (const TCommandFields& c : TaqCommandFields())
            if (name == c.Name)
                return TCommLog::dkSensor;
        for (const TCommandFields& c : ZelCommandFields())
            gripper = gripper || name == c.Name;
    }
    return gripper ? TCommLog::dkGripper : TCommLog::dkGeneric;
}

void ToLower(std::string& S, size_t From = 0) {
    for (size_t i = From; i < S.size(); ++i)
        if (S[i] >= 'A' && S[i] <= 'Z')
            S[i] = char(S[i] - 'A' + 'a');
}

const char LowerHex[] = "0123456789abcdef";
} // namespace

// A window of its own, not Qt::Tool: a tool window would let the main window's shortcuts fire
// here (Escape would stop the fingers, F3 would disconnect).
// Options of the lines, the filter and how many packets are kept.
void TCommLog::BuildOptionsBar() {
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
    cbDecodeFields = new QCheckBox(QStringLiteral("Decode fields"), Panel7);
    cbDecodeFields->setObjectName(QStringLiteral("cbDecodeFields"));
    Hint(cbDecodeFields,
         QStringLiteral("Show a line with the fields of each packet by name, value and unit"));
    btnFilter = new QToolButton(Panel7);
    btnFilter->setObjectName(QStringLiteral("btnFilter"));
    btnFilter->setText(QStringLiteral("Filter"));
    btnFilter->setPopupMode(QToolButton::InstantPopup);
    Hint(btnFilter,
         QStringLiteral("Show or hide packets by direction and command; hidden packets are still kept"));
    FFilterMenu = new QMenu(btnFilter);
    FFilterMenu->setObjectName(QStringLiteral("FilterMenu"));
    btnFilter->setMenu(FFilterMenu);
    auto* keepLabel = new QLabel(QStringLiteral("&Keep"), Panel7);
    cbKeep = new QComboBox(Panel7);
    cbKeep->setObjectName(QStringLiteral("cbKeep"));
    for (int64_t k : KeepChoices)
        cbKeep->addItem(QLocale().toString(qlonglong(k)), QVariant::fromValue(qlonglong(k)));
    keepLabel->setBuddy(cbKeep);
    Hint(cbKeep, QStringLiteral("Packets kept in the log; the oldest leave first"));
    // Two rows of options: the labels stay whole down to a narrow window.
    auto* top = new QGridLayout(Panel7);
    top->setContentsMargins(6, 4, 6, 4);
    top->setVerticalSpacing(2);
    top->addWidget(cbShowIDDescr, 0, 0);
    top->addWidget(cbEvaluateErrorCodes, 0, 1);
    top->addWidget(cbSuppressDataPackets, 0, 2);
    top->addWidget(cbTimeStamps, 1, 0);
    top->addWidget(cbDecodeFields, 1, 1);
    top->setColumnStretch(3, 1);
    top->addWidget(btnFilter, 0, 4);
    auto* keep = new QHBoxLayout;
    keep->addWidget(keepLabel);
    keep->addWidget(cbKeep);
    top->addLayout(keep, 1, 4, 1, 1, Qt::AlignRight);
}

// The search bar, hidden until Ctrl+F.
TCommLog::TSearchButtons TCommLog::BuildSearchBar() {
    pnSearch = new QFrame(this);
    pnSearch->setObjectName(QStringLiteral("pnSearch"));
    auto* findLabel = new QLabel(QStringLiteral("F&ind"), pnSearch);
    edSearch = new QLineEdit(pnSearch);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    findLabel->setBuddy(edSearch);
    Hint(edSearch, QStringLiteral("Text of a packet's line with its command name, status and fields, or hex "
                                  "bytes of the payloads"));
    cbHexSearch = new QCheckBox(QStringLiteral("Hex bytes"), pnSearch);
    cbHexSearch->setObjectName(QStringLiteral("cbHexSearch"));
    auto* prev = new QPushButton(QStringLiteral("&Previous"), pnSearch);
    prev->setObjectName(QStringLiteral("btnFindPrevious"));
    auto* next = new QPushButton(QStringLiteral("&Next"), pnSearch);
    next->setObjectName(QStringLiteral("btnFindNext"));
    auto* failed = new QPushButton(QStringLiteral("Next &failed answer"), pnSearch);
    failed->setObjectName(QStringLiteral("btnNextFailed"));
    Hint(failed, QStringLiteral("Next received answer with a status other than success or pending"));
    lbSearch = new QLabel(pnSearch);
    lbSearch->setObjectName(QStringLiteral("lbSearch"));
    auto* search = new QHBoxLayout(pnSearch);
    search->setContentsMargins(6, 2, 6, 2);
    search->addWidget(findLabel);
    search->addWidget(edSearch, 1);
    search->addWidget(cbHexSearch);
    search->addWidget(prev);
    search->addWidget(next);
    search->addWidget(failed);
    search->addWidget(lbSearch);
    pnSearch->setVisible(false);
    connect(next, &QPushButton::clicked, this, [this] { RunGuarded([this] { SearchClicked(false); }); });
    connect(prev, &QPushButton::clicked, this, [this] { RunGuarded([this] { SearchClicked(true); }); });
    connect(edSearch, &QLineEdit::returnPressed, this,
            [this] { RunGuarded([this] { SearchClicked(false); }); });
    connect(failed, &QPushButton::clicked, this, [this] { RunGuarded([this] { FindNextFailed(); }); });
    return {prev, next, failed};
}

// The text view with the scroll bar over the whole history beside it.
QHBoxLayout* TCommLog::BuildView() {
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
    // The whole history: the text view holds one page of it at a time.
    sbHistory = new QScrollBar(Qt::Vertical, this);
    sbHistory->setObjectName(QStringLiteral("sbHistory"));
    Hint(sbHistory, QStringLiteral("Scroll through the whole history a page at a time"));
    sbHistory->setVisible(false);
    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    middle->addWidget(RxMsgMemo, 1);
    middle->addWidget(sbHistory);
    return middle;
}

void TCommLog::BuildFilesBar() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    btnClear = new QPushButton(QStringLiteral("Clear"), Panel1);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    Hint(btnClear, QStringLiteral("Empty the log"));
    btnSave = new QPushButton(QStringLiteral("Save..."), Panel1);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    Hint(btnSave, QStringLiteral("Save the log as shown to a text file, or as CSV to a file named *.csv"));
    btnOpen = new QPushButton(QStringLiteral("Open..."), Panel1);
    btnOpen->setObjectName(QStringLiteral("btnOpen"));
    Hint(btnOpen, QStringLiteral("Open a log saved as CSV in a window of its own"));
    auto* bottom = new QHBoxLayout(Panel1);
    bottom->setContentsMargins(6, 4, 6, 4);
    bottom->addStretch(1);
    bottom->addWidget(btnOpen);
    bottom->addWidget(btnSave);
    bottom->addWidget(btnClear);
}

// The view's context menu and the payload interpretations.
void TCommLog::BuildMenus() {
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
    connect(copy, &QAction::triggered, this, [this] { RunGuarded([this] { RxMsgMemo->copy(); }); });
    connect(selectAll, &QAction::triggered, this, [this] { RunGuarded([this] { RxMsgMemo->selectAll(); }); });
    connect(RxMsgMemo, &QWidget::customContextMenuRequested, this, [this, copy](const QPoint& At) {
        RunGuarded([this, copy, At] {
            copy->setEnabled(RxMsgMemo->textCursor().hasSelection());
            FContextMenu->popup(RxMsgMemo->viewport()->mapToGlobal(At));
        });
    });
}

void TCommLog::BuildSearchShortcuts() {
    auto* find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, Guarded(this, &TCommLog::ShowSearch));
    auto* findNext = new QShortcut(QKeySequence::FindNext, this);
    findNext->setContext(Qt::WidgetWithChildrenShortcut);
    connect(findNext, &QShortcut::activated, this, [this] { RunGuarded([this] { SearchClicked(false); }); });
    auto* findPrev = new QShortcut(QKeySequence::FindPrevious, this);
    findPrev->setContext(Qt::WidgetWithChildrenShortcut);
    connect(findPrev, &QShortcut::activated, this, [this] { RunGuarded([this] { SearchClicked(true); }); });
    auto* closeSearch = new QShortcut(Qt::Key_Escape, this);
    closeSearch->setContext(Qt::WidgetWithChildrenShortcut);
    connect(closeSearch, &QShortcut::activated, this, Guarded(this, &TCommLog::HideSearch));
}

TCommLog::TCommLog(QWidget* Parent) : QWidget(Parent, Qt::Window) {
    setObjectName(QStringLiteral("CommLog"));
    setWindowTitle(QStringLiteral("Communications log"));

    BuildOptionsBar();
    const TSearchButtons search = BuildSearchBar();
    QHBoxLayout* middle = BuildView();
    BuildFilesBar();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel7);
    layout->addWidget(pnSearch);
    layout->addLayout(middle, 1);
    layout->addWidget(Panel1);

    BuildMenus();

    setTabOrder(cbShowIDDescr, cbEvaluateErrorCodes);
    setTabOrder(cbEvaluateErrorCodes, cbTimeStamps);
    setTabOrder(cbTimeStamps, cbDecodeFields);
    setTabOrder(cbDecodeFields, cbSuppressDataPackets);
    setTabOrder(cbSuppressDataPackets, btnFilter);
    setTabOrder(btnFilter, cbKeep);
    setTabOrder(cbKeep, edSearch);
    setTabOrder(edSearch, cbHexSearch);
    setTabOrder(cbHexSearch, search.Previous);
    setTabOrder(search.Previous, search.Next);
    setTabOrder(search.Next, search.Failed);
    setTabOrder(search.Failed, RxMsgMemo);
    setTabOrder(RxMsgMemo, btnOpen);
    setTabOrder(btnOpen, btnSave);
    setTabOrder(btnSave, btnClear);

    connect(cbShowIDDescr, &QCheckBox::clicked, this, Guarded(this, &TCommLog::OnOptionsChanged));
    connect(cbEvaluateErrorCodes, &QCheckBox::clicked, this, Guarded(this, &TCommLog::OnOptionsChanged));
    connect(cbTimeStamps, &QCheckBox::clicked, this, Guarded(this, &TCommLog::OnOptionsChanged));
    connect(cbDecodeFields, &QCheckBox::clicked, this, Guarded(this, &TCommLog::OnOptionsChanged));
    connect(btnClear, &QPushButton::clicked, this, Guarded(this, &TCommLog::btnClearClick));
    connect(btnSave, &QPushButton::clicked, this, Guarded(this, &TCommLog::btnSaveClick));
    connect(btnOpen, &QPushButton::clicked, this, Guarded(this, &TCommLog::btnOpenClick));
    connect(miAsFloat, &QAction::triggered, this, Guarded(this, &TCommLog::miAsFloatClick));
    connect(miAsInteger, &QAction::triggered, this, Guarded(this, &TCommLog::miAsIntegerClick));
    connect(miAsText, &QAction::triggered, this, Guarded(this, &TCommLog::miAsTextClick));
    connect(cbKeep, &QComboBox::activated, this, [this](int Index) {
        RunGuarded([this, Index] { SetKeep(cbKeep->itemData(Index).toLongLong()); });
    });
    connect(sbHistory, &QScrollBar::valueChanged, this,
            [this](int Value) { RunGuarded([this, Value] { ScrollHistoryTo(Value); }); });
    BuildSearchShortcuts();

    FViewTimer = new QTimer(this);
    FViewTimer->setSingleShot(true);
    FViewTimer->setInterval(ViewIntervalMs);
    connect(FViewTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { UpdateView(); }); });

    BuildFilterMenu();
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
    FKind = FSensor ? dkSensor : qobject_cast<TZEL*>(Device) ? dkGripper : dkGeneric;
    if (FSensor)
        cbSuppressDataPackets->setVisible(true);
    BuildFilterMenu();
}

const TCommandFields* TCommLog::FieldsOf(int32_t ID) const {
    switch (FKind) {
    case dkGripper:
        return ZelFields(ID);
    case dkSensor:
        return TaqFields(ID);
    default:
        return GenericFields(ID);
    }
}

TLogOptions TCommLog::Options() const {
    TLogOptions o;
    o.ShowIDDescr = cbShowIDDescr->isChecked();
    o.EvaluateErrorCodes = cbEvaluateErrorCodes->isChecked();
    o.TimeStamps = cbTimeStamps->isChecked();
    o.DecodeFields = cbDecodeFields->isChecked();
    o.SensorDevice = FSensor;
    if (FDevice) {
        const QPointer<TKORADevice> device = FDevice;
        o.CommandName = [device](int32_t ID) { return device ? device->CommandName(ID) : std::string(); };
    } else if (FReadOnly) {
        const TDeviceKind kind = FKind;
        o.CommandName = [kind](int32_t ID) { return KindCommandName(kind, ID); };
    }
    o.Fields = [this](int32_t ID, bool Received, const TByteArray& Payload) {
        return DescribePacketFields(FieldsOf(ID), Received, Payload);
    };
    return o;
}

void TCommLog::AddPacket(const TPacket& Packet, bool Received) {
    if (FSensor && cbSuppressDataPackets->isChecked() && Packet.CommandID == 0)
        return;
    TLogEntry entry;
    entry.Copy = Packet;
    if (Received)
        entry.Copy.CommandID |= LogReceivedFlag;
    const uint32_t now = FClock ? FClock() : GetTickCount32();
    if (!FStarted) {
        FStarted = true;
        FOrigin = now;
    }
    entry.TimeMs = int64_t(TicksSince(FOrigin, now));
    const TCommandFields* row = FieldsOf(Packet.CommandID & 0xFF);
    entry.Update = FHistory.IsUpdate(entry.Copy, row && row->Update);
    const bool shown = FHistory.Add(std::move(entry), [this](const TLogEntry& Gone, bool WasShown) {
        if (!WasShown)
            return;
        // The view always matches the history: a dropped packet takes all of its lines along.
        if (FPageFirst > 0) {
            --FPageFirst;
        } else if (FPageCount > 0) {
            FStaleLines += LogPacketLineCount(Gone.Copy, Options());
            --FPageCount;
        } else if (FUnshown > 0) {
            --FUnshown;
        }
        FHit = FHit > 0 ? FHit - 1 : -1;
    });
    if (shown && FFollow)
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
    if (FUnshown == 0 && FStaleLines == 0) {
        UpdateHistoryBar();
        return;
    }
    // Nothing of the view survives: cheaper to write it anew.
    if (FFollow && (FPageCount == 0 || FUnshown >= PageSize)) {
        RebuildPage(0);
        return;
    }
    const TLogOptions options = Options();
    int32_t drop = FStaleLines;
    while (FPageCount + FUnshown > PageSize) {
        drop += LogPacketLineCount(FHistory.Shown(FPageFirst).Copy, options);
        ++FPageFirst;
        --FPageCount;
    }
    QString text;
    for (int64_t i = FPageFirst + FPageCount; i < FPageFirst + FPageCount + FUnshown; ++i) {
        const TLogEntry& e = FHistory.Shown(i);
        text.append(QLatin1Char('\n')).append(LogPacketText(e.Copy, options, e.TimeMs));
    }
    // One edit block: the view lays out and repaints once for the trim and the append together.
    QTextCursor cursor(RxMsgMemo->document());
    cursor.beginEditBlock();
    if (drop > 0) {
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, drop);
        cursor.removeSelectedText();
    }
    if (!text.isEmpty()) {
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text);
    }
    cursor.endEditBlock();
    FPageCount += FUnshown;
    FUnshown = 0;
    FStaleLines = 0;
    if (FFollow)
        ScrollToEnd();
    UpdateHistoryBar();
}

void TCommLog::RebuildPage(int64_t First) {
    FViewTimer->stop();
    const int64_t shown = FHistory.ShownCount();
    const int64_t last = std::max<int64_t>(0, shown - PageSize);
    FPageFirst = FFollow ? last : std::clamp<int64_t>(First, 0, last);
    FPageCount = std::min<int64_t>(PageSize, shown - FPageFirst);
    const TLogOptions options = Options();
    QString all;
    for (int64_t i = FPageFirst; i < FPageFirst + FPageCount; ++i) {
        if (i > FPageFirst)
            all.append(QLatin1Char('\n'));
        const TLogEntry& e = FHistory.Shown(i);
        all.append(LogPacketText(e.Copy, options, e.TimeMs));
    }
    RxMsgMemo->setExtraSelections({});
    RxMsgMemo->setPlainText(all);
    FUnshown = 0;
    FStaleLines = 0;
    if (FFollow)
        ScrollToEnd();
    UpdateHistoryBar();
}

void TCommLog::UpdateHistoryBar() {
    const int64_t last = std::max<int64_t>(0, FHistory.ShownCount() - PageSize);
    const QSignalBlocker block(sbHistory);
    sbHistory->setRange(0, int(last));
    sbHistory->setPageStep(PageSize);
    sbHistory->setSingleStep(PageSize / 10);
    sbHistory->setValue(int(FPageFirst));
    sbHistory->setVisible(last > 0);
    // The hit's number and the count follow the history as it grows, trims or is cleared.
    if (FHit >= 0)
        lbSearch->setText(QStringLiteral("Packet %1 of %2").arg(FHit + 1).arg(FHistory.ShownCount()));
    else if (lbSearch->text().startsWith(QLatin1String("Packet ")))
        lbSearch->clear();
}

void TCommLog::ScrollHistoryTo(int64_t First) {
    const int64_t last = std::max<int64_t>(0, FHistory.ShownCount() - PageSize);
    FFollow = First >= last;
    RebuildPage(First);
}

void TCommLog::ScrollToEnd() {
    QScrollBar* bar = RxMsgMemo->verticalScrollBar();
    bar->setValue(bar->maximum());
}

QStringList TCommLog::Lines() {
    UpdateView();
    QStringList lines;
    if (FPageCount == 0)
        return lines;
    for (QTextBlock b = RxMsgMemo->document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

void TCommLog::SetClock(TTickSource Clock) {
    FClock = std::move(Clock);
}

void TCommLog::SetKeep(int64_t Packets) {
    FHistory.SetKeep(Packets);
    const int index = cbKeep->findData(QVariant::fromValue(qlonglong(FHistory.Keep())));
    if (index >= 0)
        cbKeep->setCurrentIndex(index);
    FHit = -1;
    FFollow = true;
    RebuildPage(0);
}

void TCommLog::SetFilter(const TLogFilter& Filter) {
    FHistory.SetFilter(Filter);
    FHit = -1;
    FFollow = true;
    RebuildPage(0);
}

void TCommLog::BuildFilterMenu() {
    FFilterMenu->clear();
    const TLogFilter& f = FHistory.Filter();
    auto add = [this](const QString& Name, const QString& Text, bool Checked) {
        QAction* a = AddItem(FFilterMenu, Name, Text);
        a->setCheckable(true);
        a->setChecked(Checked);
        connect(a, &QAction::toggled, this, [this] { RunGuarded([this] { FilterMenuChanged(); }); });
    };
    add(QStringLiteral("miShowSent"), QStringLiteral("Sent"), f.Sent);
    add(QStringLiteral("miShowReceived"), QStringLiteral("Received"), f.Received);
    add(QStringLiteral("miShowUpdates"), QStringLiteral("All automatic updates"), f.Updates);
    FFilterMenu->addSeparator();
    for (const auto& [id, name] : FilterCommands(FKind)) {
        const QString hex = QStringLiteral("%1").arg(id, 2, 16, QLatin1Char('0')).toUpper();
        add(QStringLiteral("miShowID") + hex,
            QString::fromStdString(name) + QStringLiteral(" (%1h)").arg(hex), !f.HiddenIDs.test(size_t(id)));
    }
}

void TCommLog::FilterMenuChanged() {
    TLogFilter f = FHistory.Filter();
    for (QAction* a : FFilterMenu->actions()) {
        const QString name = a->objectName();
        if (name == QLatin1String("miShowSent"))
            f.Sent = a->isChecked();
        else if (name == QLatin1String("miShowReceived"))
            f.Received = a->isChecked();
        else if (name == QLatin1String("miShowUpdates"))
            f.Updates = a->isChecked();
        else if (name.startsWith(QLatin1String("miShowID")))
            f.HiddenIDs.set(size_t(name.mid(8).toInt(nullptr, 16)), !a->isChecked());
    }
    SetFilter(f);
}

void TCommLog::btnClearClick() {
    FViewTimer->stop();
    FHistory.Clear();
    // The next packet starts the time stamps anew.
    FStarted = false;
    FPageFirst = FPageCount = FUnshown = 0;
    FStaleLines = 0;
    FFollow = true;
    FHit = -1;
    RxMsgMemo->clear();
    UpdateHistoryBar();
}

void TCommLog::OnOptionsChanged() {
    RebuildPage(FPageFirst);
}

void TCommLog::ShowSearch() {
    pnSearch->setVisible(true);
    edSearch->setFocus(Qt::ShortcutFocusReason);
    edSearch->selectAll();
}

void TCommLog::HideSearch() {
    if (!pnSearch->isVisible())
        return;
    const bool hadFocus = pnSearch->isAncestorOf(QApplication::focusWidget());
    pnSearch->setVisible(false);
    if (hadFocus)
        RxMsgMemo->setFocus(Qt::ShortcutFocusReason);
}

void TCommLog::SearchClicked(bool Backward) {
    FindNext(edSearch->text(), cbHexSearch->isChecked(), Backward);
}

bool TCommLog::FindNext(const QString& Pattern, bool Hex, bool Backward) {
    UpdateView();
    int64_t hit = -1;
    if (Hex) {
        TByteArray bytes;
        if (!ParseSelectedBytes(Pattern, bytes)) {
            lbSearch->setText(QStringLiteral("Not hex bytes"));
            return false;
        }
        hit = FHistory.Find(FHit, Backward,
                            [&bytes](const TLogEntry& E) { return PayloadContains(E.Copy.Payload, bytes); });
    } else {
        if (Pattern.isEmpty())
            return false;
        // The packet's line with its name, status and fields, whatever the view shows, built in
        // one buffer and matched in lower case: a million packets in a fraction of a second. The
        // names and field tables are looked up once, and the matcher skips ahead by the needle's
        // length where a plain find would stop at every first letter.
        std::string needle = Pattern.toStdString();
        ToLower(needle);
        const std::boyer_moore_horspool_searcher matcher(needle.begin(), needle.end());
        const TLogOptions options = Options();
        std::string names[256];
        const TCommandFields* fields[256];
        for (int id = 0; id < 256; ++id) {
            names[id] = options.CommandName ? options.CommandName(id) : std::string();
            ToLower(names[id]);
            fields[id] = FieldsOf(id);
        }
        std::string text;
        hit = FHistory.Find(FHit, Backward, [&](const TLogEntry& E) {
            const TPacket& p = E.Copy;
            const int32_t id = p.CommandID & 0xFF;
            const bool received = (p.CommandID & LogReceivedFlag) != 0;
            text.assign(received ? "received: id=" : "sent: id=");
            text += LowerHex[id >> 4];
            text += LowerHex[id & 15];
            text += "h (";
            text += names[id];
            text += "), length=";
            char length[16];
            text.append(length, std::to_chars(length, length + sizeof length, p.Length).ptr);
            if (!p.Payload.empty())
                text += ':';
            const size_t at = text.size();
            text.resize(at + 3 * p.Payload.size() + 1);
            char* out = text.data() + at;
            for (const uint8_t byte : p.Payload) {
                *out++ = ' ';
                *out++ = LowerHex[byte >> 4];
                *out++ = LowerHex[byte & 15];
            }
            *out = '\n';
            const size_t decoded = text.size();
            AppendPacketFields(text, fields[id], received, p.Payload);
            ToLower(text, decoded);
            return std::search(text.begin(), text.end(), matcher) != text.end();
        });
    }
    ShowHit(hit, Pattern.simplified());
    return hit >= 0;
}

bool TCommLog::FindNextFailed() {
    UpdateView();
    const bool sensor = FSensor;
    const int64_t hit =
        FHistory.Find(FHit, false, [sensor](const TLogEntry& E) { return IsFailedAnswer(E, sensor); });
    ShowHit(hit, QString());
    return hit >= 0;
}

void TCommLog::ShowHit(int64_t Index, const QString& Pattern) {
    if (Index < 0) {
        lbSearch->setText(QStringLiteral("Not found"));
        return;
    }
    FHit = Index;
    lbSearch->setText(QStringLiteral("Packet %1 of %2").arg(Index + 1).arg(FHistory.ShownCount()));
    if (Index < FPageFirst || Index >= FPageFirst + FPageCount)
        ScrollHistoryTo(std::max<int64_t>(0, Index - PageSize / 2));
    // The hit's first line in the view, past the empty line before a sent packet.
    const TLogOptions options = Options();
    int block = 0;
    for (int64_t i = FPageFirst; i < Index; ++i)
        block += LogPacketLineCount(FHistory.Shown(i).Copy, options);
    const int lines = LogPacketLineCount(FHistory.Shown(Index).Copy, options);
    const bool sent = (FHistory.Shown(Index).Copy.CommandID & LogReceivedFlag) == 0;
    QTextDocument* doc = RxMsgMemo->document();
    const QTextBlock first = doc->findBlockByNumber(block + (sent ? 1 : 0));
    const QTextBlock last = doc->findBlockByNumber(block + lines - 1);
    QTextCursor cursor(first);
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    // Highlights the match itself when the text has it, else the packet's lines.
    if (!Pattern.isEmpty()) {
        const QString text = cursor.selectedText();
        const qsizetype at = text.indexOf(Pattern, 0, Qt::CaseInsensitive);
        if (at >= 0) {
            cursor.setPosition(first.position() + int(at));
            cursor.setPosition(first.position() + int(at + Pattern.size()), QTextCursor::KeepAnchor);
        }
    }
    RxMsgMemo->setTextCursor(cursor);
    RxMsgMemo->centerCursor();
    // Every other match in the view is marked too.
    QList<QTextEdit::ExtraSelection> marks;
    if (!Pattern.isEmpty()) {
        QTextCharFormat mark;
        mark.setBackground(QColor(255, 214, 102));
        mark.setForeground(QColor(Qt::black));
        for (QTextCursor c = doc->find(Pattern); !c.isNull() && marks.size() < 5000;
             c = doc->find(Pattern, c))
            marks.append({c, mark});
    }
    RxMsgMemo->setExtraSelections(marks);
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
    // Written beside the target and renamed over it at the end: a failure leaves any earlier
    // file whole.
    QSaveFile file(Path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok && Path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        ok = WriteCsv(file);
    } else if (ok) {
        const QByteArray text = ViewText();
        ok = file.write(text) == text.size();
    }
    if (ok && file.commit())
        return true;
    const QString reason = file.errorString();
    file.cancelWriting();
    ShowMessage(TMessageKind::Error, QStringLiteral("Error while saving the command log to \"%1\": %2")
                    .arg(QDir::toNativeSeparators(Path), reason),
                QStringLiteral("Error"), this);
    return false;
}

QByteArray TCommLog::ViewText() {
    // Every shown packet, also those outside the view's page.
    UpdateView();
    const TLogOptions options = Options();
    QString text;
    for (int64_t i = 0; i < FHistory.ShownCount(); ++i) {
        const TLogEntry& e = FHistory.Shown(i);
        text.append(LogPacketText(e.Copy, options, e.TimeMs)).append(QLatin1Char('\n'));
    }
    return text.toUtf8();
}

bool TCommLog::WriteCsv(QIODevice& Out) const {
    // Every kept packet, hidden ones too; written in pieces, a million rows never make one string.
    const TLogOptions options = Options();
    QString chunk = LogCsvHeader() + QStringLiteral("\r\n");
    for (int32_t i = 0; i < FHistory.Count(); ++i) {
        const TLogEntry& e = FHistory.Entry(i);
        // RFC 4180 ends every record with CR LF.
        chunk += LogCsvRow(e.Copy, e.TimeMs, options) + QStringLiteral("\r\n");
        if (chunk.size() > (1 << 20) || i == FHistory.Count() - 1) {
            const QByteArray bytes = chunk.toUtf8();
            if (Out.write(bytes) != bytes.size())
                return false;
            chunk.clear();
        }
    }
    if (FHistory.Count() == 0) {
        const QByteArray bytes = chunk.toUtf8();
        return Out.write(bytes) == bytes.size();
    }
    return true;
}

void TCommLog::btnOpenClick() {
    QFileDialog dialog(this, QStringLiteral("Open command log"));
    dialog.setObjectName(QStringLiteral("OpenLogDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("CSV files (*.csv)"), QStringLiteral("All files (*)")});
    dialog.setDirectory(FSaveFolder.isEmpty() ? QDir::homePath() : FSaveFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    FSaveFolder = QFileInfo(path).absolutePath();
    if (TCommLog* log = OpenFile(path))
        log->show();
}

TCommLog* TCommLog::OpenFile(const QString& Path) {
    QFile file;
    std::vector<TLogRecord> records;
    std::set<std::string> names;
    QString error;
    if (UserFile::Open(file, Path, UserFile::MaxSize, error) == UserFile::Opened)
        ParseLogCsv(file, records, error, &names);
    if (!error.isEmpty()) {
        ShowMessage(TMessageKind::Error, QStringLiteral("Error while opening the command log \"%1\": %2")
                        .arg(QDir::toNativeSeparators(Path), error),
                    QStringLiteral("Error"), this);
        return nullptr;
    }
    // A window of the main window, beside this one; it goes away when closed.
    auto* log = new TCommLog(parentWidget());
    log->setAttribute(Qt::WA_DeleteOnClose);
    log->setWindowTitle(QStringLiteral("Communications log - %1").arg(QFileInfo(Path).fileName()));
    const TDeviceKind kind = KindOfNames(names);
    log->LoadRecords(std::move(records), kind);
    return log;
}

void TCommLog::LoadRecords(std::vector<TLogRecord>&& Records, TDeviceKind Kind) {
    FReadOnly = true;
    FKind = Kind;
    FSensor = Kind == dkSensor;
    cbSuppressDataPackets->setVisible(false);
    btnClear->setVisible(false);
    cbKeep->setEnabled(false);
    BuildFilterMenu();
    FHistory.SetKeep(std::max<int64_t>(int64_t(Records.size()), 1));
    for (TLogRecord& r : Records) {
        const TCommandFields* row = FieldsOf(r.Copy.CommandID & 0xFF);
        TLogEntry e{std::move(r.Copy), r.TimeMs, false};
        e.Update = FHistory.IsUpdate(e.Copy, row && row->Update);
        FHistory.Add(std::move(e));
    }
    Records.clear();
    FFollow = true;
    RebuildPage(0);
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
    ShowMessage(Decoding.Error ? TMessageKind::Error : TMessageKind::Information, Decoding.Text,
                Decoding.Error ? QStringLiteral("Error") : QString(), this);
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
