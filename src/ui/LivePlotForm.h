#pragma once
// "Live Plot": finger position and grasping force over time on two vertical axes, with the grasping
// state as a coloured band along the time axis. Samples go into a bounded buffer as they arrive; the
// view is redrawn on a timer at screen rate from points reduced to what the pixels can show.
#include "ui/LivePlotView.h"
#include "ui/PlotBuffer.h"

#include <QPointF>
#include <QRect>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QToolButton;

// The window: the bar with the window length, pause and the exports above the view (TLivePlotView).
class TLivePlot : public QWidget {
    Q_OBJECT
public:
    // A tool window of Parent (stays on top of it); closing it only hides it. Clock is for tests.
    explicit TLivePlot(QWidget* Parent = nullptr, TPlotClock Clock = {});
    ~TLivePlot() override;

    // Feed from the gripper's change notifications; each sample is stamped at arrival.
    void AddPosition(double Mm);
    void AddForce(double N);
    void AddGraspingState(int State);

    // Visible time span in seconds: 10, 30, 60 or 300.
    static const int WindowLengths[4];
    void SetWindowLength(int Seconds);
    int WindowLength() const { return FView->Window(); }
    void SetPaused(bool Paused);
    bool Paused() const { return FView->Paused(); }
    // The time range on the axis (seconds since the first sample).
    double ViewStart() const { return FView->Start(); }
    double ViewEnd() const { return FView->End(); }
    // While paused: Factor below 1 zooms in around the time At; Seconds moves the view.
    void Zoom(double Factor, double At);
    void Pan(double Seconds);

    // False after the error was shown through the message seam.
    bool ExportCsvTo(const QString& Path);
    bool ExportPngTo(const QString& Path);

    // The rectangle of the curves in the plot's own coordinates, and the read-out for a point of
    // it (empty outside).
    QRect PlotArea() const;
    QString CursorText(QPointF PlotPos) const;

    const TPlotBuffer& Buffer() const { return FBuffer; }
    // Runs one frame now instead of waiting for the timer.
    void RedrawNow();

    // Work per frame for the benchmark: series update, and the paint that followed it.
    using TFrameStats = TLivePlotView::TFrameStats;
    const TFrameStats& FrameStats() const { return FView->FrameStats(); }
    void ResetFrameStats() { FView->ResetFrameStats(); }

signals:
    void VisibleChanged(bool Visible);

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    QHBoxLayout* BuildBar();
    void cbWindowChange(int Index);
    void btnPauseClick();
    void btnExportCsvClick();
    void btnExportPngClick();

    TPlotBuffer FBuffer;
    QComboBox* cbWindow = nullptr;
    QToolButton* btnPause = nullptr;
    QToolButton* btnExportCsv = nullptr;
    QToolButton* btnExportPng = nullptr;
    TLivePlotView* FView = nullptr;
};
