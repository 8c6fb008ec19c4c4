#pragma once
// The sensor window's map side: the frame shown as a pressure map with its scale legend, where it
// came from, the inspected cell, the frame's total, maximum and centre of pressure, the options of
// the map (values in the cells, top of the scale) and the strip of the total over time.
#include "ui/PressureMap.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QBoxLayout;
class QCheckBox;
class QLabel;
class QSpinBox;
class TTAQ;

class TTaqMapPanel : public QWidget {
public:
    // Taq's threshold keeps the automatic scale's top above the noise. Shows nothing until the first
    // ShowFrame or ShowNoFrame.
    explicit TTaqMapPanel(const TTAQ& Taq, QWidget* Parent = nullptr);

    TPressureMap* Map() const { return FMap; }
    const TTotalPlot& TotalPlot() const { return *FTotalPlot; }
    // The panel's controls in the order Tab reaches them.
    QList<QWidget*> TabOrder() const;

    // Shows Cells (the map's matrix) with figures; Stats when the caller has them already.
    void ShowFrame(const std::vector<int32_t>& Cells, const QString& Source,
                   const TFrameStats* Stats = nullptr);
    void ShowNoFrame() { ShowFrame({}, QString()); }
    void SetMatrix(int Width, int Height, double CellWidth, double CellHeight);

    void AddTotal(double TimeS, double Total);
    // Repaints the strip when points arrived since its last paint.
    void RefreshPlot();
    // Repaints the strip.
    void UpdatePlot();
    void ClearPlot();

    // The map went from a frame to none or back.
    std::function<void()> OnFrameShownChanged;

private:
    void BuildFigures(QBoxLayout* Column);
    void BuildOptions(QBoxLayout* Column);
    void ShowCursor();

    const TTAQ& FTaq;
    TPressureMap* FMap = nullptr;
    TScaleLegend* FLegend = nullptr;
    TTotalPlot* FTotalPlot = nullptr;
    QLabel* lbSource = nullptr;
    QLabel* lbCell = nullptr;
    QLabel* lbTotal = nullptr;
    QLabel* lbMaximum = nullptr;
    QLabel* lbCentre = nullptr;
    QCheckBox* cbShowValues = nullptr;
    QSpinBox* edRangeMax = nullptr;
};
