#include "ui/TAQMainWin.h"

#include "platform/IniFile.h"
#include "ui/ListBoxDialog.h"
#include "platform/MessageSeam.h"
#include "platform/OnScreen.h"
#include "cmdtext/PayloadParser.h"
#include "ui/StopKey.h"
#include "ZelVersion.h"
#include "protocol/stat.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

const QString TTAQMainWin::Caption = QStringLiteral("TAQ Duruzadud");
const QString TTAQMainWin::Version = QStringLiteral(ZEL_VERSION);

namespace {
const QString ErrorCaption = QStringLiteral("Error");
const QString SettingsFile = QStringLiteral("settings.ini");
const QString SettingsSection = QStringLiteral("TAQ");
const QString PayloadKey = QStringLiteral("StartPayload");
constexpr int DisplayHoldMs = 20; // at most 50 displays a second, whatever the frame rate
constexpr int RateWindowMs = 500;
// The automatic scale's top never falls below this many counts: noise reads as noise.
constexpr int32_t AutoScaleFloor = 256;

// The controls' column: its width hint holds the controls beside a vertical scroll bar, so that at
// the window's first size only the height scrolls.
class TControlsScroller : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override {
        QSize s = QScrollArea::sizeHint();
        if (widget())
            s.setWidth(widget()->sizeHint().width() + verticalScrollBar()->sizeHint().width() +
                       2 * frameWidth());
        return s;
    }
};

// "1 frame", "2 frames".
QString FrameCount(qint64 Count) {
    return Count == 1 ? QStringLiteral("1 frame") : QStringLiteral("%1 frames").arg(Count);
}

QString Num(double Value, int Decimals) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(Value, 'f', Decimals);
}

void SetHint(QWidget* W, const QString& Hint) {
    W->setToolTip(Hint);
    W->setStatusTip(Hint);
}

QPushButton* Button(const QString& Name, const QString& Text, const QString& Hint, QWidget* Parent) {
    auto* b = new QPushButton(Text, Parent);
    b->setObjectName(Name);
    SetHint(b, Hint);
    return b;
}

// Live values change with every frame shown: plain text without wrapping or selection, which would
// lay the text out as a document each time. The others can be selected and copied.
enum class TValueKind { Live, Selectable };

QLabel* Value(const QString& Name, const QString& Meaning, QWidget* Parent,
              TValueKind Kind = TValueKind::Live) {
    auto* l = new QLabel(Parent);
    l->setObjectName(Name);
    l->setAccessibleName(Meaning);
    l->setTextFormat(Qt::PlainText);
    if (Kind == TValueKind::Selectable) {
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    return l;
}

QGroupBox* Group(const QString& Name, const QString& Title, QWidget* Parent) {
    auto* g = new QGroupBox(Title, Parent);
    g->setObjectName(Name);
    return g;
}

QString CellName(QPoint Cell) {
    return QStringLiteral("column %1, row %2").arg(Cell.x() + 1).arg(Cell.y() + 1);
}

QString StatusText(TStat Status) {
    return QString::fromStdString(StatToStr(Status));
}
} // namespace

TTAQMainWin::TTAQMainWin(QWidget* Parent) : TMainWinBase(Parent) {
    FormCreate();
    PlacementKey = QStringLiteral("TAQMainWin");
    FinishCreate();
    setWindowTitle(Caption + QLatin1Char(' ') + Version);
}

TTAQMainWin::~TTAQMainWin() {
    FTaq->OnFrame.Remove(this);
    FRecording.Close();
}

void TTAQMainWin::FormCreate() {
    FTaq = CreateDevice<TTAQ>();
    FTaq->OnFrame.Add(this, [this](TKORADevice*) { FrameArrived(); });
    AskFileName = [this](const QString& Title, const QString& Filter, bool Save) {
        return Save ? QFileDialog::getSaveFileName(this, Title, QString(), Filter)
                    : QFileDialog::getOpenFileName(this, Title, QString(), Filter);
    };

    FDisplayHold = new QTimer(this);
    FDisplayHold->setSingleShot(true);
    FDisplayHold->setInterval(DisplayHoldMs);
    connect(FDisplayHold, &QTimer::timeout, this, [this] {
        RunGuarded([this] {
            if (!FDisplayPending)
                return;
            FlushDisplay();
            FDisplayHold->start(); // frames keep coming: the next display waits its turn
        });
    });
    FRateTimer = new QTimer(this);
    FRateTimer->setInterval(RateWindowMs);
    connect(FRateTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { UpdateFrameRate(); }); });
    FPlayTimer = new QTimer(this);
    FPlayTimer->setSingleShot(true);
    connect(FPlayTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { PlaybackTick(); }); });

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    sbControls = new TControlsScroller(Splitter1);
    sbControls->setObjectName(QStringLiteral("sbControls"));
    sbControls->setWidgetResizable(true);
    sbControls->setFrameShape(QFrame::NoFrame);
    auto* controls = new QWidget;
    auto* column = new QVBoxLayout(controls);
    BuildAcquisition(controls);
    BuildSensorBox(controls);
    BuildFramesBox(controls);
    BuildPlaybackBox(controls);
    for (QGroupBox* g : {gbAcquisition, gbSensor, gbFrames, gbPlayback})
        column->addWidget(g);
    column->addStretch(1);
    sbControls->setWidget(controls);

    sbMap = new QScrollArea(Splitter1);
    sbMap->setObjectName(QStringLiteral("sbMap"));
    sbMap->setWidgetResizable(true);
    sbMap->setFrameShape(QFrame::NoFrame);
    sbMap->setWidget(BuildMapSide());
    Splitter1->addWidget(sbControls);
    Splitter1->addWidget(sbMap);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    setCentralWidget(Splitter1);
    BuildMenu();

    const QList<QWidget*> order{btnReadFrame,     cbCoding,    edStartPayload, btnStart,     btnStop,
                                edGain,           btnGainRead, btnGainSet,     edThreshold,  btnThresholdRead,
                                btnThresholdSet,  btnTare,     btnSaveCsv,     btnSavePng,   cbRecord,
                                btnOpenRecording, btnLive,     tbPlayback,     btnPrevFrame, btnPlay,
                                btnNextFrame,     Map,         cbShowValues,   edRangeMax};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    ShowAcquisitionState();
    ShowSensorValues();
    ShowRecordingState();
    ShowPlaybackState();
    ShowFrame({}, QString());
}

