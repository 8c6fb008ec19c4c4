// The command log's options bar: the line options, the filter menu and the packets kept.
#include "ui/CommLogOptions.h"

#include "cmdtext/CommLogText.h"
#include "platform/ErrorGuard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QToolButton>

namespace {
const int64_t KeepChoices[] = {150, 1000, 10000, 100000, 1000000};

QCheckBox* Option(QWidget* Bar, const char* Name, const QString& Text, const QString& Hint) {
    auto* box = new QCheckBox(Text, Bar);
    box->setObjectName(QLatin1String(Name));
    LogHint(box, Hint);
    return box;
}
} // namespace

// Options of the lines, the filter and how many packets are kept.
TCommLogOptions::TCommLogOptions(QWidget* Window) : QObject(Window) {
    Panel7 = new QFrame(Window);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    cbShowIDDescr = Option(Panel7, "cbShowIDDescr", QStringLiteral("Show ID descriptors"),
                           QStringLiteral("Show the command name beside each identifier"));
    cbEvaluateErrorCodes = Option(Panel7, "cbEvaluateErrorCodes", QStringLiteral("Evaluate error codes"),
                                  QStringLiteral("Show the status name of each received response"));
    cbSuppressDataPackets = Option(Panel7, "cbSuppressDataPackets", QStringLiteral("Suppress Data Packets"),
                                   QStringLiteral("Leave the sensor's frame data out of the log"));
    cbSuppressDataPackets->setChecked(true);
    cbSuppressDataPackets->setVisible(false);
    cbTimeStamps = Option(Panel7, "cbTimeStamps", QStringLiteral("Time stamps"),
                          QStringLiteral("Start each line with the seconds since the first logged packet"));
    cbDecodeFields =
        Option(Panel7, "cbDecodeFields", QStringLiteral("Decode fields"),
               QStringLiteral("Show a line with the fields of each packet by name, value and unit"));
    BuildFilterButton();
    auto* keepLabel = new QLabel(QStringLiteral("&Keep"), Panel7);
    FKeepLabel = keepLabel;
    cbKeep = new QComboBox(Panel7);
    cbKeep->setObjectName(QStringLiteral("cbKeep"));
    for (int64_t k : KeepChoices)
        cbKeep->addItem(QLocale().toString(qlonglong(k)), QVariant::fromValue(qlonglong(k)));
    keepLabel->setBuddy(cbKeep);
    LogHint(cbKeep, QStringLiteral("Packets kept in the log; the oldest leave first"));
    Place();

    for (QCheckBox* box : {cbShowIDDescr, cbEvaluateErrorCodes, cbTimeStamps, cbDecodeFields})
        connect(box, &QCheckBox::clicked, this, [this] { RunGuarded([this] { emit LinesChanged(); }); });
    connect(cbKeep, &QComboBox::activated, this, [this](int Index) {
        RunGuarded([this, Index] { emit KeepChosen(cbKeep->itemData(Index).toLongLong()); });
    });
}

void TCommLogOptions::BuildFilterButton() {
    btnFilter = new QToolButton(Panel7);
    btnFilter->setObjectName(QStringLiteral("btnFilter"));
    btnFilter->setText(QStringLiteral("Filter"));
    btnFilter->setPopupMode(QToolButton::InstantPopup);
    LogHint(btnFilter,
            QStringLiteral("Show or hide packets by direction and command; hidden packets are still kept"));
    FFilterMenu = new QMenu(btnFilter);
    FFilterMenu->setObjectName(QStringLiteral("FilterMenu"));
    btnFilter->setMenu(FFilterMenu);
}

// Two rows of options: the labels stay whole down to a narrow window.
void TCommLogOptions::Place() {
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
    keep->addWidget(FKeepLabel);
    keep->addWidget(cbKeep);
    top->addLayout(keep, 1, 4, 1, 1, Qt::AlignRight);
}

QWidget* TCommLogOptions::Bar() const {
    return Panel7;
}

QList<QWidget*> TCommLogOptions::TabOrder() const {
    return {cbShowIDDescr,  cbEvaluateErrorCodes,  cbTimeStamps,
            cbDecodeFields, cbSuppressDataPackets, btnFilter,
            cbKeep};
}

TLogOptions TCommLogOptions::Lines() const {
    TLogOptions o;
    o.ShowIDDescr = cbShowIDDescr->isChecked();
    o.EvaluateErrorCodes = cbEvaluateErrorCodes->isChecked();
    o.TimeStamps = cbTimeStamps->isChecked();
    o.DecodeFields = cbDecodeFields->isChecked();
    return o;
}

bool TCommLogOptions::SuppressDataPackets() const {
    return cbSuppressDataPackets->isChecked();
}

void TCommLogOptions::ShowSuppression(bool Visible) {
    cbSuppressDataPackets->setVisible(Visible);
}

void TCommLogOptions::ShowKeep(int64_t Packets) {
    const int index = cbKeep->findData(QVariant::fromValue(qlonglong(Packets)));
    if (index >= 0)
        cbKeep->setCurrentIndex(index);
}

void TCommLogOptions::SetReadOnly() {
    cbSuppressDataPackets->setVisible(false);
    cbKeep->setEnabled(false);
}

void TCommLogOptions::ShowFilter(const TLogFilter& Filter,
                                 const std::vector<std::pair<int32_t, std::string>>& Commands) {
    FFilterMenu->clear();
    auto add = [this](const QString& Name, const QString& Text, bool Checked) {
        QAction* a = AddLogItem(FFilterMenu, Name, Text);
        a->setCheckable(true);
        a->setChecked(Checked);
        connect(a, &QAction::toggled, this, [this] { RunGuarded([this] { emit FilterEdited(); }); });
    };
    add(QStringLiteral("miShowSent"), QStringLiteral("Sent"), Filter.Sent);
    add(QStringLiteral("miShowReceived"), QStringLiteral("Received"), Filter.Received);
    add(QStringLiteral("miShowUpdates"), QStringLiteral("All automatic updates"), Filter.Updates);
    FFilterMenu->addSeparator();
    for (const auto& [id, name] : Commands) {
        const QString hex = QStringLiteral("%1").arg(id, 2, 16, QLatin1Char('0')).toUpper();
        add(QStringLiteral("miShowID") + hex,
            QString::fromStdString(name) + QStringLiteral(" (%1h)").arg(hex),
            !Filter.HiddenIDs.test(size_t(id)));
    }
}

void TCommLogOptions::ReadFilter(TLogFilter& Filter) const {
    for (QAction* a : FFilterMenu->actions()) {
        const QString name = a->objectName();
        if (name == QLatin1String("miShowSent"))
            Filter.Sent = a->isChecked();
        else if (name == QLatin1String("miShowReceived"))
            Filter.Received = a->isChecked();
        else if (name == QLatin1String("miShowUpdates"))
            Filter.Updates = a->isChecked();
        else if (name.startsWith(QLatin1String("miShowID")))
            Filter.HiddenIDs.set(size_t(name.mid(8).toInt(nullptr, 16)), !a->isChecked());
    }
}
