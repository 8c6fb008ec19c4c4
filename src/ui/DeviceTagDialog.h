#pragma once
// "Device Tag": edits the device tag text. One instance lives for the whole program.
#include <QDialog>

class QLineEdit;
class QPushButton;

class TDeviceTagDlg : public QDialog {
    Q_OBJECT
public:
    explicit TDeviceTagDlg(QWidget* Parent = nullptr);

    void SetTag(const QString& Tag);
    // Modal; true when left with "&Apply", which is enabled only once the text was edited.
    bool Execute();
    QString GetTag() const;

    QLineEdit* ed = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnClose = nullptr;
};