void TTAQMainWin::BuildAcquisition(QWidget* Parent) {
    gbAcquisition = Group(QStringLiteral("gbAcquisition"), QStringLiteral("Acquisition"), Parent);
    auto* g = new QGridLayout(gbAcquisition);
    const auto guarded = [this](void (TTAQMainWin::*Handler)()) {
        return [this, Handler] { RunGuarded([&] { (this->*Handler)(); }); };
    };

    btnReadFrame = Button(QStringLiteral("btnReadFrame"), QStringLiteral("Read &Frame"),
                          QStringLiteral("Read one frame from the sensor"), gbAcquisition);
    cbCoding = new QComboBox(gbAcquisition);
    cbCoding->setObjectName(QStringLiteral("cbCoding"));
    cbCoding->addItems(
        {QStringLiteral("Sensor's choice"), QStringLiteral("Plain"), QStringLiteral("Run-length coded")});
    cbCoding->setAccessibleName(QStringLiteral("Coding of the frame read"));
    SetHint(cbCoding,
            QStringLiteral("Coding asked for with a single frame: the sensor's choice sends no parameter"));
    auto* codingLabel = new QLabel(QStringLiteral("Co&ding:"), gbAcquisition);
    codingLabel->setBuddy(cbCoding);
    g->addWidget(btnReadFrame, 0, 0);
    g->addWidget(codingLabel, 0, 1, Qt::AlignRight);
    g->addWidget(cbCoding, 0, 2);

    edStartPayload = new QLineEdit(gbAcquisition);
    edStartPayload->setObjectName(QStringLiteral("edStartPayload"));
    edStartPayload->setPlaceholderText(QStringLiteral("none"));
    edStartPayload->setAccessibleName(QStringLiteral("Start parameters"));
    SetHint(
        edStartPayload,
        QStringLiteral("Bytes sent with the start command, written as in the command editor (0x02 or $02, "
                       "separated by spaces). Empty sends the command without parameters, which is what "
                       "the sensor expects unless its documentation names some; zel-sim takes the coding "
                       "(0x02: run-length) and the period in ms as two bytes, e.g. 0x02 0x0A 0x00."));
    edStartPayload->setText(
        TIniFile(TIniFile::PathFor(SettingsFile)).ReadString(SettingsSection, PayloadKey, QString()));
    auto* payloadLabel = new QLabel(QStringLiteral("Start &parameters:"), gbAcquisition);
    payloadLabel->setBuddy(edStartPayload);
    g->addWidget(payloadLabel, 1, 0);
    g->addWidget(edStartPayload, 1, 1, 1, 2);

    btnStart = Button(QStringLiteral("btnStart"), QStringLiteral("&Start"),
                      QStringLiteral("Start periodic acquisition: the sensor sends frames on its own"),
                      gbAcquisition);
    btnStop = Button(QStringLiteral("btnStop"), QStringLiteral("S&top"),
                     QStringLiteral("Stop periodic acquisition (F8; %1 from every window of the program)")
                         .arg(TStopKey::KeyName()),
                     gbAcquisition);
    // Nothing the window opens may cover it, and the stop key reaches it from anywhere.
    MarkKeepClear(btnStop);
    new TStopKey(this, [this] { btnStop->click(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart);
    buttons->addWidget(btnStop);
    buttons->addStretch(1);
    g->addLayout(buttons, 2, 0, 1, 3);
    lbAcquisition =
        Value(QStringLiteral("lbAcquisition"), QStringLiteral("Acquisition state"), gbAcquisition);
    lbFrameRate =
        Value(QStringLiteral("lbFrameRate"), QStringLiteral("Frames received per second"), gbAcquisition);
    g->addWidget(lbAcquisition, 3, 0, 1, 3);
    g->addWidget(lbFrameRate, 4, 0, 1, 3);
    g->setColumnStretch(2, 1);

    connect(btnReadFrame, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnReadFrameClick));
    connect(btnStart, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnStartClick));
    connect(btnStop, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnStopClick));
}

