#pragma once
// Speed dialog of the serial transport.
#include <QDialog>

class QComboBox;
class QPushButton;

class TBaudrateDlg : public QDialog {
    Q_OBJECT
public:
    explicit TBaudrateDlg(QWidget* Parent = nullptr);

    // Selects the list entry of a speed code; a code not offered clears the selection.
    void SelectCode(int Code);
    // The selected speed code; no selection raises "Baudrate index undefined".
    int Code() const;
    bool Show();

private:
    void cbBaudrateChange();

    QComboBox* cbBaudrate = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};
