// The live plot window: its bar (window length, pause, exports) over the view, and the exports.
#include "ui/LivePlotForm.h"

#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"
#include "ui/PlotCanvas.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
void SetHint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}
} // namespace

const int TLivePlot::WindowLengths[4] = {10, 30, 60, 300};

TLivePlot::TLivePlot(QWidget* Parent, TPlotClock Clock)
    // A window of its own, not Qt::Tool: a tool window would let the main window's shortcuts fire
    // here (Escape would stop the fingers, F3 would disconnect).
    : QWidget(Parent, Qt::Window), FBuffer(std::move(Clock)) {
    setObjectName(QStringLiteral("LivePlot"));
    setWindowTitle(QStringLiteral("Live Plot"));
    resize(760, 460);
    setMinimumSize(420, 280);

    QHBoxLayout* Top = BuildBar();
    FView = new TLivePlotView(this, FBuffer);
    auto* Main = new QVBoxLayout(this);
    Main->setContentsMargins(4, 4, 4, 4);
    Main->addLayout(Top);
    Main->addWidget(FView->Canvas(), 1);
    Main->addWidget(FView->CursorLabel());

    setTabOrder(cbWindow, btnPause);
    setTabOrder(btnPause, btnExportCsv);
    setTabOrder(btnExportCsv, btnExportPng);
    setTabOrder(btnExportPng, FView->Canvas());

    connect(cbWindow, &QComboBox::currentIndexChanged, this,
            [this](int Index) { RunGuarded([&] { cbWindowChange(Index); }); });
    connect(btnPause, &QToolButton::clicked, this, [this] { RunGuarded([&] { btnPauseClick(); }); });
    connect(btnExportCsv, &QToolButton::clicked, this, [this] { RunGuarded([&] { btnExportCsvClick(); }); });
    connect(btnExportPng, &QToolButton::clicked, this, [this] { RunGuarded([&] { btnExportPngClick(); }); });
    connect(FView, &TLivePlotView::PausedChanged, this, [this](bool Paused) {
        if (btnPause->isChecked() != Paused)
            btnPause->setChecked(Paused);
        btnPause->setText(Paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    });
}

TLivePlot::~TLivePlot() = default;

// The window length, pause and the exports, in a row above the plot.
QHBoxLayout* TLivePlot::BuildBar() {
    cbWindow = new QComboBox(this);
    cbWindow->setObjectName(QStringLiteral("cbWindow"));
    cbWindow->addItems(
        {QStringLiteral("10 s"), QStringLiteral("30 s"), QStringLiteral("60 s"), QStringLiteral("5 min")});
    cbWindow->setCurrentIndex(1);
    SetHint(cbWindow, QStringLiteral("Length of the time window shown"));
    auto* lbWindow = new QLabel(QStringLiteral("&Window:"), this);
    lbWindow->setObjectName(QStringLiteral("lbWindow"));
    lbWindow->setBuddy(cbWindow);

    auto MakeButton = [this](const char* Name, const QString& Text, const QString& Hint) {
        auto* B = new QToolButton(this);
        B->setObjectName(QLatin1String(Name));
        B->setText(Text);
        B->setToolButtonStyle(Qt::ToolButtonTextOnly);
        B->setFocusPolicy(Qt::StrongFocus);
        SetHint(B, Hint);
        return B;
    };
    btnPause = MakeButton("btnPause", QStringLiteral("&Pause"),
                          QStringLiteral("Freeze the view to zoom and pan (Space); data keeps arriving"));
    btnPause->setCheckable(true);
    btnExportCsv = MakeButton("btnExportCsv", QStringLiteral("Export &CSV..."),
                              QStringLiteral("Save all buffered samples as a CSV file"));
    btnExportPng = MakeButton("btnExportPng", QStringLiteral("Export P&NG..."),
                              QStringLiteral("Save the plot as shown as a PNG image"));

    auto* Top = new QHBoxLayout;
    Top->addWidget(lbWindow);
    Top->addWidget(cbWindow);
    Top->addWidget(btnPause);
    Top->addWidget(btnExportCsv);
    Top->addWidget(btnExportPng);
    Top->addStretch(1);
    return Top;
}

void TLivePlot::AddPosition(double Mm) {
    FBuffer.AddPosition(Mm);
}
void TLivePlot::AddForce(double N) {
    FBuffer.AddForce(N);
}
void TLivePlot::AddGraspingState(int State) {
    FBuffer.AddGraspingState(State);
}

void TLivePlot::SetWindowLength(int Seconds) {
    auto It = std::find(std::begin(WindowLengths), std::end(WindowLengths), Seconds);
    if (It == std::end(WindowLengths))
        return;
    int Index = int(It - std::begin(WindowLengths));
    if (cbWindow->currentIndex() != Index)
        cbWindow->setCurrentIndex(Index); // comes back through cbWindowChange
    else
        cbWindowChange(Index);
}

void TLivePlot::cbWindowChange(int Index) {
    if (Index < 0 || Index >= int(std::size(WindowLengths)))
        return;
    FView->SetWindow(WindowLengths[Index]);
}

void TLivePlot::SetPaused(bool Paused) {
    if (btnPause->isChecked() != Paused)
        btnPause->setChecked(Paused);
    FView->SetPaused(Paused);
}

void TLivePlot::btnPauseClick() {
    SetPaused(btnPause->isChecked());
}

void TLivePlot::Zoom(double Factor, double At) {
    FView->Zoom(Factor, At);
}

void TLivePlot::Pan(double Seconds) {
    FView->Pan(Seconds);
}

void TLivePlot::keyPressEvent(QKeyEvent* Event) {
    bool Handled = false;
    RunGuarded([&] { Handled = FView->Key(Event->key()); });
    if (!Handled)
        QWidget::keyPressEvent(Event);
}

void TLivePlot::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    RunGuarded([&] {
        double Rate = screen() ? screen()->refreshRate() : 60.0;
        FView->Run(std::max(1, int(std::lround(1000.0 / std::clamp(Rate, 10.0, 240.0)))));
        emit VisibleChanged(true);
    });
}