void TTAQMainWin::BuildSensorBox(QWidget* Parent) {
    gbSensor = Group(QStringLiteral("gbSensor"), QStringLiteral("Sensor"), Parent);
    auto* g = new QGridLayout(gbSensor);
    const auto guarded = [this](void (TTAQMainWin::*Handler)()) {
        return [this, Handler] { RunGuarded([&] { (this->*Handler)(); }); };
    };
    lbMatrix = Value(QStringLiteral("lbMatrix"), QStringLiteral("Matrix description"), gbSensor,
                     TValueKind::Selectable);
    g->addWidget(lbMatrix, 0, 0, 1, 4);

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
    g->addWidget(gainLabel, 1, 0);
    g->addWidget(edGain, 1, 1);
    g->addWidget(btnGainRead, 1, 2);
    g->addWidget(btnGainSet, 1, 3);

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
    g->addWidget(thresholdLabel, 2, 0);
    g->addWidget(edThreshold, 2, 1);
    g->addWidget(btnThresholdRead, 2, 2);
    g->addWidget(btnThresholdSet, 2, 3);

    btnTare = Button(QStringLiteral("btnTare"), QStringLiteral("T&are"),
                     QStringLiteral("Take the present load as zero: unload the sensor first"), gbSensor);
    g->addWidget(btnTare, 3, 0, 1, 2, Qt::AlignLeft);
    g->setColumnStretch(1, 1);

    connect(btnGainRead, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnGainReadClick));
    connect(btnGainSet, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnGainSetClick));
    connect(btnThresholdRead, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnThresholdReadClick));
    connect(btnThresholdSet, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnThresholdSetClick));
    connect(btnTare, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnTareClick));
}

void TTAQMainWin::BuildFramesBox(QWidget* Parent) {
    gbFrames = Group(QStringLiteral("gbFrames"), QStringLiteral("Frames"), Parent);
    auto* g = new QGridLayout(gbFrames);
    const auto guarded = [this](void (TTAQMainWin::*Handler)()) {
        return [this, Handler] { RunGuarded([&] { (this->*Handler)(); }); };
    };
    btnSaveCsv =
        Button(QStringLiteral("btnSaveCsv"), QStringLiteral("Save as &CSV..."),
               QStringLiteral("Save the frame shown as CSV, one line per row of the matrix"), gbFrames);
    btnSavePng =
        Button(QStringLiteral("btnSavePng"), QStringLiteral("Save as P&NG..."),
               QStringLiteral("Save the frame shown as a picture in the sensor's proportions"), gbFrames);
    cbRecord = new QCheckBox(QStringLiteral("&Record frames..."), gbFrames);
    cbRecord->setObjectName(QStringLiteral("cbRecord"));
    SetHint(cbRecord,
            QStringLiteral("Write every frame received to a CSV file (time stamp, then the cells) until "
                           "this is switched off or the acquisition stops"));
    lbRecording = Value(QStringLiteral("lbRecording"), QStringLiteral("Recording state"), gbFrames);
    lbRecording->setWordWrap(true);
    g->addWidget(btnSaveCsv, 0, 0);
    g->addWidget(btnSavePng, 0, 1);
    g->addWidget(cbRecord, 1, 0, 1, 2);
    g->addWidget(lbRecording, 2, 0, 1, 2);
    connect(btnSaveCsv, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnSaveCsvClick));
    connect(btnSavePng, &QPushButton::clicked, this, guarded(&TTAQMainWin::btnSavePngClick));
    connect(cbRecord, &QCheckBox::clicked, this, guarded(&TTAQMainWin::cbRecordClick));
}

void TTAQMainWin::BuildPlaybackBox(QWidget* Parent) {
    gbPlayback = Group(QStringLiteral("gbPlayback"), QStringLiteral("Recording"), Parent);
    auto* g = new QGridLayout(gbPlayback);
    btnOpenRecording =
        Button(QStringLiteral("btnOpenRecording"), QStringLiteral("&Open..."),
               QStringLiteral("Open a recording and show its frames instead of the live ones"), gbPlayback);
    btnOpenRecording->setAccessibleName(QStringLiteral("Open recording"));
    btnLive = Button(QStringLiteral("btnLive"), QStringLiteral("&Live"),
                     QStringLiteral("Close the recording and show the live frames again"), gbPlayback);
    tbPlayback = new QSlider(Qt::Horizontal, gbPlayback);
    tbPlayback->setObjectName(QStringLiteral("tbPlayback"));
    tbPlayback->setAccessibleName(QStringLiteral("Recorded frame"));
    SetHint(tbPlayback, QStringLiteral("The frame of the recording shown"));
    btnPrevFrame = Button(QStringLiteral("btnPrevFrame"), QStringLiteral("<"),
                          QStringLiteral("Previous frame"), gbPlayback);
    btnPrevFrame->setAccessibleName(QStringLiteral("Previous frame"));
    btnPlay = Button(QStringLiteral("btnPlay"), QStringLiteral("Pla&y"),
                     QStringLiteral("Play the recording at the pace it was recorded"), gbPlayback);
    btnPlay->setCheckable(true);
    btnNextFrame =
        Button(QStringLiteral("btnNextFrame"), QStringLiteral(">"), QStringLiteral("Next frame"), gbPlayback);
    btnNextFrame->setAccessibleName(QStringLiteral("Next frame"));
    lbPlayback = Value(QStringLiteral("lbPlayback"), QStringLiteral("Recording shown"), gbPlayback);
    lbPlayback->setWordWrap(true);
    g->addWidget(btnOpenRecording, 0, 0);
    g->addWidget(btnLive, 0, 1);
    g->addWidget(tbPlayback, 1, 0, 1, 3);
    auto* steps = new QHBoxLayout;
    steps->addWidget(btnPrevFrame);
    steps->addWidget(btnPlay);
    steps->addWidget(btnNextFrame);
    steps->addStretch(1);
    g->addLayout(steps, 2, 0, 1, 3);
    g->addWidget(lbPlayback, 3, 0, 1, 3);
    g->setColumnStretch(2, 1);

    connect(btnOpenRecording, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { btnOpenRecordingClick(); }); });
    connect(btnLive, &QPushButton::clicked, this, [this] { RunGuarded([this] { CloseRecording(); }); });
    connect(tbPlayback, &QSlider::valueChanged, this, [this](int V) {
        RunGuarded([&] {
            if (FPlayer.IsOpen() && V != FPlayIndex)
                ShowRecordedFrame(V);
        });
    });
    connect(btnPrevFrame, &QPushButton::clicked, this, [this] {
        RunGuarded([this] {
            SetPlaying(false);
            ShowRecordedFrame(FPlayIndex - 1);
        });
    });
    connect(btnNextFrame, &QPushButton::clicked, this, [this] {
        RunGuarded([this] {
            SetPlaying(false);
            ShowRecordedFrame(FPlayIndex + 1);
        });
    });
    connect(btnPlay, &QPushButton::clicked, this, [this](bool On) { RunGuarded([&] { SetPlaying(On); }); });
}

