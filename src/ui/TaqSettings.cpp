// The sensor's settings in the sensor window: matrix, gain, threshold, tare and information.
#include "ui/TaqSettings.h"

#include "platform/ErrorGuard.h"
#include "ui/ListBoxDialog.h"
#include "platform/MessageSeam.h"
#include "taq/TAQ.h"
#include "ui/TaqControls.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

using namespace TaqControls;

TTaqSettings::TTaqSettings(TTAQ& Taq, QWidget* Window, QWidget* Parent) : FTaq(Taq), FWindow(Window) {
    gbSensor = Group(QStringLiteral("gbSensor"), QStringLiteral("Sensor"), Parent);
    auto* g = new QGridLayout(gbSensor);
    lbMatrix = Value(QStringLiteral("lbMatrix"), QStringLiteral("Matrix description"), gbSensor,
                     TValueKind::Selectable);
    g->addWidget(lbMatrix, 0, 0, 1, 4);
    BuildGainRow(g);
    BuildThresholdRow(g);
    btnTare = Button(QStringLiteral("btnTare"), QStringLiteral("T&are"),
                     QStringLiteral("Take the present load as zero: unload the sensor first"), gbSensor);
    g->addWidget(btnTare, 3, 0, 1, 2, Qt::AlignLeft);
    g->setColumnStretch(1, 1);

    connect(btnGainRead, &QPushButton::clicked, this, Guarded(this, &TTaqSettings::btnGainReadClick));
    connect(btnGainSet, &QPushButton::clicked, this, Guarded(this, &TTaqSettings::btnGainSetClick));
    connect(btnThresholdRead, &QPushButton::clicked, this,
            Guarded(this, &TTaqSettings::btnThresholdReadClick));
    connect(btnThresholdSet, &QPushButton::clicked, this, Guarded(this, &TTaqSettings::btnThresholdSetClick));
    connect(btnTare, &QPushButton::clicked, this, Guarded(this, &TTaqSettings::btnTareClick));
    ShowValues();
}

void TTaqSettings::BuildGainRow(QGridLayout* Grid) {
    edGain = new QDoubleSpinBox(gbSensor);
    edGain->setObjectName(QStringLiteral("edGain"));
    edGain->setRange(0, 100);
    edGain->setDecimals(1);
    edGain->setSingleStep(100.0 / 255);
    edGain->setSuffix(QStringLiteral(" %"));
    edGain->setAccessibleName(QStringLiteral("Gain in percent"));
    SetHint(edGain, QStringLiteral("Gain in percent of the largest; the sensor takes it in 255 steps"));
    btnGainRead = Button(QStringLiteral("btnGainRead"), QStringLiteral("Read"),
                         QStringLiteral("Read the gain"), gbSensor);
    btnGainRead->setAccessibleName(QStringLiteral("Read gain"));
    btnGainSet =
        Button(QStringLiteral("btnGainSet"), QStringLiteral("Set"), QStringLiteral("Set the gain"), gbSensor);
    btnGainSet->setAccessibleName(QStringLiteral("Set gain"));
    auto* gainLabel = new QLabel(QStringLiteral("&Gain:"), gbSensor);
    gainLabel->setBuddy(edGain);
    Grid->addWidget(gainLabel, 1, 0);
    Grid->addWidget(edGain, 1, 1);
    Grid->addWidget(btnGainRead, 1, 2);
    Grid->addWidget(btnGainSet, 1, 3);
}

void TTaqSettings::BuildThresholdRow(QGridLayout* Grid) {
    edThreshold = new QSpinBox(gbSensor);
    edThreshold->setObjectName(QStringLiteral("edThreshold"));
    edThreshold->setRange(0, 65535);
    edThreshold->setAccessibleName(QStringLiteral("Threshold"));
    SetHint(edThreshold, QStringLiteral("Cells below the threshold read 0 (0 to 65535)"));
    btnThresholdRead = Button(QStringLiteral("btnThresholdRead"), QStringLiteral("Read"),
                              QStringLiteral("Read the threshold"), gbSensor);
    btnThresholdRead->setAccessibleName(QStringLiteral("Read threshold"));
    btnThresholdSet = Button(QStringLiteral("btnThresholdSet"), QStringLiteral("Set"),
                             QStringLiteral("Set the threshold"), gbSensor);
    btnThresholdSet->setAccessibleName(QStringLiteral("Set threshold"));
    auto* thresholdLabel = new QLabel(QStringLiteral("T&hreshold:"), gbSensor);
    thresholdLabel->setBuddy(edThreshold);
    Grid->addWidget(thresholdLabel, 2, 0);
    Grid->addWidget(edThreshold, 2, 1);
    Grid->addWidget(btnThresholdRead, 2, 2);
    Grid->addWidget(btnThresholdSet, 2, 3);
}

