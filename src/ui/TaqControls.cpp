// The controls, texts and sensor commands the parts of the sensor window share.
#include "ui/TaqControls.h"

#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"
#include "protocol/stat.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>

namespace TaqControls {
const QString ErrorCaption = QStringLiteral("Error");

namespace {
QString StatusText(TStat Status) {
    return QString::fromStdString(StatToStr(Status));
}
} // namespace

QString FrameCount(qint64 Count) {
    return Count == 1 ? QStringLiteral("1 frame") : QStringLiteral("%1 frames").arg(Count);
}

QString Num(double Value, int Decimals) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(Value, 'f', Decimals);
}

void SetHint(QWidget* W, const QString& Hint) {
    W->setToolTip(Hint);
    W->setStatusTip(Hint);
}

QPushButton* Button(const QString& Name, const QString& Text, const QString& Hint, QWidget* Parent) {
    auto* b = new QPushButton(Text, Parent);
    b->setObjectName(Name);
    SetHint(b, Hint);
    return b;
}

QGroupBox* Group(const QString& Name, const QString& Title, QWidget* Parent) {
    auto* g = new QGroupBox(Title, Parent);
    g->setObjectName(Name);
    return g;
}

QLabel* Value(const QString& Name, const QString& Meaning, QWidget* Parent, TValueKind Kind) {
    auto* l = new QLabel(Parent);
    l->setObjectName(Name);
    l->setAccessibleName(Meaning);
    l->setTextFormat(Qt::PlainText);
    if (Kind == TValueKind::Selectable) {
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    return l;
}

QAction* MenuItem(QMenu* Menu, const QString& Name, const QString& Text, const QString& Hint,
                  QObject* Context, std::function<void()> Handler) {
    QAction* a = Menu->addAction(Text);
    a->setObjectName(Name);
    a->setStatusTip(Hint);
    QObject::connect(a, &QAction::triggered, Context,
                     [Handler = std::move(Handler)] { RunGuarded(Handler); });
    return a;
}

bool Execute(TTAQ& Taq, uint8_t CommandID, const TByteArray& Payload, const QString& What, QWidget* Window,
             bool Urgent) {
    TByteArray answer;
    TStat status = E_SUCCESS;
    const bool done = Urgent ? Taq.ExecuteUrgentCommand(CommandID, Payload, answer, status)
                             : Taq.ExecuteCommand(CommandID, Payload, answer, status);
    if (done)
        return true;
    ShowMessage(TMessageKind::Error,
                QStringLiteral("Error while %1: %2")
                    .arg(What, StatusText(Taq.IsConnected() ? E_CMD_FAILED : E_NOT_OPENED)),
                ErrorCaption, Window);
    return false;
}

QString CommandFailedText() {
    return StatusText(E_CMD_FAILED);
}
} // namespace TaqControls