QWidget* TTAQMainWin::BuildMapSide() {
    auto* side = new QWidget;
    side->setObjectName(QStringLiteral("pnMap"));
    auto* v = new QVBoxLayout(side);
    lbSource = Value(QStringLiteral("lbSource"), QStringLiteral("Frame shown"), side);
    v->addWidget(lbSource);
    auto* row = new QHBoxLayout;
    Map = new TPressureMap(side);
    Map->setObjectName(QStringLiteral("Map"));
    Map->OnCursorChanged = [this](std::optional<QPoint>) { ShowCursor(); };
    Legend = new TScaleLegend(side);
    Legend->setObjectName(QStringLiteral("Legend"));
    row->addWidget(Map, 1);
    row->addWidget(Legend);
    v->addLayout(row, 1);
    lbCell = Value(QStringLiteral("lbCell"), QStringLiteral("Inspected cell"), side);
    v->addWidget(lbCell);

    auto* figures = new QFormLayout;
    figures->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    figures->setRowWrapPolicy(QFormLayout::WrapLongRows);
    lbTotal = Value(QStringLiteral("lbTotal"), QStringLiteral("Total of the frame"), side);
    lbMaximum = Value(QStringLiteral("lbMaximum"), QStringLiteral("Maximum of the frame"), side);
    lbCentre = Value(QStringLiteral("lbCentre"), QStringLiteral("Centre of pressure"), side);
    figures->addRow(QStringLiteral("Total:"), lbTotal);
    figures->addRow(QStringLiteral("Maximum:"), lbMaximum);
    figures->addRow(QStringLiteral("Centre of pressure:"), lbCentre);
    v->addLayout(figures);

    auto* options = new QHBoxLayout;
    cbShowValues = new QCheckBox(QStringLiteral("Show &values"), side);
    cbShowValues->setObjectName(QStringLiteral("cbShowValues"));
    SetHint(cbShowValues, QStringLiteral("Write each cell's value into it where the cell is large enough"));
    edRangeMax = new QSpinBox(side);
    edRangeMax->setObjectName(QStringLiteral("edRangeMax"));
    edRangeMax->setRange(0, 65535);
    edRangeMax->setSpecialValueText(QStringLiteral("Auto"));
    edRangeMax->setAccessibleName(QStringLiteral("Top of the colour scale"));
    SetHint(edRangeMax,
            QStringLiteral("The value shown in the brightest colour; Auto follows each frame's maximum"));
    auto* rangeLabel = new QLabel(QStringLiteral("Scale &top:"), side);
    rangeLabel->setBuddy(edRangeMax);
    options->addWidget(cbShowValues);
    options->addStretch(1);
    options->addWidget(rangeLabel);
    options->addWidget(edRangeMax);
    v->addLayout(options);
    TotalPlot = new TTotalPlot(side);
    TotalPlot->setObjectName(QStringLiteral("TotalPlot"));
    v->addWidget(TotalPlot);

    connect(cbShowValues, &QCheckBox::toggled, this,
            [this](bool On) { RunGuarded([&] { Map->SetShowValues(On); }); });
    connect(edRangeMax, &QSpinBox::valueChanged, this, [this] {
        RunGuarded([this] {
            if (Map->HasFrame())
                ShowFrame(Map->Cells(), lbSource->text());
        });
    });
    return side;
}

void TTAQMainWin::BuildMenu() {
    miSensor = new QMenu(QStringLiteral("&Sensor"), this);
    miSensor->setObjectName(QStringLiteral("miSensor"));
    MainMenu1->insertMenu(miView->menuAction(), miSensor);
    const auto item = [this](const QString& Name, const QString& Text, const QString& Hint, auto Handler) {
        QAction* a = miSensor->addAction(Text);
        a->setObjectName(Name);
        a->setStatusTip(Hint);
        connect(a, &QAction::triggered, this, [this, Handler] { RunGuarded([&] { (this->*Handler)(); }); });
        return a;
    };
    miReadFrame = item(QStringLiteral("miReadFrame"), QStringLiteral("Read &Frame"),
                       btnReadFrame->statusTip(), &TTAQMainWin::btnReadFrameClick);
    miReadFrame->setShortcut(Qt::Key_F6);
    miStartAcquisition = item(QStringLiteral("miStartAcquisition"), QStringLiteral("&Start Acquisition"),
                              btnStart->statusTip(), &TTAQMainWin::btnStartClick);
    miStartAcquisition->setShortcut(Qt::Key_F7);
    miStopAcquisition = item(QStringLiteral("miStopAcquisition"), QStringLiteral("S&top Acquisition"),
                             btnStop->statusTip(), &TTAQMainWin::btnStopClick);
    miStopAcquisition->setShortcut(Qt::Key_F8);
    miTare = item(QStringLiteral("miTare"), QStringLiteral("T&are"), btnTare->statusTip(),
                  &TTAQMainWin::btnTareClick);
    miSensorInfo =
        item(QStringLiteral("miSensorInfo"), QStringLiteral("Sensor &Information"),
             QStringLiteral("The matrix, cell size, transducer type, gain and threshold read at connect"),
             &TTAQMainWin::miSensorInfoClick);
    miSensor->addSeparator();
    miSaveCsv = item(QStringLiteral("miSaveCsv"), QStringLiteral("Save Frame as &CSV..."),
                     btnSaveCsv->statusTip(), &TTAQMainWin::btnSaveCsvClick);
    miSavePng = item(QStringLiteral("miSavePng"), QStringLiteral("Save Frame as &PNG..."),
                     btnSavePng->statusTip(), &TTAQMainWin::btnSavePngClick);
    miOpenRecording = item(QStringLiteral("miOpenRecording"), QStringLiteral("&Open Recording..."),
                           btnOpenRecording->statusTip(), &TTAQMainWin::btnOpenRecordingClick);
    for (QAction* a : {miReadFrame, miStartAcquisition, miStopAcquisition})
        a->setShortcutContext(Qt::WindowShortcut);
}

