#pragma once
// The sensor window's settings of the sensor: its matrix as read at connect, gain and threshold
// read and set, tare, and the sensor information dialog.
#include <QList>
#include <QObject>

class QAction;
class QDoubleSpinBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QSpinBox;
class QWidget;
class TTAQ;

class TTaqSettings : public QObject {
public:
    // Its box is built in Parent; boxes and the dialog open over Window.
    TTaqSettings(TTAQ& Taq, QWidget* Window, QWidget* Parent);

    QGroupBox* Box() const { return gbSensor; }
    QList<QWidget*> TabOrder() const;
    void AddMenuItems(QMenu* Menu);
    // The box itself follows the window's controls; this sets the menu items.
    void EnableControls(bool Connected);
    // The matrix, gain and threshold the device holds.
    void ShowValues();

    // Handlers; public so that tests and automation can run them as a click would.
    void btnGainReadClick();
    void btnGainSetClick();
    void btnThresholdReadClick();
    void btnThresholdSetClick();
    void btnTareClick();
    void miSensorInfoClick();

private:
    void BuildGainRow(QGridLayout* Grid);
    void BuildThresholdRow(QGridLayout* Grid);

    TTAQ& FTaq;
    QWidget* FWindow = nullptr;
    QGroupBox* gbSensor = nullptr;
    QLabel* lbMatrix = nullptr;
    QDoubleSpinBox* edGain = nullptr;
    QPushButton* btnGainRead = nullptr;
    QPushButton* btnGainSet = nullptr;
    QSpinBox* edThreshold = nullptr;
    QPushButton* btnThresholdRead = nullptr;
    QPushButton* btnThresholdSet = nullptr;
    QPushButton* btnTare = nullptr;
    QList<QAction*> FActions; // those that need the link
};
