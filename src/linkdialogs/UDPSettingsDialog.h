#pragma once
// Address and port dialog of the UDP transport.
#include <QDialog>

class QLineEdit;
class QPushButton;
class TIntegerEdit;

class TUDPSettingsDlg : public QDialog {
    Q_OBJECT
public:
    explicit TUDPSettingsDlg(QWidget* Parent = nullptr);

    QString Address() const;
    void SetAddress(const QString& Address);
    // Invalid fields raise "Listening Port value is invalid" / "Transmit Port value is invalid".
    int ListeningPort() const;
    void SetListeningPort(int Port);
    int TransmitPort() const;
    void SetTransmitPort(int Port);
    bool Show();

private:
    void edListeningPortChange();

    QLineEdit* edHostname = nullptr;
    TIntegerEdit* edTransmitPort = nullptr;
    TIntegerEdit* edListeningPort = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};