// --- connection ---

void TTAQMainWin::OnDeviceConnect() {
    TMainWinBase::OnDeviceConnect();
    FConnected = true;
    CloseRecording();
    Map->SetMatrix(FTaq->MatrixWidth, FTaq->MatrixHeight, FTaq->CellWidth, FTaq->CellHeight);
    TotalPlot->Clear();
    FFramesReceived = 0;
    FRateTimer->start();
    FRateClock.start();
    FRateFrames = 0;
    FFrameRate = 0;
    ShowFrame({}, QString());
    ShowSensorValues();
    ShowAcquisitionState();
    EnableControls(true);
}

void TTAQMainWin::OnDeviceDisconnect() {
    FConnected = false;
    // A lost link ends the acquisition as a stop would: the recording is closed, the last frame stays.
    SetAcquiring(false);
    FRateTimer->stop();
    FFrameRate = 0;
    FDisplayHold->stop();
    if (FDisplayPending)
        FlushDisplay();
    TMainWinBase::OnDeviceDisconnect();
    ShowAcquisitionState();
    EnableControls(false);
}

void TTAQMainWin::EnableControls(bool Enabled) {
    const bool connected = Enabled && FConnected;
    SetControlsEnabled(gbAcquisition, connected);
    SetControlsEnabled(gbSensor, connected);
    for (QAction* a : {miReadFrame, miStartAcquisition, miStopAcquisition, miTare, miSensorInfo})
        a->setEnabled(connected);
    btnStart->setEnabled(connected && !FAcquiring);
    btnStop->setEnabled(connected);
    cbRecord->setEnabled(connected || FRecording.IsOpen());
    const bool frame = Map->HasFrame();
    for (QWidget* w : std::initializer_list<QWidget*>{btnSaveCsv, btnSavePng})
        w->setEnabled(frame);
    miSaveCsv->setEnabled(frame);
    miSavePng->setEnabled(frame);
    ShowPlaybackState();
    TMainWinBase::EnableControls(Enabled);
}

// --- acquisition ---

bool TTAQMainWin::Execute(uint8_t CommandID, const TByteArray& Payload, const QString& What, bool Urgent) {
    TByteArray answer;
    TStat status = E_SUCCESS;
    const bool done = Urgent ? FTaq->ExecuteUrgentCommand(CommandID, Payload, answer, status)
                             : FTaq->ExecuteCommand(CommandID, Payload, answer, status);
    if (done)
        return true;
    ShowMessage(TMessageKind::Error, QStringLiteral("Error while %1: %2")
                    .arg(What, StatusText(FTaq->IsConnected() ? E_CMD_FAILED : E_NOT_OPENED)),
                ErrorCaption, this);
    return false;
}

void TTAQMainWin::btnReadFrameClick() {
    TByteArray payload;
    if (cbCoding->currentIndex() == 1)
        payload = {0};
    else if (cbCoding->currentIndex() == 2)
        payload = {TTAQ::CodingRunLength};
    Execute(TTAQ::CMD_ID_READ_SINGLE_FRAME, payload, QStringLiteral("reading a frame"));
    FlushDisplay();
}

bool TTAQMainWin::StartPayload(TByteArray& Payload) const {
    return TPayloadParser::Parse(edStartPayload->text(), Payload);
}

void TTAQMainWin::btnStartClick() {
    TByteArray payload;
    if (!StartPayload(payload)) {
        ShowMessage(TMessageKind::Error, 
            QStringLiteral(
                "The start parameters cannot be read: write bytes as 0x02 or $02, separated by spaces, "
                "or leave the field empty."),
            ErrorCaption, this);
        return;
    }
    TIniFile(TIniFile::PathFor(SettingsFile))
        .WriteString(SettingsSection, PayloadKey, edStartPayload->text().trimmed());
    if (!Execute(TTAQ::CMD_ID_START_PERIODIC_ACQ, payload, QStringLiteral("starting the acquisition")))
        return;
    // Marked in the device too, so that a disconnect stops the sensor first.
    FTaq->PeriodicAcquisition = true;
    SetAcquiring(true);
}

void TTAQMainWin::btnStopClick() {
    // Goes out also while another request waits for its answer.
    if (!Execute(TTAQ::CMD_ID_STOP_PERIODIC_ACQ, {}, QStringLiteral("stopping the acquisition"), true))
        return;
    FTaq->PeriodicAcquisition = false;
    SetAcquiring(false);
}

