#include "MessageBox.h"

#include <QMessageBox>

TMessageHook MessageBoxHook() {
    return [](const TMessage& Message) {
        const QMessageBox::Icon icon =
            Message.Kind == TMessageKind::Error ? QMessageBox::Critical : QMessageBox::Information;
        QMessageBox box(icon, Message.Caption, Message.Text, QMessageBox::Ok, Message.Parent);
        box.exec();
    };
}
