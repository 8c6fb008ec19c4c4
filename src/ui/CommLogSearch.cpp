// The command log's find bar and keys, and the search over the shown packets.
#include "ui/CommLogSearch.h"

#include "cmdtext/CommLogText.h"
#include "ui/CommLogView.h"
#include "platform/ErrorGuard.h"
#include "device/PayloadFields.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>
#include <charconv>
#include <functional>
#include <string>

namespace {
void ToLower(std::string& S, size_t From = 0) {
    for (size_t i = From; i < S.size(); ++i)
        if (S[i] >= 'A' && S[i] <= 'Z')
            S[i] = char(S[i] - 'A' + 'a');
}

const char LowerHex[] = "0123456789abcdef";

// The packet's line with its name and its bytes as the matcher reads it, in lower case.
void PacketLine(std::string& Text, const TPacket& P, bool Received, const std::string& Name) {
    const int32_t id = P.CommandID & 0xFF;
    Text.assign(Received ? "received: id=" : "sent: id=");
    Text += LowerHex[id >> 4];
    Text += LowerHex[id & 15];
    Text += "h (";
    Text += Name;
    Text += "), length=";
    char length[16];
    Text.append(length, std::to_chars(length, length + sizeof length, P.Length).ptr);
    if (!P.Payload.empty())
        Text += ':';
    const size_t at = Text.size();
    Text.resize(at + 3 * P.Payload.size() + 1);
    char* out = Text.data() + at;
    for (const uint8_t byte : P.Payload) {
        *out++ = ' ';
        *out++ = LowerHex[byte >> 4];
        *out++ = LowerHex[byte & 15];
    }
    *out = '\n';
}
} // namespace

TCommLogSearch::TCommLogSearch(QWidget* Window, TLogSource Source)
    : QObject(Window), FSource(std::move(Source)) {
    pnSearch = new QFrame(Window);
    BuildBar();
    BuildKeys(Window);
}

// The search bar, hidden until Ctrl+F.
void TCommLogSearch::BuildBar() {
    pnSearch->setObjectName(QStringLiteral("pnSearch"));
    auto* findLabel = new QLabel(QStringLiteral("F&ind"), pnSearch);
    edSearch = new QLineEdit(pnSearch);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    findLabel->setBuddy(edSearch);
    LogHint(edSearch,
            QStringLiteral("Text of a packet's line with its command name, status and fields, or hex "
                           "bytes of the payloads"));
    cbHexSearch = new QCheckBox(QStringLiteral("Hex bytes"), pnSearch);
    cbHexSearch->setObjectName(QStringLiteral("cbHexSearch"));
    btnFindPrevious = new QPushButton(QStringLiteral("&Previous"), pnSearch);
    btnFindPrevious->setObjectName(QStringLiteral("btnFindPrevious"));
    btnFindNext = new QPushButton(QStringLiteral("&Next"), pnSearch);
    btnFindNext->setObjectName(QStringLiteral("btnFindNext"));
    btnNextFailed = new QPushButton(QStringLiteral("Next &failed answer"), pnSearch);
    btnNextFailed->setObjectName(QStringLiteral("btnNextFailed"));
    LogHint(btnNextFailed,
            QStringLiteral("Next received answer with a status other than success or pending"));
    lbSearch = new QLabel(pnSearch);
    lbSearch->setObjectName(QStringLiteral("lbSearch"));
    auto* search = new QHBoxLayout(pnSearch);
    search->setContentsMargins(6, 2, 6, 2);
    search->addWidget(findLabel);
    search->addWidget(edSearch, 1);
    search->addWidget(cbHexSearch);
    search->addWidget(btnFindPrevious);
    search->addWidget(btnFindNext);
    search->addWidget(btnNextFailed);
    search->addWidget(lbSearch);
    pnSearch->setVisible(false);
    connect(btnFindNext, &QPushButton::clicked, this, [this] { RunGuarded([this] { Clicked(false); }); });
    connect(btnFindPrevious, &QPushButton::clicked, this, [this] { RunGuarded([this] { Clicked(true); }); });
    connect(edSearch, &QLineEdit::returnPressed, this, [this] { RunGuarded([this] { Clicked(false); }); });
    connect(btnNextFailed, &QPushButton::clicked, this, [this] { RunGuarded([this] { FindNextFailed(); }); });
}