void TTAQMainWin::SetAcquiring(bool Acquiring) {
    if (Acquiring && !FAcquiring) {
        FFramesReceived = 0;
        FRateFrames = 0;
        FRateClock.start();
    }
    const bool ended = FAcquiring && !Acquiring;
    FAcquiring = Acquiring;
    if (ended)
        StopRecording();
    ShowAcquisitionState();
    btnStart->setEnabled(FConnected && !FAcquiring);
}

void TTAQMainWin::ShowAcquisitionState() {
    if (!FConnected)
        lbAcquisition->setText(QStringLiteral("Not connected"));
    else if (FAcquiring)
        lbAcquisition->setText(QStringLiteral("Acquisition running: %1").arg(FrameCount(FFramesReceived)));
    else
        lbAcquisition->setText(QStringLiteral("Acquisition stopped: %1").arg(FrameCount(FFramesReceived)));
    lbFrameRate->setText(FConnected ? QStringLiteral("%1 frames/s received").arg(Num(FFrameRate, 1))
                                    : QStringLiteral("-- frames/s received"));
}

void TTAQMainWin::UpdateFrameRate() {
    const qint64 ms = FRateClock.restart();
    FFrameRate = ms > 0 ? FRateFrames * 1000.0 / double(ms) : 0;
    FRateFrames = 0;
    // The command editor may have started or stopped the sensor: the device follows its answers.
    if (FTaq->PeriodicAcquisition != FAcquiring)
        SetAcquiring(FTaq->PeriodicAcquisition);
    ShowAcquisitionState();
}

void TTAQMainWin::FrameArrived() {
    if (!FAcquiring && FTaq->PeriodicAcquisition)
        SetAcquiring(true); // started from the command editor
    ++FFramesReceived;
    ++FRateFrames;
    const std::vector<int32_t>& cells = FTaq->FrameData.Cells();
    if (FRecording.IsOpen()) {
        if (!FRecording.Add(FTaq->FrameData.Timestamp, cells)) {
            const QString error = FRecording.LastError();
            StopRecording();
            QTimer::singleShot(0, this, [this, error] {
                ShowMessage(TMessageKind::Error, QStringLiteral("The recording stopped: %1").arg(error), ErrorCaption, this);
            });
        }
    }
    if (FPlayer.IsOpen())
        return; // the recording has the display
    if (!FPlotClock.isValid())
        FPlotClock.start();
    FLiveStats = FrameStats(cells, FTaq->MatrixWidth, FTaq->MatrixHeight);
    TotalPlot->Add(FPlotClock.elapsed() / 1000.0, double(FLiveStats.Total));
    FDisplayPending = true;
    if (!FDisplayHold->isActive()) {
        FlushDisplay();
        FDisplayHold->start();
    }
}

void TTAQMainWin::FlushDisplay() {
    if (!FDisplayPending || FPlayer.IsOpen())
        return;
    FDisplayPending = false;
    ShowFrame(FTaq->FrameData.Cells(),
              QStringLiteral("Live frame, time stamp %1 ms").arg(FTaq->FrameData.Timestamp));
    // The strip scrolls with the map: nothing else asks it to repaint.
    TotalPlot->Refresh();
    if (FRecording.IsOpen())
        ShowRecordingState();
}

void TTAQMainWin::ShowFrame(const std::vector<int32_t>& Cells, const QString& Source,
                            const TFrameStats* Stats) {
    const bool had = Map->HasFrame();
    if (Cells.empty()) {
        Map->Clear();
        FStats = {};
        lbSource->setText(QStringLiteral("No frame yet: read one or start the acquisition"));
        lbTotal->setText(QStringLiteral("--"));
        lbMaximum->setText(QStringLiteral("--"));
        lbCentre->setText(QStringLiteral("--"));
        Legend->ClearRange();
    } else {
        FStats = Stats ? *Stats : FrameStats(Cells, Map->MatrixWidth(), Map->MatrixHeight());
        // An unloaded pad's noise stays at the dark end instead of filling the scale.
        const TColourRange range =
            RangeFor(FStats, edRangeMax->value(), std::max<int32_t>(AutoScaleFloor, 4 * FTaq->Threshold));
        Map->SetFrame(Cells, range);
        Legend->SetRange(range);
        lbSource->setText(Source);
        lbTotal->setText(QString::number(FStats.Total));
        if (FStats.MaximumIndex >= 0 && Map->MatrixWidth() > 0)
            lbMaximum->setText(QStringLiteral("%1 at %2")
                                   .arg(FStats.Maximum)
                                   .arg(CellName(QPoint(FStats.MaximumIndex % Map->MatrixWidth(),
                                                        FStats.MaximumIndex / Map->MatrixWidth()))));
        lbCentre->setText(FStats.Centre
                              ? QStringLiteral("column %1, row %2")
                                    .arg(Num(FStats.Centre->x() + 0.5, 2), Num(FStats.Centre->y() + 0.5, 2))
                              : QStringLiteral("-- (no load)"));
    }
    ShowCursor();
    if (had != Map->HasFrame())
        EnableControls(FConnected);
}

void TTAQMainWin::ShowCursor() {
    const auto c = Map->Cursor();
    if (!c)
        lbCell->setText(
            QStringLiteral("Point at a cell, or focus the map and use the arrow keys, to read its value"));
    else if (!Map->HasFrame())
        lbCell->setText(CellName(*c) + QStringLiteral(": no frame"));
    else
        lbCell->setText(CellName(*c) + QStringLiteral(": ") + QString::number(Map->Value(*c)));
}

// --- sensor settings ---

