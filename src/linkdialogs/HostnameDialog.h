#pragma once
// Host and port dialog of the TCP transport.
#include <QDialog>

class QLineEdit;
class QPushButton;
class TIntegerEdit;

class THostNameDlg : public QDialog {
    Q_OBJECT
public:
    explicit THostNameDlg(QWidget* Parent = nullptr);

    QString Host() const;
    void SetHost(const QString& Host);
    // An invalid port field raises "Port value is invalid".
    int Port() const;
    void SetPort(int Port);
    bool Show();

private:
    void edPortChange();

    QLineEdit* edHostname = nullptr;
    TIntegerEdit* edPort = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};
