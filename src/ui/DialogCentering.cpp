#include "ui/DialogCentering.h"

#include "platform/OnScreen.h"

#include <QApplication>
#include <QDialog>

void CenterDialogOnMainWindow(QDialog* Dialog) {
    QWidget* main = Dialog->parentWidget() ? Dialog->parentWidget()->window() : QApplication::activeWindow();
    if (!main || main == Dialog || !main->isVisible())
        return;
    // Size it once; a size the operator chose stays for the next opening.
    if (!Dialog->testAttribute(Qt::WA_Resized))
        Dialog->adjustSize();
    PlaceClearOf(Dialog, main);
}

bool ExecDialogCentered(QDialog* Dialog) {
    CenterDialogOnMainWindow(Dialog);
    return Dialog->exec() == QDialog::Accepted;
}
