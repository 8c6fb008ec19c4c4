#pragma once
// "Change Value": a float edit coupled to a 0..200 track bar, with a unit label. Callers set unit,
// caption, minimum, maximum and value, in that order, then call Execute.
#include <QDialog>

class QLabel;
class QPushButton;
class QSlider;
class TFloatEdit;

class TFloatEditDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFloatEditDlg(QWidget* Parent = nullptr);

    void SetUnit(const QString& Unit);
    void SetMinValue(double V);
    void SetMaxValue(double V);
    void SetValue(double V);
    // Modal; true when closed with OK.
    bool Execute();
    // Raises "Edit field does not contain a valid number" when the edit is invalid.
    double Value();

private:
    // The coupling: the operator moved the track bar, the edit holds a new valid value.
    void tbChange();
    void edNumericChange();

    QLabel* pnDescription = nullptr;
    QSlider* tb = nullptr;
    TFloatEdit* ed = nullptr;
    QLabel* lbUnit = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    // Set while one side of the coupling writes the other, so that it does not echo back.
    bool FSyncing = false;
};
