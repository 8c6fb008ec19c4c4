#include "linkdialogs/DialogPlacement.h"

#include "platform/OnScreen.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

void CenterOnMainWindow(QDialog* Dialog) {
    QWidget* main = QApplication::activeWindow();
    if (!main || main == Dialog)
        return;
    Dialog->adjustSize();
    PlaceClearOf(Dialog, main);
}

bool RunCentered(QDialog* Dialog) {
    CenterOnMainWindow(Dialog);
    return Dialog->exec() == QDialog::Accepted;
}

QHBoxLayout* OkCancelRow(QDialog* Dialog, QPushButton* Ok, QPushButton* Cancel) {
    Ok->setObjectName(Ok->objectName().isEmpty() ? QStringLiteral("btnOk") : Ok->objectName());
    Cancel->setObjectName(QStringLiteral("btnCancel"));
    Ok->setDefault(true);
    Ok->setAutoDefault(true);
    Cancel->setAutoDefault(false);
    QObject::connect(Ok, &QPushButton::clicked, Dialog, &QDialog::accept);
    QObject::connect(Cancel, &QPushButton::clicked, Dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(Ok);
    row->addStretch(1);
    row->addWidget(Cancel);
    return row;
}
