// TEMP stub of the small dialogs.
#include "DeviceTagDialog.h"
#include "FloatEdit.h"
#include "FloatEditDialog.h"
#include "ListBoxDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <stdexcept>

TDeviceTagDlg::TDeviceTagDlg(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle(QStringLiteral("Device Tag"));
    auto* l = new QVBoxLayout(this);
    ed = new QLineEdit(this);
    btnApply = new QPushButton(QStringLiteral("&Apply"), this);
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    l->addWidget(ed);
    l->addWidget(btnApply);
    l->addWidget(btnClose);
    connect(btnApply, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ed, &QLineEdit::textEdited, this, [this] { btnApply->setEnabled(true); });
}
void TDeviceTagDlg::SetTag(const QString& Tag) {
    ed->setText(Tag);
}
bool TDeviceTagDlg::Execute() {
    btnApply->setEnabled(false);
    return exec() == QDialog::Accepted;
}
QString TDeviceTagDlg::GetTag() const {
    return ed->text();
}

TListBoxDlg::TListBoxDlg(QWidget* Parent) : QDialog(Parent) {
    auto* l = new QVBoxLayout(this);
    btnRefresh = new QPushButton(QStringLiteral("&refresh"), this);
    btnClose = new QPushButton(QStringLiteral("&close"), this);
    btnRefresh->hide();
    l->addWidget(btnRefresh);
    l->addWidget(btnClose);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnRefresh, &QPushButton::clicked, this, [this] {
        if (FRefresh)
            FRefresh(this);
    });
}
void TListBoxDlg::AddRow(const QString& D, const QString& V) {
    setProperty("rows", property("rows").toStringList() << D + QLatin1Char(';') + V);
}
void TListBoxDlg::Clear() {
    setProperty("rows", QStringList());
}
void TListBoxDlg::SetRefreshHandler(TListBoxRefreshEvent H) {
    FRefresh = std::move(H);
    btnRefresh->setVisible(bool(FRefresh));
}
void TListBoxDlg::ShowList() {
    exec();
    FRefresh = nullptr;
    btnRefresh->hide();
}

TFloatEditDlg::TFloatEditDlg(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle(QStringLiteral("Change Value"));
    auto* l = new QVBoxLayout(this);
    pnDescription = new QLabel(QStringLiteral("Please enter a new value"), this);
    tb = new QSlider(Qt::Horizontal, this);
    tb->setRange(0, 200);
    ed = new TFloatEdit(this);
    lbUnit = new QLabel(this);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    for (QWidget* w : {static_cast<QWidget*>(pnDescription), static_cast<QWidget*>(tb),
                       static_cast<QWidget*>(ed), static_cast<QWidget*>(lbUnit),
                       static_cast<QWidget*>(btnOk), static_cast<QWidget*>(btnCancel)})
        l->addWidget(w);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}
void TFloatEditDlg::SetUnit(const QString& U) {
    lbUnit->setText(U);
}
void TFloatEditDlg::SetMinValue(double V) {
    ed->SetMinValue(V);
}
void TFloatEditDlg::SetMaxValue(double V) {
    ed->SetMaxValue(V);
}
void TFloatEditDlg::SetValue(double V) {
    ed->SetValue(V);
}
bool TFloatEditDlg::Execute() {
    return exec() == QDialog::Accepted;
}
double TFloatEditDlg::Value() {
    if (!ed->Valid())
        throw std::runtime_error("Edit field does not contain a valid number");
    return ed->Value();
}
