#pragma once
// Bit rate and target identifier of the CAN transport, asked for at every open.
#include <QDialog>

#include <cstdint>

class QComboBox;
class QLabel;
class QPushButton;
class TIntegerEdit;

class TCANParamsDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCANParamsDlg(QWidget* Parent = nullptr);

    // Code of the entry in the box; 0 when the text names no entry.
    int32_t GetBitrate() const;
    // Selects the entry of a code; any other code raises "<code> is not a supported bitrate".
    void SetBitrate(int32_t Code);
    // The identifier of the target system; -1 while the field is not a valid integer.
    int32_t GetId() const;
    void SetId(int32_t Id);
    // The net about to be opened as the port list names it ("Net 0 (can0)"); empty hides the line.
    void SetInterface(const QString& Text);
    // Runs the dialog modally; true only for OK.
    bool Show();

private:
    // Position of the entry the box's text names (letter case and outer blanks aside), or -1.
    int EntryOfText() const;
    void edIDChange();

    QLabel* lbInfo = nullptr;
    QLabel* lbInterface = nullptr;
    QComboBox* cbBitrate = nullptr;
    TIntegerEdit* edID = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};