void TLivePlot::hideEvent(QHideEvent* Event) {
    QWidget::hideEvent(Event);
    RunGuarded([&] {
        FView->Stop();
        emit VisibleChanged(false);
    });
}

void TLivePlot::RedrawNow() {
    FView->RedrawNow();
}

QRect TLivePlot::PlotArea() const {
    return FView->PlotArea();
}

QString TLivePlot::CursorText(QPointF PlotPos) const {
    return FView->CursorText(PlotPos);
}

bool TLivePlot::ExportCsvTo(const QString& Path) {
    std::string Error;
    if (ExportCsv(FBuffer, Path.toStdString(), &Error))
        return true;
    ShowMessage(TMessageKind::Error,
                QStringLiteral("Cannot write %1: %2").arg(Path, QString::fromStdString(Error)),
                QStringLiteral("Export CSV"), this);
    return false;
}

bool TLivePlot::ExportPngTo(const QString& Path) {
    if (FView->Canvas()->grab().save(Path, "PNG"))
        return true;
    ShowMessage(TMessageKind::Error, QStringLiteral("Cannot write %1.").arg(Path),
                QStringLiteral("Export PNG"), this);
    return false;
}

void TLivePlot::btnExportCsvClick() {
    QString Path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QString(),
                                                QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!Path.isEmpty())
        ExportCsvTo(Path);
}

void TLivePlot::btnExportPngClick() {
    QString Path = QFileDialog::getSaveFileName(this, QStringLiteral("Export PNG"), QString(),
                                                QStringLiteral("PNG images (*.png);;All files (*)"));
    if (!Path.isEmpty())
        ExportPngTo(Path);
}