void TCommLogSearch::BuildKeys(QWidget* Window) {
    auto* find = new QShortcut(QKeySequence::Find, Window);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, Guarded(this, &TCommLogSearch::Show));
    auto* findNext = new QShortcut(QKeySequence::FindNext, Window);
    findNext->setContext(Qt::WidgetWithChildrenShortcut);
    connect(findNext, &QShortcut::activated, this, [this] { RunGuarded([this] { Clicked(false); }); });
    auto* findPrev = new QShortcut(QKeySequence::FindPrevious, Window);
    findPrev->setContext(Qt::WidgetWithChildrenShortcut);
    connect(findPrev, &QShortcut::activated, this, [this] { RunGuarded([this] { Clicked(true); }); });
    auto* closeSearch = new QShortcut(Qt::Key_Escape, Window);
    closeSearch->setContext(Qt::WidgetWithChildrenShortcut);
    connect(closeSearch, &QShortcut::activated, this, Guarded(this, &TCommLogSearch::Hide));
}

QWidget* TCommLogSearch::Bar() const {
    return pnSearch;
}

QList<QWidget*> TCommLogSearch::TabOrder() const {
    return {edSearch, cbHexSearch, btnFindPrevious, btnFindNext, btnNextFailed};
}

void TCommLogSearch::Show() {
    pnSearch->setVisible(true);
    edSearch->setFocus(Qt::ShortcutFocusReason);
    edSearch->selectAll();
}

void TCommLogSearch::Hide() {
    if (!pnSearch->isVisible())
        return;
    const bool hadFocus = pnSearch->isAncestorOf(QApplication::focusWidget());
    pnSearch->setVisible(false);
    if (hadFocus)
        FView->Text()->setFocus(Qt::ShortcutFocusReason);
}

void TCommLogSearch::Clicked(bool Backward) {
    FindNext(edSearch->text(), cbHexSearch->isChecked(), Backward);
}

bool TCommLogSearch::FindNext(const QString& Pattern, bool Hex, bool Backward) {
    FView->Update();
    int64_t hit = -1;
    if (Hex) {
        TByteArray bytes;
        if (!ParseSelectedBytes(Pattern, bytes)) {
            lbSearch->setText(QStringLiteral("Not hex bytes"));
            return false;
        }
        hit = FSource.History.Find(
            FHit, Backward, [&bytes](const TLogEntry& E) { return PayloadContains(E.Copy.Payload, bytes); });
    } else {
        if (Pattern.isEmpty())
            return false;
        hit = FindText(Pattern, Backward);
    }
    ShowHit(hit, Pattern.simplified());
    return hit >= 0;
}

// The packet's line with its name, status and fields, whatever the view shows, built in one
// buffer and matched in lower case: a million packets in a fraction of a second. The names and
// field tables are looked up once, and the matcher skips ahead by the needle's length where a
// plain find would stop at every first letter.
int64_t TCommLogSearch::FindText(const QString& Pattern, bool Backward) const {
    std::string needle = Pattern.toStdString();
    ToLower(needle);
    const std::boyer_moore_horspool_searcher matcher(needle.begin(), needle.end());
    const TLogOptions options = FSource.Options();
    std::string names[256];
    const TCommandFields* fields[256];
    for (int id = 0; id < 256; ++id) {
        names[id] = options.CommandName ? options.CommandName(id) : std::string();
        ToLower(names[id]);
        fields[id] = FSource.Fields(id);
    }
    std::string text;
    return FSource.History.Find(FHit, Backward, [&](const TLogEntry& E) {
        const TPacket& p = E.Copy;
        const int32_t id = p.CommandID & 0xFF;
        const bool received = (p.CommandID & LogReceivedFlag) != 0;
        PacketLine(text, p, received, names[id]);
        const size_t decoded = text.size();
        AppendPacketFields(text, fields[id], received, p.Payload);
        ToLower(text, decoded);
        return std::search(text.begin(), text.end(), matcher) != text.end();
    });
}

bool TCommLogSearch::FindNextFailed() {
    FView->Update();
    const bool sensor = FSource.Options().SensorDevice;
    const int64_t hit =
        FSource.History.Find(FHit, false, [sensor](const TLogEntry& E) { return IsFailedAnswer(E, sensor); });
    ShowHit(hit, QString());
    return hit >= 0;
}

void TCommLogSearch::ShowHit(int64_t Index, const QString& Pattern) {
    if (Index < 0) {
        lbSearch->setText(QStringLiteral("Not found"));
        return;
    }
    FHit = Index;
    lbSearch->setText(QStringLiteral("Packet %1 of %2").arg(Index + 1).arg(FSource.History.ShownCount()));
    FView->Select(Index, Pattern);
}

void TCommLogSearch::ShowCount() {
    if (FHit >= 0)
        lbSearch->setText(QStringLiteral("Packet %1 of %2").arg(FHit + 1).arg(FSource.History.ShownCount()));
    else if (lbSearch->text().startsWith(QLatin1String("Packet ")))
        lbSearch->clear();
}
