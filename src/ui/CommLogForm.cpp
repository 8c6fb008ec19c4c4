// The command log window: its parts put together, the history fed from the device, and a saved log
// opened in a window of its own.
#include "ui/CommLogForm.h"

#include "ui/CommLogFiles.h"
#include "ui/CommLogOptions.h"
#include "ui/CommLogSearch.h"
#include "cmdtext/CommLogText.h"
#include "platform/ErrorGuard.h"
#include "device/PayloadFields.h"
#include "widgets/ToolWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <set>
#include <string>

// A window of its own, not Qt::Tool: a tool window would let the main window's shortcuts fire
// here (Escape would stop the fingers, F3 would disconnect).
TCommLog::TCommLog(QWidget* Parent) : QWidget(Parent, Qt::Window) {
    setObjectName(QStringLiteral("CommLog"));
    setWindowTitle(QStringLiteral("Communications log"));

    FOptions = new TCommLogOptions(this);
    FSearch = new TCommLogSearch(this, Source());
    FView = new TCommLogView(this, Source());
    FSearch->ShowHitsIn(*FView);
    FFiles = new TCommLogFiles(this, Source(), *FView);
    Place();
    Connect();
    ShowFilterMenu();
    resize(817, 646);
}

TCommLog::~TCommLog() = default;

TLogSource TCommLog::Source() {
    return {FHistory, [this] { return FDecoder.Complete(FOptions->Lines()); },
            [this](int32_t ID) { return FDecoder.FieldsOf(ID); }};
}

// The bars above and below the view; the tab order runs through them top to bottom.
void TCommLog::Place() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FOptions->Bar());
    layout->addWidget(FSearch->Bar());
    layout->addLayout(FView->Layout(), 1);
    layout->addWidget(FFiles->Bar());

    const QList<QWidget*> order =
        FOptions->TabOrder() + FSearch->TabOrder() + QList<QWidget*>{FView->Text()} + FFiles->TabOrder();
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TCommLog::Connect() {
    connect(FOptions, &TCommLogOptions::LinesChanged, this, [this] { OnOptionsChanged(); });
    connect(FOptions, &TCommLogOptions::KeepChosen, this, [this](qint64 Packets) { SetKeep(Packets); });
    connect(FOptions, &TCommLogOptions::FilterEdited, this, [this] { FilterEdited(); });
    connect(FView, &TCommLogView::BarUpdated, this, [this] { FSearch->ShowCount(); });
    connect(FFiles, &TCommLogFiles::ClearClicked, this, [this] { Clear(); });
    connect(FFiles, &TCommLogFiles::OpenChosen, this, [this](const QString& Path) {
        if (TCommLog* log = OpenFile(Path))
            log->show();
    });
}

void TCommLog::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    RunGuarded([this] {
        FView->Shown();
        // Centred on the main window the first time it is shown; after that where the user left it.
        if (FPlaced || parentWidget() == nullptr)
            return;
        FPlaced = true;
        CenterOnOwner(this);
    });
}

void TCommLog::SetDevice(TKORADevice* Device) {
    FDecoder.SetDevice(Device);
    if (FDecoder.Sensor())
        FOptions->ShowSuppression(true);
    ShowFilterMenu();
}

void TCommLog::AddPacket(const TPacket& Packet, bool Received) {
    if (FDecoder.Sensor() && FOptions->SuppressDataPackets() && Packet.CommandID == 0)
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
    const TCommandFields* row = FDecoder.FieldsOf(Packet.CommandID & 0xFF);
    entry.Update = FHistory.IsUpdate(entry.Copy, row && row->Update);
    const bool shown = FHistory.Add(std::move(entry), [this](const TLogEntry& Gone, bool WasShown) {
        if (!WasShown)
            return;
        FView->Dropped(Gone);
        FSearch->Dropped();
    });
    FView->Added(shown);
}

void TCommLog::UpdateView() {
    FView->Update();
}

int64_t TCommLog::PageFirst() const {
    return FView->PageFirst();
}

int64_t TCommLog::PageCount() const {
    return FView->PageCount();
}

void TCommLog::ScrollHistoryTo(int64_t First) {
    FView->ScrollTo(First);
}

QStringList TCommLog::Lines() {
    return FView->Lines();
}

void TCommLog::SetClock(TTickSource Clock) {
    FClock = std::move(Clock);
}

void TCommLog::SetKeep(int64_t Packets) {
    FHistory.SetKeep(Packets);
    FOptions->ShowKeep(FHistory.Keep());
    FSearch->ForgetHit();
    FView->Restart();
}

void TCommLog::SetFilter(const TLogFilter& Filter) {
    FHistory.SetFilter(Filter);
    FSearch->ForgetHit();
    FView->Restart();
}

void TCommLog::ShowFilterMenu() {
    FOptions->ShowFilter(FHistory.Filter(), FDecoder.FilterCommands());
}

void TCommLog::FilterEdited() {
    TLogFilter f = FHistory.Filter();
    FOptions->ReadFilter(f);
    SetFilter(f);
}

void TCommLog::Clear() {
    FHistory.Clear();
    // The next packet starts the time stamps anew.
    FStarted = false;
    FSearch->ForgetHit();
    FView->Clear();
}

void TCommLog::OnOptionsChanged() {
    FView->Rebuild(FView->PageFirst());
}

bool TCommLog::FindNext(const QString& Pattern, bool Hex, bool Backward) {
    return FSearch->FindNext(Pattern, Hex, Backward);
}

bool TCommLog::FindNextFailed() {
    return FSearch->FindNextFailed();
}

int64_t TCommLog::CurrentHit() const {
    return FSearch->CurrentHit();
}

bool TCommLog::SaveToFile(const QString& Path) {
    return FFiles->SaveToFile(Path);
}

TCommLog* TCommLog::OpenFile(const QString& Path) {
    std::vector<TLogRecord> records;
    std::set<std::string> names;
    if (!FFiles->ReadFile(Path, records, names))
        return nullptr;
    // A window of the main window, beside this one; it goes away when closed.
    auto* log = new TCommLog(parentWidget());
    log->setAttribute(Qt::WA_DeleteOnClose);
    log->setWindowTitle(QStringLiteral("Communications log - %1").arg(QFileInfo(Path).fileName()));
    const TDeviceKind kind = TCommLogDecoder::KindOfNames(names);
    log->LoadRecords(std::move(records), kind);
    return log;
}

void TCommLog::LoadRecords(std::vector<TLogRecord>&& Records, TDeviceKind Kind) {
    FDecoder.SetOpened(Kind);
    FOptions->SetReadOnly();
    FFiles->SetReadOnly();
    ShowFilterMenu();
    FHistory.SetKeep(std::max<int64_t>(int64_t(Records.size()), 1));
    for (TLogRecord& r : Records) {
        const TCommandFields* row = FDecoder.FieldsOf(r.Copy.CommandID & 0xFF);
        TLogEntry e{std::move(r.Copy), r.TimeMs, false};
        e.Update = FHistory.IsUpdate(e.Copy, row && row->Update);
        FHistory.Add(std::move(e));
    }
    Records.clear();
    FView->Restart();
}