QList<QWidget*> TTaqSettings::TabOrder() const {
    return {edGain, btnGainRead, btnGainSet, edThreshold, btnThresholdRead, btnThresholdSet, btnTare};
}

void TTaqSettings::AddMenuItems(QMenu* Menu) {
    FActions = {
        MenuItem(Menu, QStringLiteral("miTare"), QStringLiteral("T&are"), btnTare->statusTip(), this,
                 [this] { btnTareClick(); }),
        MenuItem(Menu, QStringLiteral("miSensorInfo"), QStringLiteral("Sensor &Information"),
                 QStringLiteral("The matrix, cell size, transducer type, gain and threshold read at connect"),
                 this, [this] { miSensorInfoClick(); }),
    };
}

void TTaqSettings::EnableControls(bool Connected) {
    for (QAction* a : FActions)
        a->setEnabled(Connected);
}

void TTaqSettings::ShowValues() {
    if (FTaq.CellCount == 0) {
        lbMatrix->setText(QStringLiteral("Connect to read the sensor's matrix"));
        return;
    }
    lbMatrix->setText(QStringLiteral("%1 x %2 cells of %3 x %4, %5")
                          .arg(FTaq.MatrixWidth)
                          .arg(FTaq.MatrixHeight)
                          .arg(Num(FTaq.CellWidth, 2), Num(FTaq.CellHeight, 2),
                               FTaq.TransducerType.isEmpty() ? QStringLiteral("transducer type not given")
                                                             : FTaq.TransducerType));
    edGain->setValue(FTaq.Gain);
    edThreshold->setValue(FTaq.Threshold);
}

void TTaqSettings::btnGainReadClick() {
    if (!FTaq.ReadGain())
        ShowMessage(TMessageKind::Error,
                    QStringLiteral("Error while reading the gain: %1").arg(CommandFailedText()), ErrorCaption,
                    FWindow);
    ShowValues();
}

void TTaqSettings::btnGainSetClick() {
    const auto step = uint8_t(std::clamp<long>(std::lround(edGain->value() / 100.0 * 255.0), 0, 255));
    if (Execute(FTaq, TTAQ::CMD_ID_GAIN_SET, {step}, QStringLiteral("setting the gain"), FWindow))
        btnGainReadClick();
}

void TTaqSettings::btnThresholdReadClick() {
    if (!FTaq.ReadThreshold())
        ShowMessage(TMessageKind::Error,
                    QStringLiteral("Error while reading the threshold: %1").arg(CommandFailedText()),
                    ErrorCaption, FWindow);
    ShowValues();
}

void TTaqSettings::btnThresholdSetClick() {
    const auto v = uint16_t(edThreshold->value());
    if (Execute(FTaq, TTAQ::CMD_ID_THRESHOLD_SET, {uint8_t(v & 0xFF), uint8_t(v >> 8)},
                QStringLiteral("setting the threshold"), FWindow))
        btnThresholdReadClick();
}

void TTaqSettings::btnTareClick() {
    Execute(FTaq, TTAQ::CMD_ID_TARE, {}, QStringLiteral("taring the sensor"), FWindow);
}

void TTaqSettings::miSensorInfoClick() {
    TListBoxDlg dialog(FWindow);
    const TTAQ& t = FTaq;
    dialog.AddRow(QStringLiteral("Matrix"),
                  QStringLiteral("%1 x %2 cells").arg(t.MatrixWidth).arg(t.MatrixHeight));
    dialog.AddRow(QStringLiteral("Cell size"),
                  Num(t.CellWidth, 2) + QStringLiteral(" x ") + Num(t.CellHeight, 2));
    dialog.AddRow(QStringLiteral("Sensor size"),
                  Num(t.SensorWidth, 2) + QStringLiteral(" x ") + Num(t.SensorHeight, 2));
    dialog.AddRow(QStringLiteral("Matrix information value"), QString::number(t.MatrixInfoValue));
    dialog.AddRow(QStringLiteral("Transducer type"), t.TransducerType);
    dialog.AddRow(QStringLiteral("Gain"), Num(t.Gain, 1) + QStringLiteral(" %"));
    dialog.AddRow(QStringLiteral("Threshold"), QString::number(t.Threshold));
    dialog.setWindowTitle(QStringLiteral("Sensor Information"));
    dialog.ShowList();
}