void TTAQMainWin::ShowSensorValues() {
    if (FTaq->CellCount == 0) {
        lbMatrix->setText(QStringLiteral("Connect to read the sensor's matrix"));
        return;
    }
    lbMatrix->setText(QStringLiteral("%1 x %2 cells of %3 x %4, %5")
                          .arg(FTaq->MatrixWidth)
                          .arg(FTaq->MatrixHeight)
                          .arg(Num(FTaq->CellWidth, 2), Num(FTaq->CellHeight, 2),
                               FTaq->TransducerType.isEmpty() ? QStringLiteral("transducer type not given")
                                                              : FTaq->TransducerType));
    edGain->setValue(FTaq->Gain);
    edThreshold->setValue(FTaq->Threshold);
}

void TTAQMainWin::btnGainReadClick() {
    if (!FTaq->ReadGain())
        ShowMessage(TMessageKind::Error, QStringLiteral("Error while reading the gain: %1").arg(StatusText(E_CMD_FAILED)),
                    ErrorCaption, this);
    ShowSensorValues();
}

void TTAQMainWin::btnGainSetClick() {
    const auto step = uint8_t(std::clamp<long>(std::lround(edGain->value() / 100.0 * 255.0), 0, 255));
    if (Execute(TTAQ::CMD_ID_GAIN_SET, {step}, QStringLiteral("setting the gain")))
        btnGainReadClick();
}

void TTAQMainWin::btnThresholdReadClick() {
    if (!FTaq->ReadThreshold())
        ShowMessage(TMessageKind::Error, QStringLiteral("Error while reading the threshold: %1").arg(StatusText(E_CMD_FAILED)),
                    ErrorCaption, this);
    ShowSensorValues();
}

void TTAQMainWin::btnThresholdSetClick() {
    const auto v = uint16_t(edThreshold->value());
    if (Execute(TTAQ::CMD_ID_THRESHOLD_SET, {uint8_t(v & 0xFF), uint8_t(v >> 8)},
                QStringLiteral("setting the threshold")))
        btnThresholdReadClick();
}

void TTAQMainWin::btnTareClick() {
    Execute(TTAQ::CMD_ID_TARE, {}, QStringLiteral("taring the sensor"));
}

