#include "CommLogForm.h"

#include "CommLogFiles.h"
#include "CommLogOptions.h"
#include "CommLogSearch.h"
#include "CommLogText.h"
#include "ErrorGuard.h"
#include "KORADevice.h"
#include "PayloadFields.h"
#include "TAQ.h"
#include "TAQ_fields.h"
#include "ToolWindow.h"
#include "ZEL.h"
#include "ZEL_fields.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <set>
#include <string>

namespace {
std::string KindCommandName(TCommLog::TDeviceKind Kind, int32_t ID) {
    bool found = false;
    std::string name;
    if (Kind == TCommLog::dkGripper)
        name = LookupCommandName(TZEL::CommandNames, std::size(TZEL::CommandNames), ID, found);
    else if (Kind == TCommLog::dkSensor)
        name = LookupCommandName(TTAQ::CommandNames, std::size(TTAQ::CommandNames), ID, found);
    return found ? name : GenericCommandName(ID);
}

// The commands a filter offers: the device's own, then the generic ones.
std::vector<std::pair<int32_t, std::string>> FilterCommands(TCommLog::TDeviceKind Kind) {
    std::vector<std::pair<int32_t, std::string>> rows;
    auto add = [&rows](const TCommandID* Table, size_t Count) {
        for (size_t i = 0; i < Count; ++i)
            rows.emplace_back(Table[i].ID, std::string(Table[i].Name));
    };
    if (Kind == TCommLog::dkGripper)
        add(TZEL::CommandNames, std::size(TZEL::CommandNames));
    else if (Kind == TCommLog::dkSensor)
        add(TTAQ::CommandNames, std::size(TTAQ::CommandNames));
    add(GenericCommandNames, std::size(GenericCommandNames));
    // Listed by identifier, as the log shows them; the names stay as the tables give them.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& A, const auto& B) { return A.first < B.first; });
    return rows;
}

// A saved log names its commands: the sensor's and the gripper's names tell them apart.
TCommLog::TDeviceKind KindOfNames(const std::set<std::string>& Names) {
    bool gripper = false;
    for (const std::string& name : Names) {
        for (const TCommandID& c : TTAQ::CommandNames)
            if (name == c.Name)
                return TCommLog::dkSensor;
        for (const TCommandID& c : TZEL::CommandNames)
            gripper = gripper || name == c.Name;
    }
    return gripper ? TCommLog::dkGripper : TCommLog::dkGeneric;
}
} // namespace

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
    return {FHistory, [this] { return Options(); }, [this](int32_t ID) { return FieldsOf(ID); }};
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
    FDevice = Device;
    FSensor = qobject_cast<TTAQ*>(Device) != nullptr;
    FKind = FSensor ? dkSensor : qobject_cast<TZEL*>(Device) ? dkGripper : dkGeneric;
    if (FSensor)
        FOptions->ShowSuppression(true);
    ShowFilterMenu();
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
    TLogOptions o = FOptions->Lines();
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
    if (FSensor && FOptions->SuppressDataPackets() && Packet.CommandID == 0)
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
    FOptions->ShowFilter(FHistory.Filter(), FilterCommands(FKind));
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
    const TDeviceKind kind = KindOfNames(names);
    log->LoadRecords(std::move(records), kind);
    return log;
}

void TCommLog::LoadRecords(std::vector<TLogRecord>&& Records, TDeviceKind Kind) {
    FReadOnly = true;
    FKind = Kind;
    FSensor = Kind == dkSensor;
    FOptions->SetReadOnly();
    FFiles->SetReadOnly();
    ShowFilterMenu();
    FHistory.SetKeep(std::max<int64_t>(int64_t(Records.size()), 1));
    for (TLogRecord& r : Records) {
        const TCommandFields* row = FieldsOf(r.Copy.CommandID & 0xFF);
        TLogEntry e{std::move(r.Copy), r.TimeMs, false};
        e.Update = FHistory.IsUpdate(e.Copy, row && row->Update);
        FHistory.Add(std::move(e));
    }
    Records.clear();
    FView->Restart();
}
