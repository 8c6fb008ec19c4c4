#include "ToolWindow.h"

#include <QWidget>

void CenterOnOwner(QWidget* Window) {
    const QWidget* owner = Window->parentWidget();
    if (owner == nullptr)
        return;
    QRect r = Window->frameGeometry();
    r.moveCenter(owner->window()->frameGeometry().center());
    Window->move(r.topLeft());
}
