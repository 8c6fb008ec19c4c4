#include "ui/StopKey.h"

#include "platform/ErrorGuard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>

#include <algorithm>
#include <vector>

namespace {
// The program's main windows with a stop key; a window that belongs to none of them (a link
// dialog opened without a parent) stops the device of the only one.
std::vector<const QWidget*>& Owners() {
    static std::vector<const QWidget*> owners;
    return owners;
}

// The top-level window that Widget's window was opened from.
const QWidget* RootWindow(const QWidget* Widget) {
    const QWidget* w = Widget->window();
    while (w->parentWidget())
        w = w->parentWidget()->window();
    return w;
}
} // namespace

QString TStopKey::KeyName() {
    return QKeySequence(Key).toString(QKeySequence::NativeText);
}

TStopKey::TStopKey(QWidget* Window, std::function<void()> Stop)
    : QObject(Window), FOwner(Window), FWindow(Window), FStop(std::move(Stop)) {
    Owners().push_back(Window);
    qApp->installEventFilter(this);
}

TStopKey::~TStopKey() {
    if (qApp)
        qApp->removeEventFilter(this);
    std::erase(Owners(), FOwner);
}

bool TStopKey::Reaches(const QWidget* Receiver) const {
    const QWidget* root = RootWindow(Receiver);
    if (root == FWindow)
        return true;
    const auto& owners = Owners();
    return owners.size() == 1 && std::find(owners.begin(), owners.end(), root) == owners.end();
}

bool TStopKey::eventFilter(QObject* Watched, QEvent* Event) {
    const QEvent::Type type = Event->type();
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) || !Watched->isWidgetType())
        return false;
    auto* key = static_cast<QKeyEvent*>(Event);
    if (key->key() != Key || !FWindow || !Reaches(static_cast<QWidget*>(Watched)))
        return false;
    if (type == QEvent::ShortcutOverride) {
        // No shortcut of a window or control may take the key first.
        Event->accept();
        return true;
    }
    // Held down it stops once; the key goes to no control either way.
    if (!key->isAutoRepeat())
        RunGuarded([this] { FStop(); });
    return true;
}
