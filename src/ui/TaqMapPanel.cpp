// The map side of the sensor window: the pressure map, its legend, figures, options and strip.
#include "ui/TaqMapPanel.h"

#include "platform/ErrorGuard.h"
#include "taq/TAQ.h"
#include "ui/TaqControls.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

using namespace TaqControls;

namespace {
// The automatic scale's top never falls below this many counts: noise reads as noise.
constexpr int32_t AutoScaleFloor = 256;

QString CellName(QPoint Cell) {
    return QStringLiteral("column %1, row %2").arg(Cell.x() + 1).arg(Cell.y() + 1);
}
} // namespace

TTaqMapPanel::TTaqMapPanel(const TTAQ& Taq, QWidget* Parent) : QWidget(Parent), FTaq(Taq) {
    setObjectName(QStringLiteral("pnMap"));
    auto* v = new QVBoxLayout(this);
    lbSource = Value(QStringLiteral("lbSource"), QStringLiteral("Frame shown"), this);
    v->addWidget(lbSource);
    auto* row = new QHBoxLayout;
    FMap = new TPressureMap(this);
    FMap->setObjectName(QStringLiteral("Map"));
    FMap->OnCursorChanged = [this](std::optional<QPoint>) { ShowCursor(); };
    FLegend = new TScaleLegend(this);
    FLegend->setObjectName(QStringLiteral("Legend"));
    row->addWidget(FMap, 1);
    row->addWidget(FLegend);
    v->addLayout(row, 1);
    lbCell = Value(QStringLiteral("lbCell"), QStringLiteral("Inspected cell"), this);
    v->addWidget(lbCell);
    BuildFigures(v);
    BuildOptions(v);
    FTotalPlot = new TTotalPlot(this);
    FTotalPlot->setObjectName(QStringLiteral("TotalPlot"));
    v->addWidget(FTotalPlot);

    connect(cbShowValues, &QCheckBox::toggled, this,
            [this](bool On) { RunGuarded([&] { FMap->SetShowValues(On); }); });
    connect(edRangeMax, &QSpinBox::valueChanged, this, [this] {
        RunGuarded([this] {
            if (FMap->HasFrame())
                ShowFrame(FMap->Cells(), lbSource->text());
        });
    });
}

void TTaqMapPanel::BuildFigures(QBoxLayout* Column) {
    auto* figures = new QFormLayout;
    figures->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    figures->setRowWrapPolicy(QFormLayout::WrapLongRows);
    lbTotal = Value(QStringLiteral("lbTotal"), QStringLiteral("Total of the frame"), this);
    lbMaximum = Value(QStringLiteral("lbMaximum"), QStringLiteral("Maximum of the frame"), this);
    lbCentre = Value(QStringLiteral("lbCentre"), QStringLiteral("Centre of pressure"), this);
    figures->addRow(QStringLiteral("Total:"), lbTotal);
    figures->addRow(QStringLiteral("Maximum:"), lbMaximum);
    figures->addRow(QStringLiteral("Centre of pressure:"), lbCentre);
    Column->addLayout(figures);
}

void TTaqMapPanel::BuildOptions(QBoxLayout* Column) {
    auto* options = new QHBoxLayout;
    cbShowValues = new QCheckBox(QStringLiteral("Show &values"), this);
    cbShowValues->setObjectName(QStringLiteral("cbShowValues"));
    SetHint(cbShowValues, QStringLiteral("Write each cell's value into it where the cell is large enough"));
    edRangeMax = new QSpinBox(this);
    edRangeMax->setObjectName(QStringLiteral("edRangeMax"));
    edRangeMax->setRange(0, 65535);
    edRangeMax->setSpecialValueText(QStringLiteral("Auto"));
    edRangeMax->setAccessibleName(QStringLiteral("Top of the colour scale"));
    SetHint(edRangeMax,
            QStringLiteral("The value shown in the brightest colour; Auto follows each frame's maximum"));
    auto* rangeLabel = new QLabel(QStringLiteral("Scale &top:"), this);
    rangeLabel->setBuddy(edRangeMax);
    options->addWidget(cbShowValues);
    options->addStretch(1);
    options->addWidget(rangeLabel);
    options->addWidget(edRangeMax);
    Column->addLayout(options);
}

QList<QWidget*> TTaqMapPanel::TabOrder() const {
    return {FMap, cbShowValues, edRangeMax};
}

void TTaqMapPanel::ShowFrame(const std::vector<int32_t>& Cells, const QString& Source,
                             const TFrameStats* Stats) {
    const bool had = FMap->HasFrame();
    if (Cells.empty()) {
        FMap->Clear();
        lbSource->setText(QStringLiteral("No frame yet: read one or start the acquisition"));
        lbTotal->setText(QStringLiteral("--"));
        lbMaximum->setText(QStringLiteral("--"));
        lbCentre->setText(QStringLiteral("--"));
        FLegend->ClearRange();
    } else {
        const TFrameStats stats =
            Stats ? *Stats : FrameStats(Cells, FMap->MatrixWidth(), FMap->MatrixHeight());
        // An unloaded pad's noise stays at the dark end instead of filling the scale.
        const TColourRange range =
            RangeFor(stats, edRangeMax->value(), std::max<int32_t>(AutoScaleFloor, 4 * FTaq.Threshold));
        FMap->SetFrame(Cells, range);
        FLegend->SetRange(range);
        lbSource->setText(Source);
        lbTotal->setText(QString::number(stats.Total));
        if (stats.MaximumIndex >= 0 && FMap->MatrixWidth() > 0)
            lbMaximum->setText(QStringLiteral("%1 at %2")
                                   .arg(stats.Maximum)
                                   .arg(CellName(QPoint(stats.MaximumIndex % FMap->MatrixWidth(),
                                                        stats.MaximumIndex / FMap->MatrixWidth()))));
        lbCentre->setText(stats.Centre
                              ? QStringLiteral("column %1, row %2")
                                    .arg(Num(stats.Centre->x() + 0.5, 2), Num(stats.Centre->y() + 0.5, 2))
                              : QStringLiteral("-- (no load)"));
    }
    ShowCursor();
    if (had != FMap->HasFrame() && OnFrameShownChanged)
        OnFrameShownChanged();
}

void TTaqMapPanel::ShowCursor() {
    const auto c = FMap->Cursor();
    if (!c)
        lbCell->setText(
            QStringLiteral("Point at a cell, or focus the map and use the arrow keys, to read its value"));
    else if (!FMap->HasFrame())
        lbCell->setText(CellName(*c) + QStringLiteral(": no frame"));
    else
        lbCell->setText(CellName(*c) + QStringLiteral(": ") + QString::number(FMap->Value(*c)));
}

void TTaqMapPanel::SetMatrix(int Width, int Height, double CellWidth, double CellHeight) {
    FMap->SetMatrix(Width, Height, CellWidth, CellHeight);
}

void TTaqMapPanel::AddTotal(double TimeS, double Total) {
    FTotalPlot->Add(TimeS, Total);
}

void TTaqMapPanel::RefreshPlot() {
    FTotalPlot->Refresh();
}

void TTaqMapPanel::UpdatePlot() {
    FTotalPlot->update();
}

void TTaqMapPanel::ClearPlot() {
    FTotalPlot->Clear();
}
