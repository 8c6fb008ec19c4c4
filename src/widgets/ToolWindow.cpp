#include "widgets/ToolWindow.h"

#include "platform/OnScreen.h"

#include <QWidget>

void CenterOnOwner(QWidget* Window) {
    const QWidget* owner = Window->parentWidget();
    if (owner == nullptr)
        return;
    CenterOnScreenOf(Window, owner->window());
}