void TTAQMainWin::miSensorInfoClick() {
    TListBoxDlg dialog(this);
    const TTAQ& t = *FTaq;
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

// --- frames saved ---

QString TTAQMainWin::Ask(const QString& Title, const QString& Filter, bool Save) {
    return AskFileName ? AskFileName(Title, Filter, Save) : QString();
}

bool TTAQMainWin::SaveFrameCsv(const QString& Path) {
    QString error;
    if (WriteFrameCsv(Path, Map->Cells(), Map->MatrixWidth(), Map->MatrixHeight(), &error))
        return true;
    ShowMessage(TMessageKind::Error, QStringLiteral("The frame could not be saved: %1").arg(error), ErrorCaption, this);
    return false;
}

bool TTAQMainWin::SaveFramePng(const QString& Path) {
    if (!Map->HasFrame()) {
        ShowMessage(TMessageKind::Error, QStringLiteral("The frame could not be saved: there is no frame to save."), ErrorCaption,
                    this);
        return false;
    }
    const int side = std::max(Map->MatrixWidth(), Map->MatrixHeight());
    if (Map->Render(std::clamp(640 / std::max(1, side), 1, 64)).save(Path, "PNG"))
        return true;
    ShowMessage(TMessageKind::Error, QStringLiteral("The frame could not be saved to %1.").arg(Path), ErrorCaption, this);
    return false;
}

void TTAQMainWin::btnSaveCsvClick() {
    const QString path = Ask(QStringLiteral("Save Frame as CSV"), QStringLiteral("CSV files (*.csv)"), true);
    if (!path.isEmpty())
        SaveFrameCsv(path);
}

void TTAQMainWin::btnSavePngClick() {
    const QString path =
        Ask(QStringLiteral("Save Frame as PNG"), QStringLiteral("PNG pictures (*.png)"), true);
    if (!path.isEmpty())
        SaveFramePng(path);
}

bool TTAQMainWin::StartRecording(const QString& Path) {
    QString error;
    if (!FRecording.Open(Path, FTaq->MatrixWidth, FTaq->MatrixHeight, &error)) {
        ShowMessage(TMessageKind::Error, QStringLiteral("The recording could not be started: %1").arg(error), ErrorCaption, this);
        ShowRecordingState();
        return false;
    }
    ShowRecordingState();
    return true;
}

void TTAQMainWin::StopRecording() {
    FRecording.Close();
    ShowRecordingState();
}

void TTAQMainWin::cbRecordClick() {
    if (!cbRecord->isChecked()) {
        StopRecording();
        return;
    }
    const QString path = Ask(QStringLiteral("Record Frames"), QStringLiteral("CSV files (*.csv)"), true);
    if (path.isEmpty() || !StartRecording(path))
        ShowRecordingState();
}

void TTAQMainWin::ShowRecordingState() {
    cbRecord->setChecked(FRecording.IsOpen());
    cbRecord->setEnabled(FConnected || FRecording.IsOpen());
    if (FRecording.IsOpen())
        lbRecording->setText(
            QStringLiteral("Recording to %1: %2")
                .arg(QFileInfo(FRecording.FileName()).fileName(), FrameCount(FRecording.Count())));
    else if (!FRecording.FileName().isEmpty())
        lbRecording->setText(
            QStringLiteral("Recorded %1 to %2")
                .arg(FrameCount(FRecording.Count()), QFileInfo(FRecording.FileName()).fileName()));
    else
        lbRecording->setText(QStringLiteral("Not recording"));
}

// --- playback ---

void TTAQMainWin::btnOpenRecordingClick() {
    const QString path =
        Ask(QStringLiteral("Open Recording"), QStringLiteral("CSV files (*.csv);;All files (*)"), false);
    if (!path.isEmpty())
        OpenRecording(path);
}

bool TTAQMainWin::OpenRecording(const QString& Path) {
    SetPlaying(false);
    QString error;
    if (!FPlayer.Open(Path, &error)) {
        ShowMessage(TMessageKind::Error, QStringLiteral("The recording could not be opened: %1").arg(error), ErrorCaption, this);
        CloseRecording();
        return false;
    }
    // The recording does not carry the cell size: the sensor's when it has the same matrix.
    const bool same = FTaq->MatrixWidth == FPlayer.Width() && FTaq->MatrixHeight == FPlayer.Height();
    Map->SetMatrix(FPlayer.Width(), FPlayer.Height(), same ? FTaq->CellWidth : 1,
                   same ? FTaq->CellHeight : 1);
    TotalPlot->Clear();
    FPlayIndex = -1;
    tbPlayback->setRange(0, std::max(0, FPlayer.Count() - 1));
    if (FPlayer.Count() > 0)
        ShowRecordedFrame(0);
    else
        ShowFrame({}, QString());
    ShowPlaybackState();
    return true;
}

void TTAQMainWin::ShowRecordedFrame(int Index) {
    if (!FPlayer.IsOpen() || FPlayer.Count() == 0)
        return;
    Index = std::clamp(Index, 0, FPlayer.Count() - 1);
    QString error;
    uint32_t stamp = 0;
    if (!FPlayer.Frame(Index, stamp, FPlayCells, &error)) {
        SetPlaying(false);
        ShowMessage(TMessageKind::Error, error, ErrorCaption, this);
        return;
    }
    FPlayIndex = Index;
    FPlayStamp = stamp;
    const TFrameStats stats = FrameStats(FPlayCells, FPlayer.Width(), FPlayer.Height());
    TotalPlot->Add(stamp / 1000.0, double(stats.Total));
    TotalPlot->update();
    ShowFrame(FPlayCells,
              QStringLiteral("%1: frame %2 of %3, time stamp %4 ms")
                  .arg(QFileInfo(FPlayer.FileName()).fileName())
                  .arg(Index + 1)
                  .arg(FPlayer.Count())
                  .arg(stamp),
              &stats);
    const QSignalBlocker block(tbPlayback);
    tbPlayback->setValue(Index);
    ShowPlaybackState();
}

void TTAQMainWin::SetPlaying(bool Playing) {
    Playing = Playing && FPlayer.IsOpen() && FPlayer.Count() > 1;
    if (Playing && FPlayIndex >= FPlayer.Count() - 1)
        ShowRecordedFrame(0); // from the start again
    if (Playing)
        FPlayTimer->start(0);
    else
        FPlayTimer->stop();
    btnPlay->setChecked(Playing);
    btnPlay->setText(Playing ? QStringLiteral("Pa&use") : QStringLiteral("Pla&y"));
}

bool TTAQMainWin::Playing() const {
    return btnPlay->isChecked();
}

void TTAQMainWin::PlaybackTick() {
    if (!Playing())
        return;
    if (FPlayIndex >= FPlayer.Count() - 1) {
        SetPlaying(false);
        return;
    }
    const uint32_t before = FPlayStamp;
    ShowRecordedFrame(FPlayIndex + 1);
    // At the recorded pace, within reason: a gap in the recording does not stall the playback.
    const uint32_t gap = FPlayStamp - before;
    FPlayTimer->start(int(std::clamp<uint32_t>(gap, 1, 1000)));
}

void TTAQMainWin::CloseRecording() {
    const bool was = FPlayer.IsOpen();
    SetPlaying(false);
    FPlayer.Close();
    FPlayIndex = -1;
    FPlayCells.clear();
    if (was) {
        Map->SetMatrix(FTaq->MatrixWidth, FTaq->MatrixHeight, FTaq->CellWidth, FTaq->CellHeight);
        TotalPlot->Clear();
        if (FTaq->CellCount > 0 && FFramesReceived > 0)
            ShowFrame(FTaq->FrameData.Cells(),
                      QStringLiteral("Live frame, time stamp %1 ms").arg(FTaq->FrameData.Timestamp));
        else
            ShowFrame({}, QString());
    }
    ShowPlaybackState();
}

void TTAQMainWin::ShowPlaybackState() {
    if (!btnLive)
        return;
    const bool open = FPlayer.IsOpen();
    btnLive->setEnabled(open);
    tbPlayback->setEnabled(open && FPlayer.Count() > 1);
    btnPrevFrame->setEnabled(open && FPlayIndex > 0);
    btnNextFrame->setEnabled(open && FPlayIndex < FPlayer.Count() - 1);
    btnPlay->setEnabled(open && FPlayer.Count() > 1);
    if (!open)
        lbPlayback->setText(QStringLiteral("Showing live frames"));
    else
        lbPlayback->setText(QStringLiteral("%1: frame %2 of %3")
                                .arg(QFileInfo(FPlayer.FileName()).fileName())
                                .arg(FPlayIndex + 1)
                                .arg(FPlayer.Count()));
}

void TTAQMainWin::closeEvent(QCloseEvent* Event) {
    RunGuarded([this] {
        SetPlaying(false);
        StopRecording();
    });
    TMainWinBase::closeEvent(Event);
}
