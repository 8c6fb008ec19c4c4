#include "MessageSeam.h"
#include "LogCategories.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>

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

void ShowMessage(const QString& Text, const QString& Caption, QWidget* Parent) {
    const QString caption = Caption.isEmpty() ? QCoreApplication::applicationName() : Caption;
    if (const auto& h = Hook()) {
        h(Text, caption);
        return;
    }
    // Without a widget application (zelctl) there is nobody to show a box to.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        qCWarning(lcApp).noquote() << Text;
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, Text, QMessageBox::Ok, Parent);
    box.exec();
}
