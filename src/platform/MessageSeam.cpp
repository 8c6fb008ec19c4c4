#include "platform/MessageSeam.h"
#include "platform/LogCategories.h"

#include <QCoreApplication>
#include <QDebug>

namespace {
TMessageHook& Hook() {
    static TMessageHook h;
    return h;
}
} // namespace

TMessageHook SetMessageHook(TMessageHook NewHook) {
    TMessageHook old = std::move(Hook());
    Hook() = std::move(NewHook);
    return old;
}

void ShowMessage(TMessageKind Kind, const QString& Text, const QString& Caption, QWidget* Parent) {
    const QString caption = Caption.isEmpty() ? QCoreApplication::applicationName() : Caption;
    if (const auto& h = Hook()) {
        h({Kind, Text, caption, Parent});
        return;
    }
    qCWarning(lcApp).noquote() << Text;
}
