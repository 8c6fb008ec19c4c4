#pragma once
// "Device Tag": edits the device tag text. One instance lives for the whole program.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TDeviceTagDlg : public QDialog {
    Q_OBJECT
public:
    explicit TDeviceTagDlg(QWidget* Parent = nullptr);

    void SetTag(const QString& Tag);
    // Says in the dialog that the tag could not be read (Reason); empty: it was read.
    void SetReadError(const QString& Reason);
    // Modal; true when left with "&Apply", which is enabled only once the text was edited.
    bool Execute();
    QString GetTag() const;

private:
    QLineEdit* ed = nullptr;
    QLabel* lbMessage = nullptr; // a failed read, or characters the device cannot store
    QPushButton* btnApply = nullptr;
    QPushButton* btnClose = nullptr;

    void TextEdited();
    void ShowMessageText(const QString& Text);

    QString FReadError;
};
